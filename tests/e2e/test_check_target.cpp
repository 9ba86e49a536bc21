// SPDX-License-Identifier: MIT
// --check on Seek and Cue targets: one fault planted in a copy of a real file
// each.
#include "check_support.h"

#include <gtest/gtest.h>

TEST(CheckTarget, PlantedFaults)
{
    using B = QByteArray;
    checks::expectPlanted({
        // The third Seek: SeekID of the Cues, then SeekPosition with 2 bytes.
        {"SeekPosition off by two",
         "laced-audio.mkv",
         B("\x53\xAB\x84\x1C\x53\xBB\x6B\x53\xAC\x82\xBC\xB1"),
         B("\x53\xAB\x84\x1C\x53\xBB\x6B\x53\xAC\x82\xBC\xB3"),
         -3,
         "seek-target",
         "/Segment/SeekHead/Seek[3]",
         "not at the Cues (0x1C53BB6B) that SeekID names",
         {}},
        // The first CueTrackPositions: CueTrack, then CueClusterPosition with 2
        // bytes; its CuePoint begins 5 bytes before.
        {"CueClusterPosition moved",
         "laced-audio.mkv",
         B("\xB7\x8A\xF7\x81\x01\xF1\x82\x23"),
         B("\xB7\x8A\xF7\x81\x01\xF1\x82\x24"),
         -5,
         "cue-target",
         "/Segment/Cues/CuePoint",
         "not at a Cluster (0x1F43B675)",
         {}},
    });
}
