// SPDX-License-Identifier: MIT
// --check on blocks, tracks, timestamps and the walk's marks: one fault
// planted in a copy of a sample per case.
#include "check_support.h"
#include "unit/ebml.h"

#include <gtest/gtest.h>

namespace {

const QStringList streamChecks = {
    "past-parent", "past-end",        "crc-mismatch", "block-track",      "lacing",
    "block-short", "timestamp-order", "garbage",      "tracks-duplicate",
};

} // namespace

TEST(CheckStream, PlantedFaults)
{
    using B = QByteArray;
    // clang-format off
    checks::expectPlanted({
        // clip.webm: its first SimpleBlock, of track 2 and 26 bytes.
        {"track number", "clip.webm", B("\xA3\x9A\x82\0\0\x80", 6), B("\xA3\x9A\x85\0\0\x80", 6),
         0, "block-track", "/Segment/Cluster/SimpleBlock", "track 5", {}},
        {"block shorter than its header", "clip.webm", B("\xA3\x9A\x82\0\0\x80", 6),
         B("\xA3\x82\x82\0\0\x80", 6), 0, "block-short", "/Segment/Cluster/SimpleBlock", "of 2 bytes",
         {"garbage", "block-track"}},
        // Its second block: 4093 bytes become 16382.
        {"block grown past its cluster", "clip.webm", B("\xA3\x4F\xFD\x81"), B("\xA3\x7F\xFE\x81"),
         0, "past-parent", "/Segment/Cluster/SimpleBlock[2]", "5600 bytes past", {"garbage"}},
        {"cluster id zeroed", "clip.webm", B("\x1F\x43\xB6\x75"), B(4, '\0'), 0, "garbage",
         "/Segment/Damaged data", "10822 bytes",
         {"timestamp-order", "block-track", "block-short", "cue-target"}},
        // The second TrackEntry, 9 bytes before its TrackNumber 2.
        {"two tracks numbered 1", "clip.webm", B("\xD7\x81\x02"), B("\xD7\x81\x01"), -9,
         "tracks-duplicate", "/Segment/Tracks/TrackEntry[2]", "TrackNumber 1", {"block-track"}},
        // The third Cluster's Timestamp 783 becomes 1, below 399.
        {"cluster timestamp back", "clip.webm", B("\xE7\x82\x03\x0F"), B("\xE7\x82\0\x01", 4), -6,
         "timestamp-order", "/Segment/Cluster[3]", "1 is below 399", {"cue-time"}},
        // The first Cluster's Timestamp, after its CRC-32 ending in 8F.
        {"crc", "h264-aac.mkv", B("\x8F\xE7\x81\x15"), B("\x8F\xE7\x81\x16"), -11, "crc-mismatch",
         "/Segment/Cluster", "8753 bytes", {"cue-time"}},
        // Flags and count of 8 frames, then the sizes: Xiph 192, 96.
        {"xiph lace sizes", "laced-audio.mkv", B("\x82\x07\xC0\x60"), B("\x82\x07\xFF\xFF"), -6,
         "lacing", "/Segment/Cluster/SimpleBlock[2]", "3 of its 7", {}},
    });
    // clang-format on
}

// A file cut inside a block: in its data, a field of its header or lace
// header, or its own header. The Segment, the Cluster and the block run past
// the end, and only the block is reported. Today's walk reads nothing past
// the end: the field that the end cuts shows the bytes there are, the block
// says that it is cut, and is a frame only when its header is whole.
TEST(CheckStream, CutFileReportsTheInnermostElement)
{
    using namespace ebml;
    const struct
    {
        const char *what;
        QByteArray payload; // of a SimpleBlock of video track 1
        int kept;           // of its bytes in the file, after its ID and 2-byte size
        const char *cutRow; // the row that the end cuts, and its bytes in hex
        const char *cutBytes;
        const char *note;
    } cuts[] = {
        {"data", bytes({0x81, 0, 5, 0x80, 1, 2, 3, 4}), 6, "data", nullptr, nullptr},
        {"timestamp", bytes({0x81, 0, 5, 0x80, 1, 2}), 2, "Timestamp", "00",
         "Block is cut by the end of the file!"},
        {"track number", bytes({0x40, 1, 0, 5, 0x80, 1, 2}), 1, "TrackNumber", "40",
         "Block is cut by the end of the file!"},
        {"lace size", bytes({0x81, 0, 5, 0x82, 1, 0xFF, 0xFF, 3, 1, 2}), 7, "LaceSize", "ffff",
         "Block is cut by the end of the file!"},
        {"size field", bytes({0x81, 0, 5, 0x80, 1, 2}), -1, "size", "40",
         "Header is cut by the end of the file!"},
    };
    const QTemporaryDir dir;
    for (const auto &c : cuts) {
        SCOPED_TRACE(c.what);
        const QByteArray block = header(SimpleBlock, quint64(c.payload.size()), 2) + c.payload;
        const QByteArray head = el(EBML, el(DocType, "matroska")) + header(Segment, 100, 2)
            + tracks({{1, 1}}) + header(Cluster, 50, 2) + uel(Timecode, 0);
        const QByteArray file = head + block.left(3 + c.kept);
        const QString path = dir.filePath(QStringLiteral("%1.mkv").arg(c.what));
        ASSERT_TRUE(e2e::writeFile(path, file));

        const checks::Result r = checks::check(path);
        EXPECT_EQ(r.exitCode, 1);
        QStringList found;
        for (const checks::Found &f : r.findings)
            if (streamChecks.contains(f.check))
                found << f.check + ' ' + f.path;
        EXPECT_EQ(found, QStringList {"past-end /Segment/Cluster/SimpleBlock"})
            << r.out.constData();

        const auto walk = e2e::walkFile(path, 16, true);
        const ElementNode &cut = walk->tree.roots.back().children.back().children.back();
        ASSERT_EQ(cut.offset, quint64(head.size()));
        const std::function<void(const ElementNode &)> noRowPastTheEnd = [&](const ElementNode &n) {
            for (const ElementRow &row : n.rows)
                EXPECT_LT(row.offset, quint64(file.size())) << qPrintable(row.name);
            for (const ElementNode &child : n.children)
                noRowPastTheEnd(child);
        };
        for (const ElementNode &n : walk->tree.roots)
            noRowPastTheEnd(n);
        const ElementRow &last = cut.rows.back();
        EXPECT_EQ(last.name, QLatin1String(c.cutRow));
        if (c.cutBytes) {
            EXPECT_EQ(rowKind(last.code), RowKind::Data);
            EXPECT_EQ(last.value, QLatin1String(c.cutBytes));
            EXPECT_EQ(last.offset + last.length, quint64(file.size()));
        }
        EXPECT_EQ(cut.annotation, QLatin1String(c.note));
        EXPECT_EQ(walk->tree.frames.size(), c.note ? 0 : 1);
    }
}

// An mkvmerge file of H.264 with the ID of one block of its second Cluster
// zeroed, each block in turn, all in one run: each file has the bytes from
// that block to the next (or to the Cluster's end) as its one garbage, and
// nothing that reading frame data as elements would bring; the Cues may
// point at the block.
TEST(CheckStream, ZeroedBlockIdSkipsThatBlockOnly)
{
    const QTemporaryDir dir;
    const QString mp4 = dir.filePath(QStringLiteral("x.mp4")),
                  mkv = dir.filePath(QStringLiteral("x.mkv"));
    ASSERT_EQ(e2e::runTool("ffmpeg",
                           {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=25", "-t",
                            "12", "-c:v", "libx264", mp4})
                  .exitCode,
              0);
    ASSERT_LE(e2e::runTool("mkvmerge", {"-q", "-o", mkv, mp4}).exitCode, 1);
    const auto walk = e2e::walkFile(mkv, 16, true);
    ASSERT_FALSE(walk->tree.roots.empty());
    std::vector<const ElementNode *> clusters;
    for (const ElementNode &n : walk->tree.roots.back().children)
        if (n.name == QLatin1String("Cluster"))
            clusters.push_back(&n);
    ASSERT_GE(clusters.size(), 2u);
    const ElementNode &cluster = *clusters[1];
    QStringList files, spans;
    for (size_t i = 0; i < cluster.children.size(); ++i) {
        const ElementNode &block = cluster.children[i];
        if (block.name != QLatin1String("SimpleBlock"))
            continue;
        const quint64 to = i + 1 < cluster.children.size() ? cluster.children[i + 1].offset
                                                           : cluster.offset + cluster.size;
        spans << QStringLiteral("from %1 to %2 ").arg(block.offset).arg(to);
        files << checks::plant(
            dir, mkv, [&](QByteArray &b) { b[qsizetype(block.offset)] = 0; },
            QStringLiteral("%1.mkv").arg(block.offset));
    }
    const e2e::ToolResult r = e2e::inspect(QStringList {"--check", "--json"} + files);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), files.size());
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(spans[i].toStdString());
        QStringList found;
        for (const QJsonValue &v : QJsonDocument::fromJson(lines[i]).object()["findings"].toArray())
            if (v["check"] != "cue-target")
                found << v["check"].toString() + ' ' + v["message"].toString();
        ASSERT_EQ(found.size(), 1) << found.join('\n').toStdString();
        EXPECT_TRUE(found[0].startsWith("garbage") && found[0].contains(spans[i]))
            << found[0].toStdString();
    }
}
