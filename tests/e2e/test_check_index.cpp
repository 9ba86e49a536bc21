// SPDX-License-Identifier: MIT
// --check on the Cluster index, the use of the tracks and recurring copies:
// one fault planted in a copy of a real file each.
#include "check_support.h"

#include <gtest/gtest.h>

namespace {

const QStringList indexChecks = {
    "recurring-differs", "cluster-prevsize", "cluster-position", "lacing-flag",      "track-empty",
    "cue-time",          "cue-order",        "cue-keyframe",     "seekhead-missing",
};

struct Fault
{
    const char *name, *sample;
    std::vector<std::pair<QByteArray, QByteArray>> edits; // the first occurrence of each becomes
    const char *check, *path, *says;
    QStringList alsoAllowed; // other checks that the fault brings
};

} // namespace

TEST(CheckIndex, PlantedFaults)
{
    using B = QByteArray;
    const QTemporaryDir dir;
    // mkvmerge's Info and Tracks again after the Clusters, for recovery: no
    // finding; the VP8 of the later Tracks becomes VP9.
    const QString twice = dir.filePath("twice.mkv");
    ASSERT_LE(e2e::runTool("mkvmerge",
                           {"-q", "-o", twice, "--engage", "write_headers_twice",
                            e2e::samplePath("clip.webm")})
                  .exitCode,
              1);
    EXPECT_EQ(checks::check(twice).findings.size(), 0u) << checks::check(twice).out.constData();
    const qsizetype vp8 = e2e::readFile(twice).lastIndexOf("V_VP8");
    // clang-format off
    const std::vector<Fault> faults = {
        {"recurring", "twice.mkv", {}, "recurring-differs", "/Segment/Tracks[2]", "its CodecID at", {}},
        // The third Cluster's PrevSize 8916: off by one, then a Position.
        {"prevsize", "gst-live.webm", {{B("\xAB\x82\x22\xD4"), B("\xAB\x82\x22\xD5")}},
         "cluster-prevsize", "/Segment/Cluster[3]", "PrevSize 8917", {}},
        {"position", "gst-live.webm", {{B("\xAB\x82\x22\xD4"), B("\xA7\x82\x22\xD4")}},
         "cluster-position", "/Segment/Cluster[3]", "Position 8916", {"webm"}},
        // The MP3 track's Language becomes a FlagLacing of 0 and a Void.
        {"lacing flag", "laced-audio.mkv", {{B("\x83\x81\x02\x22\xB5\x9C\x83und"),
                                             B("\x83\x81\x02\x9C\x81\0\xEC\x82\0\0", 10)}},
         "lacing-flag", "/Segment/Cluster/SimpleBlock[2]", "laced blocks of track 2", {}},
        // Both subtitle Blocks become video ones, which the Cues name.
        {"empty track", "subs-chapters.mkv", {{B("\xA1\x96\x82\0\x64", 5), B("\xA1\x96\x81\0\x64", 5)},
                                              {B("\xA1\x97\x82\0\x64", 5), B("\xA1\x97\x81\0\x64", 5)}},
         "track-empty", "/Segment/Tracks/TrackEntry[2]", "track 2 has no block", {"cue-target"}},
        // The CueTimes 403 and 803 of clip.webm become 404 and 3.
        {"cue time", "clip.webm", {{B("\xB3\x82\x01\x93"), B("\xB3\x82\x01\x94")}}, "cue-time",
         "/Segment/Cues/CuePoint[2]", "CueTime 404, but the SimpleBlock", {}},
        {"cue order", "clip.webm", {{B("\xB3\x82\x03\x23"), B("\xB3\x82\0\x03", 4)}}, "cue-order",
         "/Segment/Cues/CuePoint[3]", "3 is below 403", {"cue-time"}},
        // The first video block, which the first CuePoint names, loses its keyframe flag.
        {"cue keyframe", "clip.webm", {{B("\xA3\x4F\xFD\x81\0\x03\x80", 7), B("\xA3\x4F\xFD\x81\0\x03\0", 7)}},
         "cue-keyframe", "/Segment/Cues/CuePoint", "not a keyframe", {}},
        // The Seek of the Tags becomes a Void.
        {"seekhead", "clip.webm", {{B("\x4D\xBB\x8C\x53\xAB\x84\x12\x54\xC3\x67"),
                                    B("\xEC\x40\x0C\x53\xAB\x84\x12\x54\xC3\x67")}},
         "seekhead-missing", "/Segment/Tags", "no Seek lists", {}},
    };
    // clang-format on
    for (const Fault &fault : faults) {
        SCOPED_TRACE(fault.name);
        const QString path = checks::plant(
            dir, fault.sample == QLatin1String("twice.mkv") ? twice : fault.sample,
            [&](B &b) {
                if (fault.edits.empty())
                    b.replace(vp8, 5, "V_VP9");
                for (const auto &edit : fault.edits) {
                    const qsizetype at = b.indexOf(edit.first);
                    ASSERT_GE(at, 0) << edit.first.toHex().constData();
                    b.replace(at, edit.first.size(), edit.second);
                }
            },
            QString::fromLatin1(fault.name) + ".mkv");
        const checks::Result r = checks::check(path);
        const auto found = r.of(QString::fromLatin1(fault.check));
        ASSERT_EQ(found.size(), 1u) << r.out.constData();
        EXPECT_EQ(found[0].path, QLatin1String(fault.path));
        EXPECT_TRUE(found[0].message.contains(QLatin1String(fault.says)))
            << found[0].message.toStdString();
        for (const checks::Found &f : r.findings)
            EXPECT_TRUE(f.check == fault.check || fault.alsoAllowed.contains(f.check))
                << r.out.constData();
    }
}

// Clean files of independent muxers give the group nothing to say.
TEST(CheckIndex, CleanSamplesAreQuiet)
{
    for (const QString &name : e2e::sampleNames())
        for (const checks::Found &f : checks::check(e2e::samplePath(name)).findings)
            EXPECT_FALSE(indexChecks.contains(f.check))
                << name.toStdString() << ' ' << f.check.toStdString();
}
