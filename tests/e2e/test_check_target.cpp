// SPDX-License-Identifier: MIT
// --check on Seek and Cue targets: one fault planted in a copy of a real file
// each; the samples used have no CRC-32 elements, so no other check follows.
#include "check_support.h"

#include <gtest/gtest.h>

namespace {

const char *const Groups[] = {"seek-target", "cue-target"};

// The offset of pattern in bytes; fails the test when it is missing.
qsizetype at(const QByteArray &bytes, const QByteArray &pattern)
{
    const qsizetype found = checks::find(bytes, pattern);
    EXPECT_GE(found, 0) << pattern.toHex().constData();
    return found;
}

struct Fault
{
    const char *name;
    const char *sample;
    // Plants the fault; the offset of the element the finding is about.
    std::function<quint64(QByteArray &)> plant;
    const char *check;
    const char *path;
    const char *message; // a part of it
};

// The Seek entries: SeekID, its 4 bytes, then SeekPosition with 2 bytes.
const QByteArray CuesSeek("\x53\xAB\x84\x1C\x53\xBB\x6B\x53\xAC\x82", 10);
const QByteArray TagsSeek("\x53\xAB\x84\x12\x54\xC3\x67", 7);
// The first CueTrackPositions: CueTrack, then CueClusterPosition with 2
// bytes, then CueRelativePosition; its CuePoint begins 5 bytes before.
const QByteArray LacedCue("\xB7\x8A\xF7\x81\x01\xF1\x82", 7);
const QByteArray GroupCue("\xB7\x8B\xF7\x81\x02\xF1\x82", 7);

const Fault Faults[] = {
    {"SeekPositionOffByTwo", "laced-audio.mkv",
     [](QByteArray &b) {
         const qsizetype i = at(b, CuesSeek);
         b[i + 11] = char(b[i + 11] + 2);
         return quint64(i - 3);
     },
     "seek-target", "/Segment/SeekHead/Seek[3]", "not at the Cues (0x1C53BB6B) that SeekID names"},
    {"SeekIdOfAnotherElement", "laced-audio.mkv",
     [](QByteArray &b) {
         const qsizetype i = at(b, TagsSeek);
         b.replace(i + 3, 4, QByteArray("\x10\x43\xA7\x70", 4)); // Chapters
         return quint64(i - 3);
     },
     "seek-target", "/Segment/SeekHead/Seek[4]",
     "points at a Tags (0x1254C367), not at the Chapters (0x1043A770)"},
    {"CueClusterPositionMoved", "laced-audio.mkv",
     [](QByteArray &b) {
         const qsizetype i = at(b, LacedCue);
         b[i + 8] = char(b[i + 8] + 1);
         return quint64(i - 5);
     },
     "cue-target", "/Segment/Cues/CuePoint", "not at a Cluster (0x1F43B675)"},
    {"CueRelativePositionMovedInSimpleBlocks", "laced-audio.mkv",
     [](QByteArray &b) {
         const qsizetype i = at(b, LacedCue);
         b[i + 11] = char(b[i + 11] + 1);
         return quint64(i - 5);
     },
     "cue-target", "/Segment/Cues/CuePoint", "not at a SimpleBlock or BlockGroup"},
    {"CueRelativePositionMovedInBlockGroups", "two-video.mkv",
     [](QByteArray &b) {
         const qsizetype i = at(b, GroupCue);
         b[i + 12] = char(b[i + 12] + 1);
         return quint64(i - 5);
     },
     "cue-target", "/Segment/Cues/CuePoint", "not at a SimpleBlock or BlockGroup"},
    {"CueTrackOfAnotherSimpleBlockTrack", "laced-audio.mkv",
     [](QByteArray &b) {
         const qsizetype i = at(b, LacedCue);
         b[i + 4] = 2;
         return quint64(i - 5);
     },
     "cue-target", "/Segment/Cues/CuePoint", "a SimpleBlock (0xA3) of track 1, not of CueTrack 2"},
    {"CueTrackOfAnotherBlockGroupTrack", "two-video.mkv",
     [](QByteArray &b) {
         const qsizetype i = at(b, GroupCue);
         b[i + 4] = 3;
         return quint64(i - 5);
     },
     "cue-target", "/Segment/Cues/CuePoint", "a BlockGroup (0xA0) of track 2, not of CueTrack 3"},
};

} // namespace

TEST(CheckTarget, PlantedFaults)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Fault &fault : Faults) {
        SCOPED_TRACE(fault.name);
        quint64 offset = 0;
        const QString path = checks::plant(
            dir, QString::fromLatin1(fault.sample),
            [&](QByteArray &bytes) { offset = fault.plant(bytes); },
            QString::fromLatin1(fault.name) + QStringLiteral(".mkv"));
        ASSERT_FALSE(path.isEmpty());
        const checks::Result r = checks::check(path);
        EXPECT_EQ(r.exitCode, 1) << r.out.constData();
        ASSERT_EQ(r.findings.size(), 1u) << r.out.constData();
        const checks::Found &f = r.findings.front();
        EXPECT_EQ(f.check, QLatin1String(fault.check));
        EXPECT_EQ(f.severity, QLatin1String("error"));
        EXPECT_EQ(f.offset, offset);
        EXPECT_EQ(f.path, QLatin1String(fault.path));
        EXPECT_TRUE(f.message.contains(QLatin1String(fault.message))) << f.message.toStdString();
    }
}

// Every Seek and Cue of the samples holds: no finding of this group at all.
TEST(CheckTarget, CleanSamples)
{
    for (const QString &name : e2e::sampleNames()) {
        SCOPED_TRACE(name.toStdString());
        const checks::Result r = checks::check(e2e::samplePath(name));
        for (const char *group : Groups)
            EXPECT_TRUE(r.of(QLatin1String(group)).empty()) << r.out.constData();
    }
}
