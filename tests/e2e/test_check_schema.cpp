// SPDX-License-Identifier: MIT
// --check, the schema's group: one fault planted in a copy of a real sample
// per check, and that check tells it at its place.
#include "check_support.h"

#include <gtest/gtest.h>

TEST(CheckSchema, PlantedFaults)
{
    using B = QByteArray;
    // clang-format off
    checks::expectPlanted({
        {"DocTypeVersion 1", "h264-aac.mkv", B("\x42\x87\x81\x04"), B("\x42\x87\x81\x01"), 4,
         "doctype-version", "/EBML/DocTypeReadVersion", "above DocTypeVersion 1", {}},
        {"EBMLMaxIDLength 3", "h264-aac.mkv", B("\x42\xF2\x81\x04"), B("\x42\xF2\x81\x03"), 27,
         "id-length", "/Segment", "4 bytes", {"value-range"}},
        {"EBMLMaxSizeLength 4", "h264-aac.mkv", B("\x42\xF3\x81\x08"), B("\x42\xF3\x81\x04"), 23,
         "size-length", "/Segment", "8 bytes", {}},
        {"Title turned into a Name", "vp9-opus.webm", B("\x7B\xA9"), B("\x53\x6E"), 0,
         "invalid-parent", "/Name", "TrackEntry", {}},
        {"CodecID turned into a Void", "h264-aac.mkv", B("\x86\x8FV_MPEG4"), B("\xEC\x8FV_MPEG4"),
         -36, "missing-element", "/Segment/Tracks/TrackEntry", "CodecID", {"crc-mismatch"}},
        {"FlagLacing 5", "vp9-opus.webm", B("\x9C\x81\x00", 3), B("\x9C\x81\x05"), 0,
         "value-range", "/FlagLacing", "5", {}},
        {"a Void's ID of no element", "vp9-opus.webm", B("\x65\xBE\xEC"), B("\x65\xBE\x81"), 2,
         "unknown-element", "/Unknown", "0x81", {}},
        {"V_VP6 in WebM", "vp9-opus.webm", B("V_VP9"), B("V_VP6"), -2, "webm", "/CodecID",
         "V_VP6", {}},
        {"Tracks of unknown size", "laced-audio.mkv", B("\x16\x54\xAE\x6B\x4E\x40"),
         B("\x16\x54\xAE\x6B\x7F\xFF"), 0, "unknown-size", "/Segment/Tracks", "Tracks", {}},
        {"invalid UTF-8 in WritingApp", "laced-audio.mkv", B("mkvmerge v"), B("mkvmerge\xC3v"),
         -3, "bad-text", "/WritingApp", "UTF-8", {}},
        {"DateUTC turned into a Duration", "vp9-opus.webm", B("\x44\x61\x88"), B("\x44\x89\x88"),
         11, "too-many", "/Duration[2]", "at most 1", {"duration"}},
        {"a 4-byte SegmentFamily", "laced-audio.mkv", B("\x44\x89\x84"), B("\x44\x44\x84"), 0,
         "value-length", "/SegmentFamily", "16", {}},
        {"a 49-byte CodecDelay", "h264-aac.mkv", B("\x63\xA2\xB1"), B("\x56\xAA\xB1"), 0,
         "bad-number", "/CodecDelay", "49 bytes", {"crc-mismatch", "codec-private"}},
        {"CodecDecodeAll", "laced-audio.mkv", B("\x9C\x81\x00", 3), B("\xAA\x81\x00", 3), 0,
         "deprecated", "/CodecDecodeAll", "CodecDecodeAll", {}},
    });
    // clang-format on
}
