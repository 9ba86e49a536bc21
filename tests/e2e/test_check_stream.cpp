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

// Replaces the n-th occurrence of from by to, and gives its offset.
qsizetype replace(QByteArray &bytes, const QByteArray &from, const QByteArray &to, int n = 0)
{
    const qsizetype at = checks::find(bytes, from, n);
    if (at >= 0)
        bytes.replace(at, from.size(), to);
    return at;
}

struct Fault
{
    const char *name;
    const char *sample;
    // Plants the fault; gives the offset of the element the finding is at.
    std::function<qsizetype(QByteArray &)> edit;
    const char *check;
    const char *path;
    QStringList alsoAllowed; // other checks of the group that may follow
};

const QByteArray clusterId("\x1F\x43\xB6\x75", 4);
// clip.webm: the first SimpleBlock (of track 2, 26 bytes) and the second
// TrackEntry's TrackNumber 2.
const QByteArray firstBlock("\xA3\x9A\x82\x00\x00\x80", 6);
const QByteArray secondTrackNumber("\xD7\x81\x02", 3);

} // namespace

TEST(CheckStream, PlantedFaults)
{
    const std::vector<Fault> faults = {
        {"track number",
         "clip.webm",
         [](QByteArray &b) {
             return replace(b, firstBlock, QByteArray("\xA3\x9A\x85\x00\x00\x80", 6));
         },
         "block-track",
         "/Segment/Cluster/SimpleBlock",
         {}},
        {"xiph lace sizes",
         "laced-audio.mkv",
         [](QByteArray &b) {
             // Flags 0x82 and 8 frames, the first two sizes 192 and 96.
             return replace(b, QByteArray("\x82\x07\xC0\x60", 4), QByteArray("\x82\x07\xFF\xFF", 4))
                 - 6;
         },
         "lacing",
         nullptr,
         {}},
        {"ebml lace sizes",
         "laced-audio.mkv",
         [](QByteArray &b) {
             return replace(b, QByteArray("\x86\x07\x96", 3), QByteArray("\x86\x07\xFE", 3)) - 6;
         },
         "lacing",
         nullptr,
         {}},
        {"crc",
         "h264-aac.mkv",
         [](QByteArray &b) {
             const qsizetype cluster = checks::find(b, clusterId);
             b[cluster + 100] = char(b[cluster + 100] ^ 0x10);
             return cluster;
         },
         "crc-mismatch",
         "/Segment/Cluster",
         {}},
        {"block grown past its cluster",
         "clip.webm",
         [](QByteArray &b) {
             // The second block: 4093 bytes become 16382.
             return replace(b, QByteArray("\xA3\x4F\xFD\x81", 4),
                            QByteArray("\xA3\x7F\xFE\x81", 4));
         },
         "past-parent",
         "/Segment/Cluster/SimpleBlock[2]",
         {"garbage"}},
        {"cluster id zeroed",
         "clip.webm",
         [](QByteArray &b) { return replace(b, clusterId, QByteArray(4, '\0')); },
         "garbage",
         nullptr,
         {"timestamp-order", "block-track", "block-short"}},
        {"two tracks numbered 1",
         "clip.webm",
         [](QByteArray &b) {
             // The TrackEntry begins 9 bytes before it.
             return replace(b, secondTrackNumber, QByteArray("\xD7\x81\x01", 3)) - 9;
         },
         "tracks-duplicate",
         "/Segment/Tracks/TrackEntry[2]",
         {"block-track"}},
        {"cluster timestamp back",
         "clip.webm",
         [](QByteArray &b) {
             // The third Cluster's Timestamp 783 becomes 1, below 399.
             const qsizetype cluster = checks::find(b, clusterId, 2);
             replace(b, QByteArray("\xE7\x82\x03\x0F", 4), QByteArray("\xE7\x82\x00\x01", 4));
             return cluster;
         },
         "timestamp-order",
         "/Segment/Cluster[3]",
         {}},
        {"block shorter than its header",
         "clip.webm",
         [](QByteArray &b) {
             // 26 bytes become 2: a track number and one byte of timestamp.
             return replace(b, firstBlock, QByteArray("\xA3\x82\x82\x00\x00\x80", 6));
         },
         "block-short",
         "/Segment/Cluster/SimpleBlock",
         {"garbage", "block-track"}},
    };
    const QTemporaryDir dir;
    for (const Fault &fault : faults) {
        SCOPED_TRACE(fault.name);
        qsizetype at = -1;
        const QString path = checks::plant(dir, QString::fromLatin1(fault.sample),
                                           [&](QByteArray &b) { at = fault.edit(b); });
        ASSERT_GE(at, 0);
        const checks::Result r = checks::check(path);
        const auto found = r.of(QString::fromLatin1(fault.check));
        ASSERT_FALSE(found.empty()) << r.out.constData();
        if (found.front().severity == QLatin1String("error")) {
            EXPECT_EQ(r.exitCode, 1);
        }
        EXPECT_EQ(found.front().offset, quint64(at)) << r.out.constData();
        if (fault.path) {
            EXPECT_EQ(found.front().path, QLatin1String(fault.path));
        }
        for (const QString &check : r.checks())
            if (streamChecks.contains(check) && check != QLatin1String(fault.check)) {
                EXPECT_TRUE(fault.alsoAllowed.contains(check)) << r.out.constData();
            }
    }
}

// A file cut inside a Cluster: the Segment, the Cluster and the block all
// run past its end, and only the block is reported.
TEST(CheckStream, CutFileReportsTheInnermostElement)
{
    const QTemporaryDir dir;
    const QString path
        = checks::plant(dir, QStringLiteral("clip.webm"), [](QByteArray &b) { b.truncate(20000); });
    const checks::Result r = checks::check(path);
    const auto found = r.of(QStringLiteral("past-end"));
    ASSERT_EQ(found.size(), 1u) << r.out.constData();
    EXPECT_TRUE(found[0].path.startsWith(QLatin1String("/Segment/Cluster[2]/SimpleBlock")))
        << r.out.constData();
    EXPECT_LT(found[0].offset, 20000u);
}

// Blocks before the Tracks: decided when the Tracks come, once per number.
TEST(CheckStream, BlocksBeforeTracks)
{
    using namespace ebml;
    const QByteArray block1 = el(0xA3, bytes({0x81, 0, 0, 0x80, 1}));
    const QByteArray block3 = el(0xA3, bytes({0x83, 0, 0, 0x80, 1}));
    const QByteArray cluster = el(0x1F43B675, uel(0xE7, 0) + block1 + block3 + block3);
    const QByteArray tracks = el(0x1654AE6B, el(0xAE, uel(0xD7, 1) + uel(0x73C5, 7)));
    const QByteArray header = el(0x1A45DFA3, el(0x4282, "matroska"));
    const QByteArray file = header + el(0x18538067, cluster + tracks);

    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("blocks-first.mkv"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    const auto found = checks::check(path).of(QStringLiteral("block-track"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, QLatin1String("/Segment/Cluster/SimpleBlock[2]"));
    EXPECT_EQ(found[0].offset, quint64(file.indexOf(block3)));
}

// Clean files of independent muxers give the group nothing to say.
TEST(CheckStream, CleanSamplesAreQuiet)
{
    for (const QString &name : e2e::sampleNames()) {
        SCOPED_TRACE(name.toStdString());
        for (const checks::Found &f : checks::check(e2e::samplePath(name)).findings)
            EXPECT_FALSE(streamChecks.contains(f.check)) << f.check.toStdString();
    }
}
