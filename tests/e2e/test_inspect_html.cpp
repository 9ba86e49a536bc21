// vantorel-inspect --html, run as a separate process: the report stands on
// its own, and what it embeds (every node with its rows, bytes and marks,
// every frame, the summary) is what --json prints and what the file holds.
#include "e2e_support.h"
#include "lineformat.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using e2e::compact;
using e2e::flatten;
using e2e::inspect;
using e2e::readFile;

QString sample(const char *name)
{
    return e2e::samplePath(QString::fromLatin1(name));
}

// The contents of every script element of a type, in order.
QList<QByteArray> scripts(const QByteArray &html, const QByteArray &type)
{
    QList<QByteArray> found;
    const QByteArray open = "<script type=\"" + type + "\"";
    for (qsizetype at = html.indexOf(open); at >= 0; at = html.indexOf(open, at)) {
        const qsizetype start = html.indexOf('>', at) + 1;
        const qsizetype end = html.indexOf("</script>", start);
        found << html.mid(start, end - start);
        at = end;
    }
    return found;
}

QString unescape(const QByteArray &field)
{
    const QString text = QString::fromUtf8(field);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 5 < text.size() && text[i + 1] == u'u') {
            out += QChar(char16_t(text.mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 5;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A report read back: the nodes in the shape --json prints them, flat in
// walk order, and the rest of what it embeds.
struct Report
{
    QByteArray html;
    QJsonObject meta, summary;
    std::vector<QJsonObject> nodes; // without children, with "depth"
    std::vector<qint64> parents;
    std::vector<QByteArray> bytes;
    std::vector<int> flags;
    qint64 omitted = 0;
    QJsonArray frames;
    QStringList frameTimes;
};

void mark(QJsonObject &node, const QByteArray &annotation, const QByteArray &crc)
{
    if (!annotation.isEmpty())
        node.insert("annotation", unescape(annotation));
    if (!crc.isEmpty())
        node.insert("crc", QString::fromLatin1(crc));
}

Report readReport(const QString &path)
{
    Report r;
    r.html = readFile(path);
    r.meta = QJsonDocument::fromJson(scripts(r.html, "application/json").value(0)).object();
    r.summary = QJsonDocument::fromJson(scripts(r.html, "application/json").value(1)).object();
    using namespace ReportFormat;
    QStringList table;
    auto text = [&](const QByteArray &f) {
        return f.startsWith(Reference) ? table.value(f.mid(1).toInt()) : unescape(f);
    };
    for (const QByteArray &chunk : scripts(r.html, "text/x-vantorel-nodes")) {
        for (const QByteArray &line : chunk.split('\n')) {
            if (line.isEmpty())
                continue;
            if (line.startsWith(TextLine)) {
                table << unescape(line.mid(1));
                continue;
            }
            const QList<QByteArray> f = line.split('\t');
            if (line.startsWith(LateLine)) {
                QJsonObject &node = r.nodes.at(size_t(f[LateIndex].mid(1).toLongLong()));
                mark(node, f.value(LateAnnotation), f.value(LateCrc));
                r.omitted += f.value(LateOmitted).toLongLong();
                if (!f.value(LateStatus).isEmpty())
                    node.insert("status", f[LateStatus].toInt());
                continue;
            }
            const qint64 parent = f[NodeParent].toLongLong(), offset = f[NodeOffset].toLongLong();
            QJsonObject node {{"name", text(f[NodeName])},
                              {"offset", offset},
                              {"size", f[NodeSize].toLongLong()}};
            if (f[NodeFlags].toInt() & FlagPastFileEnd)
                node.insert("past_end", true);
            mark(node, f[NodeAnnotation], f[NodeCrc]);
            QJsonArray rows;
            qint64 at = offset;
            for (qsizetype k = NodeFields; k + RowFields <= f.size(); k += RowFields) {
                const qint64 o
                    = f[k + RowOffset].isEmpty() ? at : offset + f[k + RowOffset].toLongLong();
                const qint64 length = f[k + RowLength].toLongLong();
                rows.append(QJsonObject {{"name", text(f[k + RowName])},
                                         {"offset", o},
                                         {"length", length},
                                         {"value", text(f[k + RowValue])},
                                         {"meaning", text(f[k + RowMeaning])}});
                at = o + length;
            }
            node.insert("rows", rows);
            node.insert("depth", parent < 0 ? 0 : r.nodes.at(size_t(parent))["depth"].toInt() + 1);
            if (parent < 0)
                node.insert("status", 0);
            r.nodes.push_back(node);
            r.parents.push_back(parent);
            r.bytes.push_back(QByteArray::fromBase64(f[NodeBytes]));
            r.flags.push_back(f[NodeFlags].toInt());
        }
    }
    for (const QByteArray &chunk : scripts(r.html, "text/x-vantorel-frames"))
        for (const QByteArray &line : chunk.split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() < FrameFields)
                continue;
            r.frames.append(QJsonObject {{"stream", f[FrameStream].toLongLong()},
                                         {"number", f[FrameNumber].toLongLong()},
                                         {"offset", f[FrameOffset].toLongLong()},
                                         {"size", f[FrameSize].toLongLong()},
                                         {"keyframe", f[FrameKeyframe] == "1"}});
            r.frameTimes << QString::fromLatin1(f[FrameTime]);
        }
    return r;
}

// --html OUT, then the other arguments; the report read back.
Report htmlOf(const QString &out, const QStringList &arguments)
{
    const e2e::ToolResult run = inspect(QStringList {QStringLiteral("--html"), out} + arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << "--html replaces the printed tree";
    return readReport(out);
}

// clip.webm, a copy with texts that HTML and the report's lines must
// escape, and a copy cut short; h264-aac.mkv for its CRC-32 elements.
class HtmlReport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QByteArray clip = readFile(sample("clip.webm"));
        ASSERT_GT(clip.size(), 20000);
        // Same-length texts: the encoder's tag and the muxing application.
        const qsizetype tag = clip.indexOf("Lavc libvpx"), app = clip.indexOf("Lavf");
        ASSERT_TRUE(tag > 0 && app > 0);
        clip.replace(tag, 11, "</script>\t^");
        clip.replace(app, 4, "^\\\n<");
        ASSERT_TRUE(e2e::writeFile(dir.filePath(QStringLiteral("odd.webm")), clip));
        ASSERT_TRUE(e2e::writeFile(dir.filePath(QStringLiteral("cut.webm")), clip.left(20000)));
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(HtmlReport, StandsAloneAndHoldsWhatJsonPrints)
{
    for (const QString &file :
         {sample("clip.webm"), sample("h264-aac.mkv"), path("odd.webm"), path("cut.webm")}) {
        SCOPED_TRACE(file.toStdString());
        const Report report = htmlOf(path("report.html"), {file});
        const QByteArray &html = report.html;

        // Nothing is fetched from anywhere: no addresses, no sources but
        // data: URIs, no style sheets or imports; every script is closed by
        // its own tag only.
        EXPECT_TRUE(html.startsWith("<!DOCTYPE html>"));
        EXPECT_TRUE(html.endsWith("</html>\n"));
        EXPECT_FALSE(html.contains("http://") || html.contains("https://"));
        EXPECT_FALSE(QString::fromUtf8(html).contains(
            QRegularExpression(QStringLiteral("(src|href)\\s*=\\s*[\"']?(?!data:)"),
                               QRegularExpression::CaseInsensitiveOption)));
        EXPECT_FALSE(html.contains("<link") || html.contains("@import") || html.contains("url("));
        EXPECT_EQ(html.count("<script"), html.count("</script>"));

        // Every node as --json has it, in the same order and nesting.
        const QJsonObject doc = e2e::inspectJson({file});
        const std::vector<QJsonObject> expected = flatten(doc["elements"].toArray());
        ASSERT_EQ(e2e::firstDifference(report.nodes, expected), QString());
        EXPECT_EQ(report.frames, doc["frames"].toArray());

        // Each node's bytes are the file's: a leaf's up to the limit and
        // the end of the file, a master's up to its first child.
        const QByteArray bytes = readFile(file);
        for (size_t i = 0; i < report.nodes.size(); ++i) {
            const qint64 offset = report.nodes[i]["offset"].toInteger();
            const bool master = i + 1 < report.nodes.size() && report.parents[i + 1] == qint64(i);
            const qint64 end = master ? report.nodes[i + 1]["offset"].toInteger()
                                      : offset + report.nodes[i]["size"].toInteger();
            const qint64 expect
                = qBound(qint64(0), qMin(end, qint64(bytes.size())) - offset, qint64(4096));
            ASSERT_EQ(report.bytes[i], bytes.mid(offset, expect)) << "node " << i;
        }

        // The summary counts what the tree holds.
        qint64 unknown = 0, pastEnd = 0;
        for (const QJsonObject &n : expected) {
            unknown += n["name"] == QStringLiteral("Unknown");
            pastEnd += n.contains("past_end");
        }
        const QJsonObject &s = report.summary;
        EXPECT_EQ(s["elements"].toInteger(), qint64(expected.size()));
        EXPECT_EQ(s["embedded"].toInteger(), qint64(expected.size()));
        EXPECT_EQ(s["frames"].toInteger(), doc["frames"].toArray().size());
        EXPECT_EQ(s["unknown"].toInteger(), unknown);
        EXPECT_EQ(s["pastFileEnd"].toInteger(), pastEnd);
        EXPECT_EQ(s.contains("firstPastEnd"), pastEnd > 0);
        EXPECT_EQ(report.meta["size"].toInteger(), doc["size"].toInteger());
        EXPECT_EQ(report.meta["file"], doc["file"]);
    }
}

// clip.webm: track 1 is VP8 video of 160x120, track 2 Vorbis audio; the
// first frames' times are the Cluster Timecode plus the block's, in ms.
TEST_F(HtmlReport, SummaryNamesTracksAndFramesCarryTimes)
{
    const Report report = htmlOf(path("clip.html"), {sample("clip.webm")});
    const QJsonArray tracks = report.summary["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 2);
    EXPECT_EQ(compact(tracks[0].toObject()),
              compact(QJsonObject {{"number", 1},
                                   {"type", 1},
                                   {"typeName", "video"},
                                   {"codec", "V_VP8"},
                                   {"width", "160"},
                                   {"height", "120"}}));
    EXPECT_EQ(tracks[1]["codec"], QStringLiteral("A_VORBIS"));
    EXPECT_EQ(tracks[1]["width"], QString());
    EXPECT_EQ(report.summary["streams"].toArray(),
              (QJsonArray {QJsonObject {{"stream", 0}, {"track", 1}, {"frames", 25}}}));
    EXPECT_EQ(report.summary["timecodeScale"].toInteger(), 1000000);
    // In microseconds: frame 0 at block timecode 3 in the cluster at 0,
    // frame 10 at 4 in the cluster at 399.
    const QStringList &times = report.frameTimes;
    ASSERT_EQ(times.size(), 25);
    EXPECT_EQ(times.first(), QStringLiteral("3000"));
    EXPECT_EQ(times[10], QStringLiteral("403000"));
}

// Past the node cap only counts are embedded, and each element's bytes stop
// at the hex limit; the summary and the frames are whole all the same.
TEST_F(HtmlReport, CapsNodesAndBytes)
{
    const QString clip = sample("clip.webm");
    const Report report
        = htmlOf(path("capped.html"),
                 QStringLiteral("--html-max-nodes 40 --html-hex-limit 8").split(' ') << clip);
    const QJsonObject doc = e2e::inspectJson({clip});
    const std::vector<QJsonObject> expected = flatten(doc["elements"].toArray());
    ASSERT_EQ(report.nodes.size(), 40u);
    for (size_t i = 0; i < 40; ++i)
        EXPECT_EQ(report.nodes[i]["name"], expected[i]["name"]) << i;
    EXPECT_EQ(report.omitted, qint64(expected.size()) - 40);
    EXPECT_EQ(report.summary["elements"].toInteger(), qint64(expected.size()));
    EXPECT_EQ(report.summary["embedded"].toInteger(), 40);
    EXPECT_EQ(report.frames, doc["frames"].toArray());
    const QByteArray bytes = readFile(clip);
    for (size_t i = 0; i < report.bytes.size(); ++i) {
        EXPECT_LE(report.bytes[i].size(), 8);
        EXPECT_EQ(report.bytes[i],
                  bytes.mid(report.nodes[i]["offset"].toInteger(), report.bytes[i].size()));
    }
    EXPECT_EQ(report.meta["hexLimit"].toInteger(), 8);
}

// 9000 blocks of 5000 bytes would embed 36 MB at 4096 bytes each: past the
// page's budget of 32 MiB, elements keep their first 32 bytes only; the one
// that meets the budget keeps what is left of it. A hex limit above the
// budget does not lift it, for the first element either.
TEST_F(HtmlReport, KeepsToItsByteBudget)
{
    const QString many = path("blocks.mkv"), one = path("one.mkv");
    ASSERT_EQ(e2e::runTool(QStringLiteral(SYNTH_PATH), QStringList {"blocks", many, "9000", "5000"})
                  .exitCode,
              0);
    ASSERT_EQ(e2e::runTool(QStringLiteral(SYNTH_PATH), QStringList {"blocks", one, "1", "40000000"})
                  .exitCode,
              0);
    const Report big = htmlOf(path("one.html"), {"--html-hex-limit", "100000000", one});
    qint64 embedded = 0;
    for (const QByteArray &b : big.bytes)
        embedded += b.size();
    EXPECT_LE(embedded, 32 << 20);
    EXPECT_GT(embedded, 30 << 20);

    const Report report = htmlOf(path("blocks.html"), {many});
    const QByteArray bytes = readFile(many);
    qint64 total = 0, heads = 0;
    bool spent = false;
    for (size_t i = 0; i < report.bytes.size(); ++i) {
        const QByteArray &b = report.bytes[i];
        const qint64 offset = report.nodes[i]["offset"].toInteger();
        ASSERT_EQ(b, bytes.mid(offset, b.size())) << i;
        if (report.flags[i] & ReportFormat::FlagHeadOnly) {
            spent = true;
            if (++heads > 1) {
                EXPECT_EQ(b.size(), 32) << i;
            }
        } else {
            EXPECT_TRUE(!spent || b.size() <= 32) << "more than a head after the budget: " << i;
            total += b.size();
        }
    }
    EXPECT_GT(heads, 500);
    EXPECT_LE(total, (32 << 20) + 4096);
    EXPECT_EQ(report.summary["headOnly"].toInteger(), heads);
    EXPECT_EQ(report.frames.size(), 9000);
}

TEST_F(HtmlReport, RefusesBadOptionsAndUnwritableOutput)
{
    const QString clip = sample("clip.webm"), out = path("x.html");
    const QList<QStringList> invocations = {
        {out, "--json", clip},
        {out, "--frames", clip},
        {out, "--html-hex-limit", "lots", clip},
        {out, "--html-max-nodes", "-1", clip},
        {path("no/such/dir.html"), clip},
        {out, path("missing.webm")},
        {clip, clip}, // the report would overwrite its input
    };
    for (const QStringList &arguments : invocations) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        e2e::expectFailure(inspect(QStringList {QStringLiteral("--html")} + arguments));
    }
    EXPECT_FALSE(QFile::exists(out)) << "a refused invocation leaves no report";
    EXPECT_EQ(inspect({"--html", clip, clip}).exitCode, 2);

    // A report that cannot be written whole (the file size limit) leaves the
    // old one as it was, and no part of the new one beside it.
    ASSERT_TRUE(e2e::writeFile(out, "old"));
    const QString limited = QStringLiteral("trap '' XFSZ; ulimit -f 16; exec '%1' --html '%2' '%3'")
                                .arg(QStringLiteral(INSPECT_PATH), out, clip);
    const e2e::ToolResult cut = e2e::runTool(QStringLiteral("sh"), {"-c", limited});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.err.contains("cannot write the output")) << cut.err.toStdString();
    EXPECT_EQ(readFile(out), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral("x.html")),
              QStringList {QStringLiteral("x.html")});
}

} // namespace
