// The command-line host vantorel-inspect, run as a separate process: its JSON
// tree against the in-memory walk of the same file with the same settings,
// what its display options change, and how it fails.
#include "e2e_support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString &inspectPath()
{
    static const QString path = QStringLiteral(INSPECT_PATH);
    return path;
}

QString clipPath()
{
    return e2e::samplePath(QStringLiteral("clip.webm"));
}

e2e::ToolResult inspect(const QStringList &arguments)
{
    return e2e::runTool(inspectPath(), arguments);
}

// Runs the inspector with --json and the given options and parses its output.
QJsonObject inspectJson(const QStringList &options, const QString &file)
{
    const e2e::ToolResult r = inspect(QStringList{QStringLiteral("--json")} + options + QStringList{file});
    EXPECT_TRUE(r.started) << "cannot start " << inspectPath().toStdString();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " at " << error.offset;
    EXPECT_TRUE(doc.isObject());
    return doc.object();
}

quint64 number(const QJsonValue &v)
{
    return quint64(v.toInteger(-1));
}

// Compares one JSON node with one tree node, all the way down. Returns false
// at the first difference, with the path in a failure.
bool sameNode(const QJsonObject &j, const ElementNode &n, bool topLevel, const QString &path)
{
    const QString here = path + QLatin1Char('/') + n.name + QLatin1Char('@')
        + QString::number(n.offset);
    auto differs = [&](const char *what, const QString &ours, const QString &theirs) {
        ADD_FAILURE() << here.toStdString() << ": " << what << " is " << theirs.toStdString()
                      << " in the JSON, " << ours.toStdString() << " in the walk";
        return false;
    };
    if (j.value(QStringLiteral("name")).toString() != n.name)
        return differs("name", n.name, j.value(QStringLiteral("name")).toString());
    if (number(j.value(QStringLiteral("offset"))) != n.offset)
        return differs("offset", QString::number(n.offset),
                       QString::number(number(j.value(QStringLiteral("offset")))));
    if (number(j.value(QStringLiteral("size"))) != n.size)
        return differs("size", QString::number(n.size),
                       QString::number(number(j.value(QStringLiteral("size")))));

    const QJsonArray rows = j.value(QStringLiteral("rows")).toArray();
    if (rows.size() != n.rows.size())
        return differs("row count", QString::number(n.rows.size()), QString::number(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QJsonObject r = rows[i].toObject();
        const ElementRow &row = n.rows[i];
        const QString rowPath = QStringLiteral("row %1 (%2)").arg(i).arg(row.name);
        if (r.value(QStringLiteral("name")).toString() != row.name
            || number(r.value(QStringLiteral("offset"))) != row.offset
            || number(r.value(QStringLiteral("length"))) != row.length
            || r.value(QStringLiteral("value")).toString() != row.value
            || r.value(QStringLiteral("meaning")).toString() != row.meaning)
            return differs(qPrintable(rowPath),
                           QStringLiteral("%1 @%2+%3 '%4' '%5'")
                               .arg(row.name)
                               .arg(row.offset)
                               .arg(row.length)
                               .arg(row.value, row.meaning),
                           QString::fromUtf8(QJsonDocument(r).toJson(QJsonDocument::Compact)));
    }

    // "annotation" only where the plug-in annotated the node.
    const bool annotated = j.contains(QStringLiteral("annotation"));
    if (annotated != (n.annotations > 0))
        return differs("annotation presence", n.annotations > 0 ? QStringLiteral("yes") : QStringLiteral("no"),
                       annotated ? QStringLiteral("yes") : QStringLiteral("no"));
    if (annotated && j.value(QStringLiteral("annotation")).toString() != n.annotation)
        return differs("annotation", n.annotation, j.value(QStringLiteral("annotation")).toString());

    // "status" only on top-level nodes.
    if (j.contains(QStringLiteral("status")) != topLevel)
        return differs("status presence", topLevel ? QStringLiteral("yes") : QStringLiteral("no"),
                       j.contains(QStringLiteral("status")) ? QStringLiteral("yes") : QStringLiteral("no"));
    if (topLevel && j.value(QStringLiteral("status")).toInteger(-1) != n.status)
        return differs("status", QString::number(n.status),
                       QString::number(j.value(QStringLiteral("status")).toInteger(-1)));

    const QJsonArray children = j.value(QStringLiteral("children")).toArray();
    if (children.size() != qsizetype(n.children.size()))
        return differs("child count", QString::number(n.children.size()),
                       QString::number(children.size()));
    for (qsizetype i = 0; i < children.size(); ++i)
        if (!sameNode(children[i].toObject(), n.children[size_t(i)], false, here))
            return false;
    return true;
}

// The whole JSON document against a walk of the same file.
void expectSameAsWalk(const QJsonObject &doc, const e2e::Walk &walk, const QString &file)
{
    EXPECT_EQ(doc.value(QStringLiteral("file")).toString(), QFileInfo(file).fileName());
    EXPECT_EQ(number(doc.value(QStringLiteral("size"))), walk.fileSize);

    const QJsonArray elements = doc.value(QStringLiteral("elements")).toArray();
    ASSERT_EQ(elements.size(), qsizetype(walk.tree.roots.size()));
    for (qsizetype i = 0; i < elements.size(); ++i)
        if (!sameNode(elements[i].toObject(), walk.tree.roots[size_t(i)], true, QString()))
            break;

    const QJsonArray frames = doc.value(QStringLiteral("frames")).toArray();
    ASSERT_EQ(frames.size(), walk.tree.frames.size());
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const QJsonObject f = frames[i].toObject();
        const FrameRecord &ours = walk.tree.frames[i];
        EXPECT_EQ(number(f.value(QStringLiteral("stream"))), ours.stream) << "frame " << i;
        EXPECT_EQ(number(f.value(QStringLiteral("number"))), ours.number) << "frame " << i;
        EXPECT_EQ(number(f.value(QStringLiteral("offset"))), ours.offset) << "frame " << i;
        EXPECT_EQ(number(f.value(QStringLiteral("size"))), ours.size) << "frame " << i;
        EXPECT_TRUE(f.value(QStringLiteral("keyframe")).isBool()) << "frame " << i;
        EXPECT_EQ(f.value(QStringLiteral("keyframe")).toBool(), ours.keyframe != 0) << "frame " << i;
    }
}

// Every row of two JSON trees side by side (same shape expected), with the
// node's name: for checking what one option changes.
void forEachRowPair(const QJsonArray &a, const QJsonArray &b,
                    const std::function<void(const QString &, const QJsonObject &,
                                             const QJsonObject &)> &f)
{
    ASSERT_EQ(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QJsonObject na = a[i].toObject();
        const QJsonObject nb = b[i].toObject();
        ASSERT_EQ(na.value(QStringLiteral("name")), nb.value(QStringLiteral("name")));
        ASSERT_EQ(na.value(QStringLiteral("offset")), nb.value(QStringLiteral("offset")));
        ASSERT_EQ(na.value(QStringLiteral("size")), nb.value(QStringLiteral("size")));
        ASSERT_EQ(na.value(QStringLiteral("annotation")), nb.value(QStringLiteral("annotation")));
        ASSERT_EQ(na.value(QStringLiteral("status")), nb.value(QStringLiteral("status")));
        const QJsonArray ra = na.value(QStringLiteral("rows")).toArray();
        const QJsonArray rb = nb.value(QStringLiteral("rows")).toArray();
        ASSERT_EQ(ra.size(), rb.size()) << na.value(QStringLiteral("name")).toString().toStdString();
        const QString name = na.value(QStringLiteral("name")).toString();
        for (qsizetype r = 0; r < ra.size(); ++r)
            f(name, ra[r].toObject(), rb[r].toObject());
        forEachRowPair(na.value(QStringLiteral("children")).toArray(),
                       nb.value(QStringLiteral("children")).toArray(), f);
    }
}

class Inspect : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(inspectPath()).isExecutable())
            GTEST_FAIL() << "no inspector at " << inspectPath().toStdString();
    }

    // A failing run: non-zero status and exactly one line on stderr.
    static void expectFailure(const QStringList &arguments, const char *what)
    {
        const e2e::ToolResult r = inspect(arguments);
        ASSERT_TRUE(r.started) << what;
        ASSERT_TRUE(r.finished) << what;
        EXPECT_NE(r.exitCode, 0) << what;
        const QStringList lines =
            QString::fromUtf8(r.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        EXPECT_EQ(lines.size(), 1) << what << ": stderr was\n" << r.err.toStdString();
    }
};

// ---------------------------------------------------------------------------
// The JSON tree is the walk

TEST_F(Inspect, JsonMatchesTheInMemoryWalk)
{
    const QJsonObject doc = inspectJson({}, clipPath());
    const auto walk = e2e::walkFile(clipPath());
    ASSERT_TRUE(walk->opened);
    ASSERT_FALSE(walk->tree.frames.isEmpty());
    expectSameAsWalk(doc, *walk, clipPath());
}

// Every sample, so that CRC-32, Unknown, laced and BlockGroup nodes and two
// video streams go through the writer too.
TEST_F(Inspect, JsonMatchesTheWalkForEverySample)
{
    for (const QString &name : e2e::sampleNames()) {
        SCOPED_TRACE(name.toStdString());
        const QString path = e2e::samplePath(name);
        const QJsonObject doc = inspectJson({}, path);
        const auto walk = e2e::walkFile(path);
        ASSERT_TRUE(walk->opened);
        expectSameAsWalk(doc, *walk, path);
    }
}

TEST_F(Inspect, JsonDoesNotDependOnTheWorkingDirectory)
{
    // A relative file name, run from the samples folder: the same document.
    QProcess process;
    process.setWorkingDirectory(QFileInfo(clipPath()).absolutePath());
    process.start(inspectPath(), {QStringLiteral("--json"), QStringLiteral("clip.webm")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    const QJsonDocument relative = QJsonDocument::fromJson(process.readAllStandardOutput());
    const QJsonObject absolute = inspectJson({}, clipPath());
    EXPECT_EQ(relative.object(), absolute);
}

// ---------------------------------------------------------------------------
// Display options

// --base 16 writes the "size" rows in hexadecimal and nothing else differs.
TEST_F(Inspect, Base16ChangesOnlyTheSizeRows)
{
    const QJsonObject decimal = inspectJson({}, clipPath());
    const QJsonObject hex = inspectJson({QStringLiteral("--base"), QStringLiteral("16")}, clipPath());
    EXPECT_EQ(decimal.value(QStringLiteral("frames")), hex.value(QStringLiteral("frames")));
    int changed = 0;
    int sizeRows = 0;
    forEachRowPair(decimal.value(QStringLiteral("elements")).toArray(),
                   hex.value(QStringLiteral("elements")).toArray(),
                   [&](const QString &node, const QJsonObject &d, const QJsonObject &h) {
                       const QString name = d.value(QStringLiteral("name")).toString();
                       EXPECT_EQ(name, h.value(QStringLiteral("name")).toString()) << node.toStdString();
                       EXPECT_EQ(d.value(QStringLiteral("offset")), h.value(QStringLiteral("offset")));
                       EXPECT_EQ(d.value(QStringLiteral("length")), h.value(QStringLiteral("length")));
                       EXPECT_EQ(d.value(QStringLiteral("meaning")), h.value(QStringLiteral("meaning")));
                       const QString dv = d.value(QStringLiteral("value")).toString();
                       const QString hv = h.value(QStringLiteral("value")).toString();
                       if (name == QLatin1String("size")) {
                           ++sizeRows;
                           bool ok = false;
                           const quint64 v = dv.toULongLong(&ok, 10);
                           EXPECT_TRUE(ok) << node.toStdString() << ": " << dv.toStdString();
                           EXPECT_EQ(hv, QString::number(v, 16)) << node.toStdString();
                           changed += dv != hv;
                       } else {
                           EXPECT_EQ(dv, hv) << node.toStdString() << " row " << name.toStdString();
                       }
                   });
    EXPECT_GT(sizeRows, 100);
    EXPECT_GT(changed, 10);

    e2e::WalkSettings settings;
    settings.numberBase = 16;
    const auto walk = e2e::walkFile(clipPath(), settings);
    expectSameAsWalk(hex, *walk, clipPath());
}

// --binary-limit 4 cuts binary values to 4 bytes (8 hex digits) and UTF-8
// strings to 4 bytes; the rows keep their offsets and lengths.
TEST_F(Inspect, BinaryLimitShortensBinaryValues)
{
    const QJsonObject full = inspectJson({}, clipPath());
    const QJsonObject cut =
        inspectJson({QStringLiteral("--binary-limit"), QStringLiteral("4")}, clipPath());
    int shortened = 0;
    bool codecPrivateSeen = false;
    forEachRowPair(full.value(QStringLiteral("elements")).toArray(),
                   cut.value(QStringLiteral("elements")).toArray(),
                   [&](const QString &node, const QJsonObject &f, const QJsonObject &c) {
                       EXPECT_EQ(f.value(QStringLiteral("offset")), c.value(QStringLiteral("offset")));
                       EXPECT_EQ(f.value(QStringLiteral("length")), c.value(QStringLiteral("length")));
                       const QString fv = f.value(QStringLiteral("value")).toString();
                       const QString cv = c.value(QStringLiteral("value")).toString();
                       EXPECT_TRUE(fv.startsWith(cv))
                           << node.toStdString() << ": '" << cv.toStdString()
                           << "' is not a prefix of '" << fv.toStdString() << "'";
                       shortened += cv.size() < fv.size();
                       if (node == QLatin1String("CodecPrivate")
                           && f.value(QStringLiteral("name")).toString() == QLatin1String("value")) {
                           codecPrivateSeen = true;
                           // The default limit shows 16 bytes of the private data.
                           EXPECT_EQ(fv.size(), 32);
                           EXPECT_EQ(cv.size(), 8);
                       }
                   });
    EXPECT_TRUE(codecPrivateSeen);
    EXPECT_GT(shortened, 0);

    e2e::WalkSettings settings;
    settings.binaryLimit = 4;
    const auto walk = e2e::walkFile(clipPath(), settings);
    expectSameAsWalk(cut, *walk, clipPath());
}

TEST_F(Inspect, ShowJunkAndHideUnknownMatchTheWalkWithTheSameSettings)
{
    // clip.webm has Void padding; vp9-opus.webm has elements the catalogue
    // does not know (CodecDelay, SeekPreRoll, DiscardPadding).
    {
        SCOPED_TRACE("--show-junk");
        const QJsonObject doc = inspectJson({QStringLiteral("--show-junk")}, clipPath());
        e2e::WalkSettings settings;
        settings.showJunk = true;
        const auto walk = e2e::walkFile(clipPath(), settings);
        int voidValues = 0;
        e2e::forEachNode(walk->tree.roots, [&](const ElementNode &n, int) {
            voidValues += n.name == QLatin1String("Void") && n.row(QStringLiteral("value"));
        });
        EXPECT_GT(voidValues, 0);
        expectSameAsWalk(doc, *walk, clipPath());
    }
    {
        SCOPED_TRACE("--hide-unknown");
        const QString path = e2e::samplePath(QStringLiteral("vp9-opus.webm"));
        const QJsonObject doc = inspectJson({QStringLiteral("--hide-unknown")}, path);
        e2e::WalkSettings settings;
        settings.showUnknown = false;
        const auto walk = e2e::walkFile(path, settings);
        int unknown = 0;
        e2e::forEachNode(walk->tree.roots, [&](const ElementNode &n, int) {
            if (n.name != QLatin1String("Unknown"))
                return;
            ++unknown;
            EXPECT_EQ(n.row(QStringLiteral("value")), nullptr) << n.offset;
        });
        EXPECT_GT(unknown, 0);
        expectSameAsWalk(doc, *walk, path);
    }
}

TEST_F(Inspect, TextOutputListsTheElements)
{
    const e2e::ToolResult r = inspect({clipPath()});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString text = QString::fromUtf8(r.out);
    for (const char *name : {"EBML", "Segment", "SeekHead", "Tracks", "TrackEntry", "Cluster",
                             "SimpleBlock", "Cues"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(name))) << name;
}

TEST_F(Inspect, HelpAndVersionSucceed)
{
    const e2e::ToolResult help = inspect({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *option : {"--json", "--base", "--binary-limit", "--show-junk",
                               "--hide-unknown", "--plugin-dir"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    const e2e::ToolResult version = inspect({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_FALSE(version.out.trimmed().isEmpty());
}

// ---------------------------------------------------------------------------
// Failures: a non-zero status and one line on stderr

TEST_F(Inspect, RefusesBadInvocations)
{
    expectFailure({}, "no file argument");
    expectFailure({QStringLiteral("--no-such-option"), clipPath()}, "unknown option");
    expectFailure({QStringLiteral("--base"), QStringLiteral("1"), clipPath()}, "--base 1");
    expectFailure({QStringLiteral("--base"), QStringLiteral("37"), clipPath()}, "--base 37");
    expectFailure({QStringLiteral("--base"), QStringLiteral("ten"), clipPath()}, "--base ten");
    expectFailure({QStringLiteral("--binary-limit"), QStringLiteral("-1"), clipPath()},
                  "--binary-limit -1");
    expectFailure({QStringLiteral("--json"), QStringLiteral("--base")}, "--base without a value");
}

TEST_F(Inspect, RefusesFilesItCannotWalk)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    expectFailure({dir.filePath(QStringLiteral("missing.mkv"))}, "missing file");

    // The plug-in takes .mkv and .webm names only, whatever the content.
    const QString mp4 = dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(QFile::copy(clipPath(), mp4));
    expectFailure({mp4}, "an .mp4 name");
    expectFailure({QStringLiteral("--json"), mp4}, "an .mp4 name with --json");

    // A directory with a Matroska name is not a file to read.
    const QString folder = dir.filePath(QStringLiteral("folder.mkv"));
    ASSERT_TRUE(QDir().mkpath(folder));
    expectFailure({folder}, "a directory");
}

TEST_F(Inspect, RefusesAnUnreadableFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString locked = dir.filePath(QStringLiteral("locked.webm"));
    ASSERT_TRUE(QFile::copy(clipPath(), locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    QFile probe(locked);
    if (!probe.open(QIODevice::ReadOnly)) {
        expectFailure({locked}, "an unreadable file");
        return;
    }
    // Permission bits do not stop root: run the inspector as an unprivileged
    // user instead, with the folder open to it and the file still closed.
    if (!e2e::toolInstalled(QStringLiteral("setpriv")))
        GTEST_SKIP() << "this user reads any file, and setpriv is not there to drop privileges";
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                          | QFileDevice::ExeGroup));
    const e2e::ToolResult r = e2e::runTool(
        QStringLiteral("setpriv"),
        {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
         QStringLiteral("--clear-groups"), inspectPath(), locked});
    ASSERT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0);
    const QStringList lines = QString::fromUtf8(r.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
    // The failure is the file's, not the inspector's or its plug-in's.
    EXPECT_TRUE(lines.first().contains(QLatin1String("locked.webm"))) << r.err.toStdString();
}

TEST_F(Inspect, RefusesAPluginDirectoryWithoutThePlugin)
{
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    expectFailure({QStringLiteral("--plugin-dir"), empty.path(), clipPath()}, "an empty --plugin-dir");
    expectFailure({QStringLiteral("--plugin-dir"), empty.filePath(QStringLiteral("nowhere")), clipPath()},
                  "a missing --plugin-dir");
}

} // namespace
