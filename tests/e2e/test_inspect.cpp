// The command-line host vantorel-inspect, run as a separate process: its JSON
// tree against the in-memory walk of the same file with the same settings,
// its text output, and how it fails.
#include "e2e_support.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using e2e::expectFailure;
using e2e::inspect;

QString clipPath()
{
    return e2e::samplePath(QStringLiteral("clip.webm"));
}

// The document the inspector's --json must print for a walk.
QJsonObject nodeJson(const ElementNode &n, bool topLevel, quint64 fileSize)
{
    QJsonArray rows, children;
    for (const ElementRow &r : n.rows)
        rows.append(QJsonObject {{"name", r.name},
                                 {"offset", qint64(r.offset)},
                                 {"length", qint64(r.length)},
                                 {"value", r.value},
                                 {"meaning", r.meaning}});
    for (const ElementNode &c : n.children)
        children.append(nodeJson(c, false, fileSize));
    QJsonObject node {{"name", n.name},
                      {"offset", qint64(n.offset)},
                      {"size", qint64(n.size)},
                      {"rows", rows},
                      {"children", children}};
    if (n.offset + n.size > fileSize)
        node.insert("past_end", true);
    if (n.annotations > 0)
        node.insert("annotation", n.annotation);
    if (topLevel)
        node.insert("status", n.status);
    return node;
}

QJsonObject walkJson(const QString &path, const e2e::WalkSettings &settings)
{
    const auto walk = e2e::walkFile(path, settings);
    EXPECT_TRUE(walk->opened) << path.toStdString();
    QJsonArray elements, frames;
    for (const ElementNode &root : walk->tree.roots)
        elements.append(nodeJson(root, true, walk->fileSize));
    for (const FrameRecord &f : walk->tree.frames)
        frames.append(QJsonObject {{"stream", qint64(f.stream)},
                                   {"number", qint64(f.number)},
                                   {"offset", qint64(f.offset)},
                                   {"size", qint64(f.size)},
                                   {"keyframe", f.keyframe != 0}});
    return {{"file", QFileInfo(path).fileName()},
            {"size", qint64(walk->fileSize)},
            {"elements", elements},
            {"frames", frames}};
}

// Each option against a walk with the same setting, on a sample where the
// setting makes a difference; every sample with the default settings.
TEST(Inspect, JsonIsTheWalkWithTheSameSettings)
{
    struct Case
    {
        QStringList options;
        e2e::WalkSettings settings;
        QString sample;
    };
    std::vector<Case> cases = {
        {{"--base", "16"}, {16, false, true, 16}, "clip.webm"},
        {{"--binary-limit", "4"}, {4, false, true, 10}, "clip.webm"},
        {{"--show-junk"}, {16, true, true, 10}, "clip.webm"},
        // vp9-opus.webm has elements the catalogue does not know.
        {{"--hide-unknown"}, {16, false, false, 10}, "vp9-opus.webm"},
    };
    for (const QString &name : e2e::sampleNames())
        cases.push_back({{}, {}, name});
    for (const Case &c : cases) {
        SCOPED_TRACE((c.options.join(' ') + ' ' + c.sample).toStdString());
        const QString path = e2e::samplePath(c.sample);
        // CRC checks add to what the walk reports; they have a test of their own.
        const QJsonObject doc = e2e::inspectJson(QStringList {"--no-crc"} + c.options << path);
        const QJsonObject expected = walkJson(path, c.settings);
        EXPECT_EQ(e2e::firstDifference(expected, doc), QString());
        if (!c.options.isEmpty()) {
            EXPECT_NE(expected, walkJson(path, {})) << "the option changes nothing here";
        }
    }
}

TEST(Inspect, HelpAndVersion)
{
    const e2e::ToolResult help = inspect({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *option :
         {"--json", "--base", "--binary-limit", "--show-junk", "--hide-unknown", "--plugin-dir"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    const e2e::ToolResult version = inspect({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_FALSE(version.out.trimmed().isEmpty());
}

// A cut copy of a sample is walked as far as it goes: the elements that
// claim more than is left are marked, and one line on stderr says where the
// file ends early. The whole sample has neither.
TEST(Inspect, MarksElementsPastTheEndOfACutFile)
{
    QTemporaryDir dir;
    const QString cut = dir.filePath(QStringLiteral("cut.webm"));
    ASSERT_TRUE(e2e::writeFile(cut, e2e::readFile(clipPath()).left(20000)));
    // The marks are the walk's (nodeJson), in text in a golden file.
    const e2e::ToolResult json = inspect({"--json", cut});
    EXPECT_EQ(e2e::firstDifference(walkJson(cut, {}), QJsonDocument::fromJson(json.out).object()),
              QString());
    EXPECT_GT(json.out.count("\"past_end\": true"), 1);
    // Cut before a block's flags byte: the flags that are not there read 0.
    const QString flagless = dir.filePath(QStringLiteral("flagless.webm"));
    ASSERT_TRUE(e2e::writeFile(flagless, e2e::readFile(clipPath()).left(4040)));
    EXPECT_TRUE(inspect({flagless}).out.contains("Flags = 0  @4040 len 1\n"));
    // One line on stderr says where the file ends early; the whole file has none.
    const std::pair<e2e::ToolResult, QString> runs[] = {
        {json, "ends early: Segment at offset 36 claims 33626 bytes, 19964 remain"},
        {inspect({cut}), "ends early: Segment at offset 36 claims 33626 bytes, 19964 remain"},
        {inspect({clipPath()}), ""},
    };
    for (const auto &[r, message] : runs) {
        const QStringList lines = QString::fromUtf8(r.err).split('\n').filter(
            QRegularExpression(QStringLiteral("^vantorel-inspect: ")));
        EXPECT_EQ(r.exitCode, 0);
        ASSERT_EQ(lines.size(), message.isEmpty() ? 0 : 1) << r.err.toStdString();
        EXPECT_TRUE(message.isEmpty() || lines[0].endsWith(message)) << r.err.toStdString();
    }
}

// The CRC-32 of IEEE 802.3, bit by bit: independent of the inspector's tables.
quint32 slowCrc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char b : bytes) {
        crc ^= quint8(b);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// h264-aac.mkv (ffmpeg) starts its masters with CRC-32 elements: each checks
// ok; a copy with one flipped byte in a block's data fails on its Cluster only.
TEST(Inspect, ChecksCrc32ElementsAgainstTheirMasters)
{
    const QString path = e2e::samplePath(QStringLiteral("h264-aac.mkv"));
    QByteArray bytes = e2e::readFile(path);

    // The masters whose first child is a CRC-32, which holds the CRC of
    // their payload after it.
    std::vector<quint64> checked;
    quint64 flipAt = 0, flippedCluster = 0;
    e2e::forEachNode(e2e::walkFile(path)->tree.roots, [&](const ElementNode &n, int) {
        if (n.children.empty() || n.children[0].name != QLatin1String("CRC-32"))
            return;
        const ElementNode &crc = n.children[0];
        const QByteArray rest = bytes.mid(qsizetype(crc.offset + crc.size),
                                          qsizetype(n.offset + n.size - crc.offset - crc.size));
        const quint32 stored
            = qFromLittleEndian<quint32>(bytes.constData() + crc.offset + crc.size - 4);
        EXPECT_EQ(slowCrc32(rest), stored) << n.offset;
        checked.push_back(n.offset);
        if (n.name == QLatin1String("Cluster") && !flipAt) {
            flippedCluster = n.offset;
            flipAt = n.children.back().offset + n.children.back().size - 1;
        }
    });
    ASSERT_GE(checked.size(), 5u);
    ASSERT_NE(flipAt, 0u);

    QTemporaryDir dir;
    const QString flipped = dir.filePath(QStringLiteral("flipped.mkv"));
    bytes[qsizetype(flipAt)] = char(bytes[qsizetype(flipAt)] ^ 0x10);
    ASSERT_TRUE(e2e::writeFile(flipped, bytes));

    for (const QString &file : {path, flipped}) {
        SCOPED_TRACE(file.toStdString());
        std::map<qint64, QString> verdicts;
        for (const QJsonObject &n : e2e::flatten(e2e::inspectJson({file})["elements"].toArray()))
            if (n.contains("crc"))
                verdicts[n["offset"].toInteger()] = n["crc"].toString();
        ASSERT_EQ(verdicts.size(), checked.size());
        for (const quint64 offset : checked)
            EXPECT_EQ(verdicts[qint64(offset)],
                      file == flipped && offset == flippedCluster ? "mismatch" : "ok")
                << offset;
        EXPECT_EQ(inspect({file}).out.count("# CRC-32 mismatch"), file == flipped ? 1 : 0);
        EXPECT_FALSE(inspect({"--json", "--no-crc", file}).out.contains("\"crc\""));
    }
}

TEST(Inspect, RefusesBadInvocationsAndFilesItCannotWalk)
{
    QTemporaryDir dir;
    // The plug-in takes .mkv and .webm names only, whatever the content; a
    // directory with a Matroska name is not a file to read.
    const QString clip = clipPath(), mp4 = dir.filePath(QStringLiteral("clip.mp4")),
                  folder = dir.filePath(QStringLiteral("folder.mkv"));
    const QString fifo = dir.filePath(QStringLiteral("fifo.mkv"));
    ASSERT_TRUE(QFile::copy(clip, mp4) && QDir().mkpath(folder));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QList<QStringList> invocations = {
        {},
        {"--no-such-option", clip},
        {"--base", "1", clip},
        {"--base", "37", clip},
        {"--base", "ten", clip},
        {"--binary-limit", "-1", clip},
        {"--json", "--base"},
        {clip, clip},
        {dir.filePath(QStringLiteral("missing.mkv"))},
        {mp4},
        {"--json", mp4},
        {folder},
        {fifo}, // refused at once, not waited on
        {"--plugin-dir", dir.path(), clip},
        {"--plugin-dir", dir.filePath(QStringLiteral("nowhere")), clip},
    };
    for (const QStringList &arguments : invocations) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        expectFailure(inspect(arguments));
    }
}

TEST(Inspect, RefusesAnUnreadableFile)
{
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked.webm"));
    ASSERT_TRUE(QFile::copy(clipPath(), locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    if (QFile probe(locked); !probe.open(QIODevice::ReadOnly))
        return expectFailure(inspect({locked}), QStringLiteral("locked.webm"));
    // Permission bits do not stop root: run the inspector as an unprivileged
    // user instead, with the folder open to it and the file still closed.
    if (!e2e::toolInstalled(QStringLiteral("setpriv")))
        GTEST_SKIP() << "this user reads any file, and setpriv is not there to drop privileges";
    ASSERT_TRUE(QFile::setPermissions(dir.path(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                          | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther));
    // The failure is the file's, not the inspector's or its plug-in's.
    expectFailure(
        e2e::runTool(QStringLiteral("setpriv"),
                     {"--reuid=65534", "--regid=65534", "--clear-groups", INSPECT_PATH, locked}),
        QStringLiteral("locked.webm"));
}

// A name that sets a terminal's title, splits the header line and is not
// valid UTF-8 is opened as given and reaches stdout and stderr escaped; so
// do C1 and bidirectional controls in values.
TEST(Inspect, EscapesWhatReachesATerminal)
{
    QTemporaryDir dir;
    QByteArray clip = e2e::readFile(clipPath());
    // The muxing and writing applications: U+009B (CSI) and DEL, U+202E.
    const qsizetype muxing = clip.indexOf("Lavf"), writing = clip.indexOf("Lavf", muxing + 4);
    ASSERT_TRUE(muxing > 0 && writing > 0);
    clip.replace(muxing, 4, "\xc2\x9b\x7fx");
    clip.replace(writing, 4, "\xe2\x80\xaey");
    // The encoder's tag: a character past U+FFFF goes out as it is.
    const qsizetype tag = clip.indexOf("Lavc libvpx");
    ASSERT_GT(tag, 0);
    clip.replace(tag, 11, "\xf0\x9f\x98\x80 libvpx");
    const QByteArray name = "a\x1b]0;owned\x07\nb\xff.webm";
    const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
    std::FILE *file = std::fopen(path.constData(), "wb");
    ASSERT_TRUE(file);
    std::fwrite(clip.constData(), 1, size_t(clip.size()), file);
    std::fclose(file);
    // Cut short too, for the message about the end.
    ASSERT_EQ(::truncate(path.constData(), 20000), 0);
    const QByteArray command = "cd '" + QFile::encodeName(dir.path())
        + "' && '" INSPECT_PATH "' \"$(printf 'a\\033]0;owned\\007\\nb\\377.webm')\" >out 2>err";
    ASSERT_EQ(std::system(command.constData()), 0);
    const QByteArray out = e2e::readFile(dir.filePath(QStringLiteral("out")));
    const QByteArray err = e2e::readFile(dir.filePath(QStringLiteral("err")));
    EXPECT_TRUE(out.startsWith("a\\x1b]0;owned\\x07\\nb\xef\xbf\xbd.webm, 20000 bytes\n"))
        << out.left(80).toStdString();
    EXPECT_TRUE(out.contains("value = \\x9b\\x7fx  @") && out.contains("value = \\u202ey  @"));
    EXPECT_TRUE(out.contains("value = \xf0\x9f\x98\x80 libvpx  @"));
    EXPECT_TRUE(err.contains("vantorel-inspect: a\\x1b]0;owned\\x07\\nb")) << err.toStdString();
    for (const QByteArray &text : {out, err}) {
        for (const char *raw : {"\x1b", "\x07", "\xc2\x9b", "\xe2\x80\xae", "\x7f"})
            EXPECT_FALSE(text.contains(raw)) << text.toStdString();
    }
}

// A binary element of 1 GiB (sparse) with no limit asked: the value is cut
// at the cap, and standard error says so.
TEST(Inspect, CapsHugeValues)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.mkv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("63a2"
                                   "0100000040000000")); // CodecPrivate, 2^30 bytes
    ASSERT_TRUE(file.resize(10 + (qint64(1) << 30)));
    file.close();
    const e2e::ToolResult r = inspect({"--json", "--binary-limit", "18446744073709551615", path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("capped at 1048576 bytes")) << r.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(r.out)["elements"][0]["rows"].toArray();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2]["value"].toString().size(), 2 << 20);
    EXPECT_EQ(rows[2]["length"].toInteger(), qint64(1) << 30);
}

} // namespace
