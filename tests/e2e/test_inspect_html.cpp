// vantorel-inspect --html, run as a separate process: the report stands on
// its own, and what it embeds (every node with its rows, bytes and marks,
// every frame, the summary) is what --json prints and what the file holds.
#include "e2e_support.h"
#include "lineformat.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using namespace ReportFormat;
using e2e::compact;
using e2e::readFile;

constexpr qint64 Budget = 32 << 20, HeadBytes = 32;

// The contents of every script element of a type, in order.
QList<QByteArray> scripts(const QByteArray &html, const QByteArray &type)
{
    QList<QByteArray> found;
    const QByteArray open = "<script type=\"" + type + "\"";
    for (qsizetype at = html.indexOf(open); at >= 0; at = html.indexOf(open, at)) {
        const qsizetype start = html.indexOf('>', at) + 1;
        at = html.indexOf("</script>", start);
        found << html.mid(start, at - start);
    }
    return found;
}

// A field escapes by \uXXXX only, as a JSON string may.
QString unescape(const QByteArray &field)
{
    return QJsonDocument::fromJson("[\"" + field + "\"]").array().at(0).toString();
}

// A report read back: the nodes in the shape --json prints them, flat in
// walk order with their depth, and the rest of what it embeds.
struct Report
{
    QByteArray html;
    QJsonObject meta, summary;
    std::vector<QJsonObject> nodes;
    std::vector<QByteArray> bytes;
    std::vector<int> flags;
    qint64 omitted = 0;
    QJsonArray frames;
    QStringList frameTimes;
};

void mark(QJsonObject &node, const QList<QByteArray> &f, int annotation, int crc)
{
    if (!f.value(annotation).isEmpty())
        node.insert("annotation", unescape(f[annotation]));
    if (!f.value(crc).isEmpty())
        node.insert("crc", QString::fromLatin1(f[crc]));
}

Report readReport(const QString &path)
{
    Report r;
    r.html = readFile(path);
    const QList<QByteArray> json = scripts(r.html, "application/json");
    r.meta = QJsonDocument::fromJson(json.value(0)).object();
    r.summary = QJsonDocument::fromJson(json.value(1)).object();
    QStringList table;
    auto text = [&](const QByteArray &f) {
        return f.startsWith(Reference) ? table.value(f.mid(1).toInt()) : unescape(f);
    };
    for (const QByteArray &line : scripts(r.html, "text/x-vantorel-nodes").join('\n').split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (line.startsWith(TextLine)) {
            table << unescape(line.mid(1));
        } else if (line.startsWith(LateLine)) {
            QJsonObject &node = r.nodes.at(size_t(f[LateIndex].mid(1).toLongLong()));
            mark(node, f, LateAnnotation, LateCrc);
            r.omitted += f.value(LateOmitted).toLongLong();
            if (!f.value(LateStatus).isEmpty())
                node.insert("status", f[LateStatus].toInt());
        } else if (!line.isEmpty()) {
            const qint64 parent = f[NodeParent].toLongLong(), offset = f[NodeOffset].toLongLong();
            const int depth = parent < 0 ? 0 : r.nodes.at(size_t(parent))["depth"].toInt() + 1;
            QJsonObject node {{"name", text(f[NodeName])},
                              {"offset", offset},
                              {"size", f[NodeSize].toLongLong()},
                              {"depth", depth}};
            if (parent < 0)
                node.insert("status", 0);
            if (f[NodeFlags].toInt() & FlagPastFileEnd)
                node.insert("past_end", true);
            mark(node, f, NodeAnnotation, NodeCrc);
            QJsonArray rows;
            qint64 at = offset;
            for (qsizetype k = NodeFields; k + RowFields <= f.size(); k += RowFields) {
                const qint64 o
                    = f[k + RowOffset].isEmpty() ? at : offset + f[k + RowOffset].toLongLong();
                at = o + f[k + RowLength].toLongLong();
                rows.append(QJsonObject {{"name", text(f[k + RowName])},
                                         {"offset", o},
                                         {"length", at - o},
                                         {"value", text(f[k + RowValue])},
                                         {"meaning", text(f[k + RowMeaning])}});
            }
            node.insert("rows", rows);
            r.nodes.push_back(node);
            r.bytes.push_back(QByteArray::fromBase64(f[NodeBytes]));
            r.flags.push_back(f[NodeFlags].toInt());
        }
    }
    for (const QByteArray &line :
         scripts(r.html, "text/x-vantorel-frames").join('\n').split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < FrameFields)
            continue;
        QJsonObject frame {{"keyframe", f[FrameKeyframe] == "1"}};
        for (int k = FrameStream; k < FrameKeyframe; ++k)
            frame.insert(FrameFieldNames[k], f[k].toLongLong());
        r.frames.append(frame);
        r.frameTimes << QString::fromLatin1(f[FrameTime]);
    }
    return r;
}

class HtmlReport : public ::testing::Test
{
protected:
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

// clip.webm, also under small caps; a copy with texts that HTML and the
// report's lines must escape, and a copy cut short; h264-aac.mkv for its
// CRC-32 elements; 9000 blocks of 5000 bytes, past the 32 MiB budget; one
// block of 40 MB under a hex limit above the budget.
TEST_F(HtmlReport, StandsAloneAndHoldsWhatJsonPrintsAndTheFileHolds)
{
    QByteArray odd = readFile(e2e::samplePath("clip.webm"));
    // Same-length texts: the encoder's tag and the muxing application.
    const qsizetype tag = odd.indexOf("Lavc libvpx"), app = odd.indexOf("Lavf");
    ASSERT_TRUE(tag > 0 && app > 0);
    odd.replace(tag, 11, "</script>\t^").replace(app, 4, "^\\\n<");
    ASSERT_TRUE(e2e::writeFile(path("odd.webm"), odd)
                && e2e::writeFile(path("cut.webm"), odd.left(20000)));
    for (const auto &[name, count, size] :
         {std::tuple {"blocks.mkv", "9000", "5000"}, {"one.mkv", "1", "40000000"}})
        ASSERT_EQ(e2e::runTool(SYNTH_PATH, {"blocks", path(name), count, size}).exitCode, 0);

    const QString clip = e2e::samplePath("clip.webm"), out = path("report.html");
    for (const auto &[arguments, maxNodes, hexLimit] :
         std::initializer_list<std::tuple<QStringList, qint64, qint64>> {
             {{clip}, 200000, 4096},
             {{e2e::samplePath("h264-aac.mkv")}, 200000, 4096},
             {{path("odd.webm")}, 200000, 4096},
             {{path("cut.webm")}, 200000, 4096},
             {{"--html-max-nodes", "40", "--html-hex-limit", "8", clip}, 40, 8},
             {{path("blocks.mkv")}, 200000, 4096},
             {{"--html-hex-limit", "100000000", path("one.mkv")}, 200000, Budget}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const e2e::ToolResult run = e2e::inspect(QStringList {"--html", out} + arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << "--html replaces the printed tree";
        const Report report = readReport(out);

        // Whole, and nothing is fetched from anywhere: no addresses, no
        // sources but data: URIs, no style sheets or imports.
        EXPECT_TRUE(report.html.startsWith("<!DOCTYPE html>") && report.html.endsWith("</html>\n"));
        EXPECT_FALSE(
            QString::fromLatin1(report.html)
                .contains(QRegularExpression(
                    QStringLiteral(
                        R"(https?://|(src|href)\s*=\s*["']?(?!data:)|<link|@import|url\()"),
                    QRegularExpression::CaseInsensitiveOption)));

        // Every node up to the cap as --json has it, in the same order and
        // nesting; past it only counts.
        const QString file = arguments.last();
        const QJsonObject doc = e2e::inspectJson({file});
        const std::vector<QJsonObject> expected = e2e::flatten(doc["elements"].toArray());
        const size_t embedded = qMin(size_t(maxNodes), expected.size());
        ASSERT_EQ(
            e2e::firstDifference(report.nodes, {expected.begin(), expected.begin() + embedded}),
            QString());
        EXPECT_EQ(report.omitted, qint64(expected.size() - embedded));
        EXPECT_EQ(report.frames, doc["frames"].toArray());

        // Each node's bytes are the file's: a leaf's up to its end, a
        // master's up to its first child, within the file and the hex limit;
        // the one that meets the budget keeps what is left of it, the ones
        // after it their first bytes only.
        const QByteArray bytes = readFile(file);
        qint64 spent = 0, heads = 0, unknown = 0, pastEnd = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            unknown += expected[i]["name"] == QStringLiteral("Unknown");
            pastEnd += expected[i].contains("past_end");
            if (i >= embedded)
                continue;
            const QJsonObject &n = expected[i], &next = expected[qMin(i + 1, expected.size() - 1)];
            const qint64 offset = n["offset"].toInteger();
            const qint64 end = next["depth"].toInt() > n["depth"].toInt()
                ? next["offset"].toInteger()
                : offset + n["size"].toInteger();
            qint64 count = qBound(qint64(0), qMin(end, qint64(bytes.size())) - offset, hexLimit);
            const qint64 left = qMax(qint64(0), Budget - spent);
            const bool head = count > left && count > HeadBytes;
            count = head ? qMax(left, HeadBytes) : count;
            heads += head;
            spent += count;
            ASSERT_EQ(report.bytes[i], bytes.mid(offset, count)) << "node " << i;
            ASSERT_EQ(bool(report.flags[i] & FlagHeadOnly), head) << "node " << i;
        }

        // The summary counts what the tree holds; clip.webm's track 1 is VP8
        // video of 160x120, track 2 Vorbis audio.
        QJsonObject want = arguments != QStringList {clip}
            ? QJsonObject()
            : QJsonDocument::fromJson(R"({"timecodeScale": 1000000,
            "tracks": [{"number": 1, "type": 1, "typeName": "video", "codec": "V_VP8", "width": "160", "height": "120"},
                       {"number": 2, "type": 2, "typeName": "audio", "codec": "A_VORBIS", "width": "", "height": ""}],
            "streams": [{"stream": 0, "track": 1, "frames": 25}]})")
                  .object();
        want["elements"] = qint64(expected.size());
        want["embedded"] = qint64(embedded);
        want["frames"] = doc["frames"].toArray().size();
        want["unknown"] = unknown;
        want["pastFileEnd"] = pastEnd;
        want["headOnly"] = heads;
        want["hexBytes"] = spent;
        QJsonObject got;
        for (auto it = want.begin(); it != want.end(); ++it)
            got.insert(it.key(), report.summary[it.key()]);
        EXPECT_EQ(compact(got), compact(want));
        EXPECT_EQ(report.summary.contains("firstPastEnd"), pastEnd > 0);
        EXPECT_EQ(report.meta["file"], doc["file"]);
        EXPECT_EQ(report.meta["size"].toInteger(), doc["size"].toInteger());
        EXPECT_EQ(report.meta["hexLimit"].toInteger(), hexLimit);
        // In microseconds: clip.webm's frame 0 at block timecode 3 in the
        // cluster at 0, frame 10 at 4 in the cluster at 399.
        if (arguments == QStringList {clip}) {
            EXPECT_EQ(report.frameTimes.value(0) + ' ' + report.frameTimes.value(10),
                      QStringLiteral("3000 403000"));
        }
    }
}

TEST_F(HtmlReport, RefusesBadOptionsAndUnwritableOutput)
{
    const QString clip = e2e::samplePath("clip.webm"), out = path("x.html");
    for (const QStringList &arguments : QList<QStringList> {
             {out, "--json", clip},
             {out, "--frames", clip},
             {out, "--html-hex-limit", "lots", clip},
             {out, "--html-max-nodes", "-1", clip},
             {path("no/such/dir.html"), clip},
             {out, path("missing.webm")},
             {clip, clip}, // the report would overwrite its input
         }) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        e2e::expectFailure(e2e::inspect(QStringList {"--html"} + arguments));
    }
    EXPECT_FALSE(QFile::exists(out)) << "a refused invocation leaves no report";
    EXPECT_EQ(e2e::inspect({"--html", clip, clip}).exitCode, 2);

    // A report that cannot be written whole (the file size limit) leaves the
    // old one as it was, and no part of the new one beside it.
    ASSERT_TRUE(e2e::writeFile(out, "old"));
    const QString limited
        = QStringLiteral("trap '' XFSZ; ulimit -f 16; exec '%1' --html '%2' '%3'");
    const e2e::ToolResult cut = e2e::runTool("sh", {"-c", limited.arg(INSPECT_PATH, out, clip)});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.err.contains("cannot write the output")) << cut.err.toStdString();
    EXPECT_EQ(readFile(out), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"x.html"});
}

} // namespace
