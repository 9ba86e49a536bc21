// SPDX-License-Identifier: MIT
// The check groups over small files built in memory: each case, the
// findings that --check must give, as "check@offset".

#include "checkrun.h"
#include "ebml.h"
#include "ebmldecoder.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ebml;
using namespace Qt::StringLiterals;

namespace {

// The parts of a small file that --check finds nothing in; a case changes
// one of them.
struct Parts
{
    QByteArray header
        = el(EBML,
             uel(EBMLVersion, 1) + uel(Id::EbmlReadVersion, 1) + uel(Id::EbmlMaxIdLength, 4)
                 + uel(Id::EbmlMaxSizeLength, 8) + el(DocType, "matroska")
                 + uel(Id::DocTypeVersion, 4) + uel(Id::DocTypeReadVersion, 2));
    QByteArray info
        = el(Info, uel(TimecodeScale, 1000000) + el(Id::MuxingApp, "t") + el(Id::WritingApp, "t"));
    QByteArray tracks = el(Tracks, track(1, 1, "V_UNCOMPRESSED", video()));
    QByteArray clusters = el(Cluster, uel(Timecode, 0) + simpleBlock(1, 0x80));

    static QByteArray track(quint64 number, quint64 type, const QByteArray &codec,
                            const QByteArray &more = QByteArray())
    {
        return el(TrackEntry,
                  uel(TrackNumber, number) + uel(Id::TrackUid, number) + uel(TrackType, type)
                      + el(CodecID, codec) + more);
    }
    static QByteArray video(quint64 width = 16, quint64 height = 16,
                            const QByteArray &more = QByteArray())
    {
        return el(Id::Video, uel(PixelWidth, width) + uel(PixelHeight, height) + more);
    }
    QByteArray segment() const { return info + tracks + clusters; }
    QByteArray bytes() const { return header + el(Segment, segment()); }
    // A SeekHead of one Seek, to stand first in the Segment.
    static QByteArray seekHead(quint32 target, quint64 position)
    {
        return el(Id::SeekHead,
                  el(Id::Seek, el(Id::SeekId, id(target)) + uel(Id::SeekPosition, position)));
    }
    // Cues of one CuePoint to the first Cluster, moved by clusterShift, and
    // its first block; a track or relative position of -1 is left out.
    QByteArray cues(qint64 track, int clusterShift = 0, qint64 relative = 3) const
    {
        const QByteArray fields = (track < 0 ? QByteArray() : uel(Id::CueTrack, quint64(track)))
            + uel(Id::CueClusterPosition, quint64(info.size() + tracks.size() + clusterShift))
            + (relative < 0 ? QByteArray() : uel(Id::CueRelativePosition, quint64(relative)));
        return el(Id::Cues,
                  el(Id::CuePoint, uel(Id::CueTime, 0) + el(Id::CueTrackPositions, fields)));
    }
    // Where the Segment's payload starts, and so its first child.
    int segmentData() const { return header.size() + 4 + size(quint64(segment().size())).size(); }
};

struct Case
{
    const char *name;
    Parts parts;
    const char *check;          // the check the case is about
    QStringList expected;       // its findings, "check@offset"
    const char *says = nullptr; // a part of the first one's message
};

Parts with(std::function<void(Parts &)> edit)
{
    Parts p;
    edit(p);
    return p;
}

// element (whole, with its header) with the first from in its payload
// replaced by to, or with to appended when from is empty; its size made anew.
QByteArray swap(const QByteArray &element, const QByteArray &from, const QByteArray &to)
{
    const int idLength = EbmlDecoder::length(quint8(element[0]));
    QByteArray payload = element.mid(idLength + EbmlDecoder::length(quint8(element[idLength])));
    const qsizetype at = from.isEmpty() ? payload.size() : payload.indexOf(from);
    payload.replace(at, from.size(), to);
    return element.left(idLength) + size(quint64(payload.size())) + payload;
}

// The EBML header of a WebM file.
void webm(Parts &p)
{
    p.header = swap(p.header, el(DocType, "matroska"), el(DocType, "webm"));
}

// Where a finding stands: the first byte of bytes in the file (past the
// place of the mark before when it has the same bytes), nth more, plus skew.
struct Mark
{
    Mark(const QByteArray &b, int s = 0, int n = 0)
        : bytes(b)
        , skew(s)
        , nth(n)
    {}
    QByteArray bytes;
    int skew, nth;
};

// A case whose findings of check stand at marks.
Case planted(const char *name, const Parts &parts, const char *check,
             std::initializer_list<Mark> marks, const char *says = nullptr)
{
    const QByteArray file = parts.bytes();
    QStringList expected;
    qsizetype at = -1;
    QByteArray last;
    for (const Mark &m : marks) {
        at = m.bytes == last ? at : -1;
        for (int n = 0; n <= m.nth; ++n)
            at = file.indexOf(m.bytes, at + 1);
        last = m.bytes;
        expected << QStringLiteral("%1@%2").arg(QLatin1String(check)).arg(at + m.skew);
    }
    return Case {name, parts, check, expected, says};
}

// Each case gives its findings of its check, and the first has says in its
// message.
void expectCases(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        const checkrun::Findings f = checkrun::run(c.parts.bytes());
        EXPECT_EQ(f.at(c.check), c.expected) << c.name << ": " << f.at().join(' ').toStdString();
        if (c.says && !f.of(c.check).empty()) {
            EXPECT_TRUE(f.of(c.check).front().message.contains(QLatin1String(c.says)))
                << c.name << ": " << f.of(c.check).front().message.toStdString();
        }
    }
}

TEST(Checks, ACleanFileHasNoFinding)
{
    const checkrun::Findings f = checkrun::run(Parts().bytes());
    EXPECT_EQ(f.at().join(' ').toStdString(), "");
}

TEST(Checks, SchemaChecksFindTheirFaults)
{
    const QByteArray title = el(Title, "t"), delay = uel(Id::CodecDelay, 0), titled = id(Title);
    const QByteArray scale = uel(TimecodeScale, 1000000), uuid = el(SegmentUID, "16 bytes of UUID");
    const QByteArray zeroInside = el(Id::WritingApp, "\0t"_ba), cut = el(Title, "t\xE2\x82");
    const char *const badUtf8[] = {"\xC3(", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xBF"};
    const QByteArray padded = el(DocType, "matroska\0\0"_ba), minus = el(Duration, f64(-1));
    const QByteArray zero = el(Duration, "\0\0\0\0"_ba), date4 = el(DateUTC, "date"),
                     float3 = el(Duration, "3by"), int9 = el(TrackType, "9 bytes..");
    const auto version = [](Parts &p, quint64 v) {
        p.header = swap(p.header, uel(Id::DocTypeVersion, 4), uel(Id::DocTypeVersion, v));
    };
    const auto ebml = [](Parts &p, quint32 field, quint64 from, quint64 to) {
        p.header.replace(uel(field, from), uel(field, to));
    };
    const auto info = [](Parts &p, const QByteArray &more) { p.info = swap(p.info, {}, more); };
    // Tracks of one entry, or of two, with more, and their codecs.
    const auto entry = [](Parts &p, const QByteArray &more, const QByteArray &codec = "V_VP9") {
        p.tracks = el(Tracks, Parts::track(1, 1, codec, more));
    };
    const auto entries = [](Parts &p, const QByteArray &more, const QByteArray &codec = "V_VP8") {
        p.tracks = el(Tracks, Parts::track(1, 1, "V_VP9", more) + Parts::track(2, 1, codec, more));
    };
    // clang-format off
    expectCases({
        planted("DocType matroska padded with zeros",
                with([&](Parts &p) { p.header = swap(p.header, el(DocType, "matroska"), padded); }),
                "ebml-header", {}),
        planted("a second DocType, matroxka",
                with([](Parts &p) { p.header = swap(p.header, {}, el(DocType, "matroxka")); }),
                "ebml-header", {id(EBML)}, "DocType \"matroxka\""),
        planted("DocTypeReadVersion 2 above DocTypeVersion 1",
                with([&](Parts &p) { version(p, 1); }),
                "doctype-version", {uel(Id::DocTypeReadVersion, 2), simpleBlock(1, 0x80)}, "above"),
        planted("two CodecDelays of version 4 under version 2: the first told",
                with([&](Parts &p) { version(p, 2), entries(p, delay); }),
                "doctype-version", {delay}),
        planted("WebM's version 2 has CodecDelay",
                with([&](Parts &p) { version(p, 2), webm(p), entries(p, delay); }),
                "doctype-version", {}),
        planted("4-byte IDs, EBMLMaxIDLength 3",
                with([&](Parts &p) { ebml(p, Id::EbmlMaxIdLength, 4, 3); }),
                "id-length", {id(Segment), id(Info), id(Tracks), id(Cluster)}),
        planted("a 3-byte size, EBMLMaxSizeLength 2", with([&](Parts &p) {
                    ebml(p, Id::EbmlMaxSizeLength, 8, 2), info(p, header(Title, 1, 3) + "t"); }),
                "size-length", {header(Title, 1, 3)}),
        planted("8-byte sizes, EBMLMaxIDLength 4 and no EBMLMaxSizeLength", with([&](Parts &p) {
                    p.header = swap(p.header, uel(Id::EbmlMaxSizeLength, 8), {});
                    info(p, header(Title, 1, 8) + "t"); }),
                "size-length", {}),
        planted("an ID of no element", with([&](Parts &p) { info(p, el(Unknown, "x")); }),
                "unknown-element", {el(Unknown, "x")}, "0x4321"),
        planted("Title among the tracks",
                with([&](Parts &p) { p.tracks = swap(p.tracks, {}, title); }),
                "invalid-parent", {title}, "Info"),
        planted("Title at the top level", with([&](Parts &p) { p.header += title; }),
                "invalid-parent", {title}),
        planted("a TrackEntry lacking TrackType", with([](Parts &p) {
                    p.tracks = el(Tracks, swap(Parts::track(1, 1, "V"), uel(TrackType, 1), {})); }),
                "missing-element", {Mark(id(Tracks), 5)}, "TrackType"),
        planted("Info lacking MuxingApp, and TimestampScale, which has a default",
                with([&](Parts &p) { p.info = el(Info, el(Id::WritingApp, "t")); }),
                "missing-element", {id(Info)}, "MuxingApp"),
        planted("two TimestampScales", with([&](Parts &p) { info(p, scale); }),
                "too-many", {Mark(scale, 0, 1)}),
        planted("two EBML headers", with([](Parts &p) { p.header += p.header; }),
                "too-many", {Mark(id(EBML), 0, 1)}),
        planted("Tracks of unknown size", with([](Parts &p) {
                    p.tracks = header(Tracks, 127, 1) + Parts::track(1, 1, "V_VP9"); }),
                "unknown-size", {id(Tracks)}),
        planted("a Cluster of unknown size",
                with([](Parts &p) { p.clusters = header(Cluster, 127, 1) + p.clusters.mid(5); }),
                "unknown-size", {}),
        planted("TrackType 0",
                with([](Parts &p) { p.tracks.replace(uel(TrackType, 1), uel(TrackType, 0)); }),
                "value-range", {uel(TrackType, 0)}, "not 0"),
        planted("FlagLacing 2", with([&](Parts &p) { entry(p, uel(Id::FlagLacing, 2)); }),
                "value-range", {uel(Id::FlagLacing, 2)}, "0 to 1"),
        planted("an empty TimestampScale has its default",
                with([&](Parts &p) { p.info = swap(p.info, scale, el(TimecodeScale, {})); }),
                "value-range", {}),
        planted("Duration -1, 0, and 1 as a 4-byte float",
                with([&](Parts &p) { info(p, minus + zero + el(Duration, "\x3F\x80\0\0"_ba)); }),
                "value-range", {minus, zero}, "> 0"),
        planted("a 4-byte SegmentUUID", with([&](Parts &p) { info(p, el(SegmentUID, "uuid")); }),
                "value-length", {el(SegmentUID, "uuid")}, "must be 16"),
        planted("a 16-byte SegmentUUID", with([&](Parts &p) { info(p, uuid); }),
                "value-length", {}),
        planted("an empty DocTypeExtensionName", with([](Parts &p) {
                    p.header += el(Id::DocTypeExtension, el(Id::DocTypeExtensionName, {})); }),
                "value-length", {id(Id::DocTypeExtensionName)}, "0 bytes; it must be at least 1"),
        planted("a 9-byte integer, a 4-byte date, a 3-byte float",
                with([&](Parts &p) { info(p, date4 + float3), entry(p, int9); }),
                "bad-number", {date4, float3, int9}),
        planted("an 8-byte date, a 4-byte float", with([&](Parts &p) {
                    info(p, el(DateUTC, "datetime") + el(Duration, f64(1).left(4))); }),
                "bad-number", {}),
        planted("UTF-8 of 2, 3 and 4 bytes, zeros after it", with([&](Parts &p) {
                    info(p, el(Title, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\0\0"_ba)); }),
                "bad-text", {}),
        planted("UTF-8: a lead byte alone, overlong, a surrogate, past U+10FFFF, a stray 0xBF",
                with([&](Parts &p) { for (const char *bad : badUtf8) info(p, el(Title, bad)); }),
                "bad-text", {titled, titled, titled, titled, titled}, "valid UTF-8"),
        planted("UTF-8 cut by the element's end, a zero inside", with([&](Parts &p) {
                    info(p, cut), p.info = swap(p.info, el(Id::WritingApp, "t"), zeroInside); }),
                "bad-text", {zeroInside, cut}),
        planted("a control character in CodecID, zeros after one", with([&](Parts &p) {
                    entries(p, {}, "V_VP8\0\0"_ba), p.tracks.replace("V_VP9", "V_V\x01P"); }),
                "bad-text", {el(CodecID, "V_V\x01P")}, "printable ASCII"),
        planted("CodecDecodeAll twice: told once",
                with([&](Parts &p) { entries(p, uel(0xAA, 1)); }),
                "deprecated", {uel(0xAA, 1)}, "CodecDecodeAll"),
        planted("WebM: V_UNCOMPRESSED, SegmentUUID",
                with([&](Parts &p) { webm(p), info(p, uuid); }),
                "webm", {uuid, el(CodecID, "V_UNCOMPRESSED")}, "SegmentUUID is not among"),
        planted("WebM: V_VP9, and V_VP8 with zeros after it",
                with([&](Parts &p) { webm(p), entries(p, {}, "V_VP8\0"_ba); }),
                "webm", {}),
    });
    // clang-format on
}

TEST(Checks, StreamChecksFindTheirFaults)
{
    const QByteArray block1 = simpleBlock(1, 0x80), block2 = simpleBlock(2, 0x80);
    auto blocks = [](Parts &p, QByteArray b) { p.clusters = el(Cluster, uel(Timecode, 0) + b); };
    // A TrackEntry's number and UID; Tracks of two entries.
    const auto trackEntry = [](quint64 number, quint64 uid = 0) {
        return el(TrackEntry,
                  uel(TrackNumber, number) + (uid ? uel(Id::TrackUid, uid) : QByteArray()));
    };
    const auto entries = [&](Parts &p, quint64 number, quint64 uid, const QByteArray &second) {
        p.tracks = el(Tracks, trackEntry(number, uid) + second);
    };
    const auto clusters = [](Parts &p, const QByteArray &first, quint64 second) {
        p.clusters = el(Cluster, first) + el(Cluster, uel(Timecode, second));
    };
    const QByteArray xiph = el(SimpleBlock, bytes({0x81, 0, 0, 0x82, 1, 0x50}) + "xx"),
                     fixed = el(SimpleBlock, bytes({0x81, 0, 0, 0x84, 1}) + "xxx"),
                     ebmlLaced = el(SimpleBlock, bytes({0x81, 0, 0, 0x86, 1, 0x90}) + "xx"),
                     laced = el(SimpleBlock, bytes({0x81, 0, 0, 0x82, 1, 1}) + "xx"),
                     tiny = el(SimpleBlock, bytes({0x81, 0})),
                     pastCluster = header(SimpleBlock, 9) + bytes({0x81, 0, 0, 0x80}),
                     cut = el(SimpleBlock, bytes({0x40})), empty = el(SimpleBlock, {}),
                     noElement = bytes({0xFF, 0xFF});
    // clang-format off
    expectCases({
        planted("a block of no track", with([&](Parts &p) { blocks(p, block2); }), "block-track",
                {block2}, "track 2"),
        planted("a Segment of no Tracks after one of them",
                with([](Parts &p) { p.header += el(Segment, p.segment()), p.tracks.clear(); }),
                "block-track", {Mark(simpleBlock(1, 0x80), 0, 1)}, "has no Tracks"),
        planted("Tracks after the blocks of their track",
                with([](Parts &p) { std::swap(p.tracks, p.clusters); }), "block-track", {}),
        planted("Tracks after a block of no track", with([&](Parts &p) {
                    blocks(p, block1 + block2), std::swap(p.tracks, p.clusters); }), "block-track",
                {block2}),
        planted("tracks 2 then 1", with([&](Parts &p) {
                    blocks(p, block1 + block2),
                    p.tracks = el(Tracks, Parts::track(2, 1, "V") + Parts::track(1, 1, "V")); }),
                "block-track", {}),
        planted("1025 tracks: too many to judge blocks by", with([&](Parts &p) {
                    for (quint64 n = 200; n < 1224; ++n)
                        p.tracks = swap(p.tracks, {}, trackEntry(n));
                    blocks(p, block2); }),
                "block-track", {}),
        planted("two tracks of one number",
                with([&](Parts &p) { entries(p, 1, 1, trackEntry(1, 2)); }),
                "tracks-duplicate", {Mark(uel(TrackNumber, 1), -2, 1)}, "TrackNumber 1 is already"),
        planted("two tracks of one UID, the first of two UIDs", with([&](Parts &p) {
                    entries(p, 1, 5, swap(trackEntry(2, 5), {}, uel(Id::TrackUid, 6))); }),
                "tracks-duplicate", {Mark(uel(TrackNumber, 2), -2)}, "TrackUID 5"),
        planted("a number that is another track's UID",
                with([&](Parts &p) { entries(p, 1, 2, trackEntry(2, 3)); }), "tracks-duplicate",
                {}),
        planted("Cluster Timestamps 5 then 3",
                with([&](Parts &p) { clusters(p, uel(Timecode, 5), 3); }),
                "timestamp-order", {Mark(uel(Timecode, 3), -5)}, "3 is below 5 of the Cluster at"),
        planted("Cluster Timestamps 3 then 3: a TrackNumber, a second Timestamp count not",
                with([&](Parts &p) {
                    clusters(p, uel(TrackNumber, 9) + uel(Timecode, 3) + uel(Timecode, 9), 3); }),
                "timestamp-order", {}),
        planted("a block past its Cluster", with([&](Parts &p) {
                    p.clusters = el(Cluster, pastCluster) + el(Void, "xxxxxx"); }),
                "past-parent", {pastCluster}, "5 bytes past"),
        planted("a Cluster past the file's end",
                with([](Parts &p) { p.clusters = header(Cluster, 40) + p.clusters.mid(5); }),
                "past-end", {id(Cluster)}, "30 bytes before"),
        planted("a CRC-32 that does not match, alone in its Info",
                with([](Parts &p) { p.info = el(Info, el(Crc32, "\xFF\xFF\xFF\xFF")); }),
                "crc-mismatch", {id(Info)}, "does not match the 0 bytes after it"),
        planted("bytes of no element in a Cluster",
                with([&](Parts &p) { blocks(p, noElement + block1); }),
                "garbage", {noElement}, "2 bytes"),
        planted("Xiph lace sizes past the data", with([&](Parts &p) { blocks(p, xiph); }), "lacing",
                {xiph}, "SimpleBlock with Xiph lacing of 2 frames: 0 of its 1"),
        planted("Fixed-size laces that do not divide", with([&](Parts &p) { blocks(p, fixed); }),
                "lacing", {fixed}, "Fixed-size lacing of 2 frames, but the 3 bytes"),
        planted("EBML lace sizes past the data", with([&](Parts &p) { blocks(p, ebmlLaced); }),
                "lacing", {ebmlLaced}, "EBML lacing"),
        planted("two Xiph laces that fit", with([&](Parts &p) { blocks(p, laced); }), "lacing", {}),
        planted("a block of 2 bytes", with([&](Parts &p) { blocks(p, tiny); }), "block-short",
                {tiny}, "of 2 bytes of data, shorter than its header of 4"),
        planted("a block cut in its track number, an empty one",
                with([&](Parts &p) { blocks(p, cut + empty); }),
                "block-short", {cut, empty}, "of 1 bytes of data, shorter than its header of 5"),
    });
    // clang-format on
}

TEST(Checks, TargetChecksFindTheirFaults)
{
    // Seek findings stand at the Seek, cue findings at the CuePoint, first in
    // the Cues. A SeekHead of one Seek to a 4-byte ID takes 19 bytes, and the
    // Info after it stands there in the Segment.
    const Mark seekAt(id(Id::Seek)), cuePoint(id(Id::Cues), 5);
    const auto seek = [](Parts &p, quint32 target, quint64 position) {
        p.info = Parts::seekHead(target, position) + p.info;
    };
    const auto seekOf = [](Parts &p, const QByteArray &fields) {
        p.info = el(Id::SeekHead, el(Id::Seek, fields)) + p.info;
    };
    const auto cues = [](Parts &p, qint64 track, int shift = 0, qint64 relative = 3) {
        p.clusters += p.cues(track, shift, relative);
    };
    const auto group = [](Parts &p, const QByteArray &children) {
        p.clusters = el(Cluster, uel(Timecode, 0) + el(BlockGroup, children));
    };
    const QByteArray block = el(Block, bytes({0x81, 0, 0, 0}) + "x"), ref = uel(ReferenceBlock, 0);
    // clang-format off
    expectCases({
        planted("a Seek to Info", with([&](Parts &p) { seek(p, Info, 19); }), "seek-target", {}),
        planted("a Seek one byte past Info", with([&](Parts &p) { seek(p, Info, 20); }),
                "seek-target", {seekAt},
                "SeekPosition 20 points at an element of unknown ID 0x49A9"),
        planted("a Seek to Tracks at Info", with([&](Parts &p) { seek(p, Tracks, 19); }),
                "seek-target", {seekAt}, "points at an Info (0x1549A966), not at the Tracks"),
        planted("a Seek past the file", with([&](Parts &p) { seek(p, Info, 900); }), "seek-target",
                {seekAt}, "past the file's end"),
        planted("a Seek of no SeekPosition, one of a 5-byte SeekID", with([&](Parts &p) {
                    seekOf(p, el(Id::SeekId, id(Info)) + el(Void, "xxx")),
                    seekOf(p, el(Id::SeekId, "\0\0\0\0\x01"_ba) + uel(Id::SeekPosition, 1)); }),
                "seek-target", {}),
        planted("a Seek with SeekPosition first", with([&](Parts &p) {
                    seekOf(p, uel(Id::SeekPosition, 0) + el(Id::SeekId, id(Info))); }),
                "seek-target", {seekAt}, "not at the Info"),
        planted("Cues at their Cluster and block, of no CueTrack, of no CueRelativePosition",
                with([&](Parts &p) { cues(p, 1), cues(p, -1), cues(p, 2, 0, -1); }), "cue-target",
                {}),
        planted("a Cue one byte past its Cluster", with([&](Parts &p) { cues(p, 1, 1); }),
                "cue-target", {cuePoint},
                "points at an element of unknown ID 0x43B6"),
        planted("a Cue one byte past its block", with([&](Parts &p) { cues(p, 1, 0, 4); }),
                "cue-target", {cuePoint}, "not at a SimpleBlock or BlockGroup"),
        planted("a Cue of no CueTrack one byte past its block",
                with([&](Parts &p) { cues(p, -1, 0, 2); }), "cue-target", {cuePoint}),
        planted("a Cue of another track", with([&](Parts &p) { cues(p, 2); }), "cue-target",
                {cuePoint}, "SimpleBlock (0xA3) of track 1, not of CueTrack 2"),
        planted("a Cue at a BlockGroup", with([&](Parts &p) { group(p, ref + block), cues(p, 1); }),
                "cue-target", {}),
        planted("a Cue of another track at a BlockGroup",
                with([&](Parts &p) { group(p, block), cues(p, 3); }),
                "cue-target", {cuePoint}, "BlockGroup (0xA0) of track 1, not of CueTrack 3"),
        planted("a Cue at a BlockGroup of no Block",
                with([&](Parts &p) { group(p, ref), cues(p, 1); }),
                "cue-target", {cuePoint}, "cannot be read"),
    });
    // clang-format on
}

// A check shows its first hundred findings of a file and counts the rest,
// each check on its own.
TEST(Checks, EachCheckShowsAHundred)
{
    const struct
    {
        const char *name;
        QByteArray block; // 150 of them
        bool tracksFirst;
        QStringList checks; // those with 100 shown and 150 counted
    } cases[] = {
        {"unknown track", simpleBlock(2, 0x80), true, {"block-track"}},
        {"unknown track before the Tracks", simpleBlock(2, 0x80), false, {"block-track"}},
        {"unknown track and lacing",
         el(SimpleBlock, bytes({0x82, 0, 0, 0x84, 1}) + "xxx"),
         true,
         {"block-track", "lacing"}},
    };
    for (const auto &c : cases) {
        Parts p;
        // After a block of the track, which is then not without blocks.
        p.clusters = el(Cluster, uel(Timecode, 0) + simpleBlock(1, 0x80) + c.block.repeated(150));
        if (!c.tracksFirst)
            std::swap(p.tracks, p.clusters);
        const checkrun::Findings f = checkrun::run(p.bytes());
        EXPECT_EQ(f.checks(), c.checks) << c.name;
        for (const QString &check : c.checks) {
            const std::vector<Finding> shown = f.of(qPrintable(check));
            ASSERT_EQ(shown.size(), 100u) << c.name;
            EXPECT_EQ(shown.back().path, QLatin1String("/Segment/Cluster/SimpleBlock[101]"))
                << c.name;
        }
        EXPECT_EQ(f.count(Severity::Error), 150 * c.checks.size()) << c.name;
    }
}

} // namespace

namespace {

// A change to the clean file and the one finding it must give: of check, at
// the last place where the bytes at stand (no check: no finding at all).
struct Planted
{
    const char *name;
    Parts parts;
    const char *check;
    QByteArray at;
    const char *says = ""; // a part of the finding's message
};

void expectPlanted(std::initializer_list<Planted> cases)
{
    for (const Planted &c : cases) {
        const QByteArray file = c.parts.bytes();
        const checkrun::Findings f = checkrun::run(file);
        QStringList want;
        if (c.check)
            want << QStringLiteral("%1@%2").arg(QLatin1String(c.check)).arg(file.lastIndexOf(c.at));
        EXPECT_EQ(f.at(), want) << c.name;
        if (!f.all.empty()) {
            EXPECT_TRUE(f.all[0].message.contains(QLatin1String(c.says))) << c.name;
        }
    }
}

Parts withTail(const QByteArray &tail)
{
    return with([&](Parts &p) { p.clusters = tail; });
}

// A SimpleBlock of one frame 'x' of track 1 at time.
QByteArray block(int time, int flags = 0x80)
{
    return el(SimpleBlock, bytes({0x81, time >> 8, time & 0xFF, flags, 'x'}));
}

QByteArray cluster(int time, const QByteArray &children)
{
    return el(Cluster, uel(Timecode, quint64(time)) + children);
}

// A CuePoint with one position: the Cluster's in the Segment and, unless
// -1, the block's in the Cluster's payload (3: right after its Timestamp).
QByteArray cue(int time, int cluster, int block = -1, int track = 1)
{
    return el(
        Id::CuePoint,
        uel(Id::CueTime, quint64(time))
            + el(Id::CueTrackPositions,
                 uel(Id::CueTrack, quint64(track)) + uel(Id::CueClusterPosition, quint64(cluster))
                     + (block < 0 ? QByteArray() : uel(Id::CueRelativePosition, quint64(block)))));
}

QByteArray seek(quint32 target, int position)
{
    return el(Id::Seek,
              el(Id::SeekId, id(target)) + el(Id::SeekPosition, uintN(quint64(position), 2)));
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char b : bytes) {
        crc ^= quint8(b);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// A master whose first child is the CRC-32 of the rest.
QByteArray withCrc(quint32 master, const QByteArray &payload)
{
    const quint32 crc = crc32(payload);
    return el(
        master,
        el(Crc32,
           bytes({int(crc & 0xFF), int(crc >> 8 & 0xFF), int(crc >> 16 & 0xFF), int(crc >> 24)}))
            + payload);
}

} // namespace

TEST(Checks, RecurringCopiesAreComparedWithTheFirst)
{
    const Parts plain;
    const QByteArray one = cluster(0, block(0));
    const QByteArray info = el(Void, "ab") + el(Id::MuxingApp, "t") + el(Id::WritingApp, "t");
    const QByteArray otherTracks = el(Tracks, Parts::track(1, 1, "V_VP8", Parts::video()));
    const QByteArray titled = el(Info, info + el(Title, "x"));
    expectPlanted({
        {"Tracks again", withTail(one + plain.tracks), nullptr, {}},
        {"Info again, with a Void, a CRC-32 and no TimestampScale of 1000000",
         withTail(one + withCrc(Info, info)),
         nullptr,
         {}},
        {"Tracks again, of another codec", withTail(one + otherTracks), "recurring-differs",
         otherTracks, "its CodecID at"},
        {"Info again, with a Title", withTail(one + titled), "recurring-differs", titled,
         "its Title at"},
        {"Info again, without the Title", with([&](Parts &p) {
             p.info = el(Info, uel(TimecodeScale, 1000000) + info + el(Title, "x"));
             p.clusters = one + plain.info;
         }),
         "recurring-differs", plain.info, "it lacks the Title"},
    });
}

TEST(Checks, IndexChecksFindTheirFaults)
{
    const Parts plain;
    const int c0 = plain.info.size() + plain.tracks.size(); // the first Cluster, in the Segment
    const QByteArray one = cluster(0, block(0)), two = cluster(10, block(10));
    const auto prevSize
        = [&](int size) { return cluster(10, uel(Id::PrevSize, quint64(size)) + block(10)); };
    const auto position
        = [&](int at) { return cluster(0, uel(Id::Position, quint64(at)) + block(0)); };
    const QByteArray unknown = id(Cluster) + bytes({0xFF}) + uel(Timecode, 0) + block(0);
    const QByteArray keyAndNot = cluster(0, block(0) + block(10, 0));
    const QByteArray referenced = cluster(
        0,
        block(0)
            + el(BlockGroup,
                 el(Block, bytes({0x81, 0, 10, 0, 'x'})) + el(ReferenceBlock, bytes({0xF6}))));
    const QByteArray pair = cluster(0, block(0) + block(10));
    const auto cues = [](const QByteArray &points) { return el(Id::Cues, points); };
    const auto seekHead = [&](const QByteArray &seeks) {
        return with([&](Parts &p) { p.info = el(Id::SeekHead, seeks) + p.info; });
    };
    // A SeekHead of one Seek is 20 bytes, of two 35.
    const int info2 = 35, tracks2 = 35 + plain.info.size();
    expectPlanted({
        {"PrevSize on the first Cluster", withTail(prevSize(1)), "cluster-prevsize", prevSize(1),
         "the first Cluster"},
        {"PrevSize of the Cluster before", withTail(one + prevSize(one.size())), nullptr, {}},
        {"PrevSize a byte off", withTail(one + prevSize(one.size() + 1)), "cluster-prevsize",
         prevSize(one.size() + 1)},
        {"PrevSize of a Cluster and a Void",
         withTail(one + el(Void, "") + prevSize(one.size())),
         nullptr,
         {}},
        {"PrevSize of a Cluster of unknown size",
         withTail(unknown + prevSize(unknown.size())),
         nullptr,
         {}},
        {"PrevSize of no number",
         withTail(cluster(0, el(Id::PrevSize, QByteArray(9, 0)) + block(0))), "bad-number",
         el(Id::PrevSize, QByteArray(9, 0))},
        {"Position in the Segment", withTail(position(c0)), nullptr, {}},
        {"Position of a live stream", withTail(position(0)), nullptr, {}},
        {"Position a byte off", withTail(position(c0 + 1)), "cluster-position", position(c0 + 1)},
        {"a Cue of the block", withTail(one + cues(cue(0, c0, 3))), nullptr, {}},
        {"a Cue of a Cluster", withTail(pair + cues(cue(10, c0))), nullptr, {}},
        {"CueTime off the block", withTail(one + cues(cue(5, c0, 3))), "cue-time", cue(5, c0, 3),
         "(Cluster Timestamp 0, block 0)"},
        {"CueTime of no block of the Cluster", withTail(pair + cues(cue(5, c0))), "cue-time",
         cue(5, c0)},
        {"CueTime of a block of another track", withTail(pair + cues(cue(10, c0, -1, 2))),
         "cue-time", cue(10, c0, -1, 2)},
        {"CueTime of no block of a Cluster of too many to read",
         withTail(cluster(0, QByteArray(4096, 'x').replace("x", block(0))) + cues(cue(5, c0))),
         nullptr,
         {}},
        {"CueTimes back", withTail(pair + cues(cue(10, c0, 10) + cue(0, c0, 3))), "cue-order",
         cue(0, c0, 3), "0 is below 10"},
        {"a Cue of a video frame that is no keyframe", withTail(keyAndNot + cues(cue(10, c0, 10))),
         "cue-keyframe", cue(10, c0, 10)},
        {"a Cue of a referencing BlockGroup", withTail(referenced + cues(cue(10, c0, 10))),
         "cue-keyframe", cue(10, c0, 10)},
        {"a Cue of an audio frame",
         with([&](Parts &p) {
             p.tracks = el(Tracks, Parts::track(1, 2, "A_PCM/INT/LIT", el(Id::Audio, {})));
             p.clusters = keyAndNot + cues(cue(10, p.info.size() + p.tracks.size(), 10));
         }),
         nullptr,
         {}},
        {"a SeekHead of Info and Tracks",
         seekHead(seek(Info, info2) + seek(Tracks, tracks2)),
         nullptr,
         {}},
        {"a SeekHead of Info", seekHead(seek(Info, 20)), "seekhead-missing", plain.tracks},
        {"a SeekHead of a Tracks elsewhere", seekHead(seek(Info, info2) + seek(Tracks, 3)),
         "seek-target", seek(Tracks, 3)},
    });
}

TEST(Checks, TrackUseChecksFindTheirFaults)
{
    const auto laced = [](int time) {
        return el(SimpleBlock, bytes({0x81, 0, time, 0x82, 1, 1, 'x', 'y'}));
    };
    const auto lacing = [&](int flag) {
        return with([&](Parts &p) {
            p.tracks = el(Tracks,
                          Parts::track(1, 1, "V_UNCOMPRESSED",
                                       Parts::video() + uel(Id::FlagLacing, quint64(flag))));
            p.clusters = cluster(0, laced(0) + laced(1));
        });
    };
    const QByteArray second = Parts::track(2, 1, "V_UNCOMPRESSED", Parts::video());
    expectPlanted({
        {"laced blocks of a track that may be laced", lacing(1), nullptr, {}},
        {"laced blocks of a track that may not", lacing(0), "lacing-flag", laced(0),
         "2 laced blocks of track 1"},
        {"a track without blocks", with([&](Parts &p) {
             p.tracks = el(Tracks, Parts::track(1, 1, "V_UNCOMPRESSED", Parts::video()) + second);
         }),
         "track-empty", second, "track 2"},
        {"a track whose blocks come first",
         with([](Parts &p) {
             p.clusters = cluster(0, block(0)) + p.tracks;
             p.tracks.clear();
         }),
         nullptr,
         {}},
    });
}

namespace {

// Cases whose findings of one check are "E check@offset" (or W), the offset
// that of the first occurrence of an element's bytes in the file.
struct Expect
{
    char severity;
    QByteArray at;
};
struct PlacedCase
{
    const char *name;
    Parts parts;
    const char *check;
    std::vector<Expect> expected; // none: the check finds nothing
};

void runPlaced(const std::vector<PlacedCase> &cases, quint32 profiles = 0)
{
    for (const PlacedCase &c : cases) {
        const QByteArray file = c.parts.bytes();
        const checkrun::Findings f = checkrun::run(file, QStringLiteral("x.mkv"), profiles);
        QStringList found, expected;
        for (const Finding &finding : f.of(c.check))
            found << QStringLiteral("%1 %2@%3")
                         .arg(QLatin1Char(finding.severity == Severity::Error ? 'E' : 'W'))
                         .arg(QLatin1String(c.check))
                         .arg(finding.offset);
        for (const Expect &e : c.expected)
            expected << QStringLiteral("%1 %2@%3")
                            .arg(QLatin1Char(e.severity))
                            .arg(QLatin1String(c.check))
                            .arg(file.indexOf(e.at));
        EXPECT_EQ(found, expected) << c.name << ": " << f.at().join(' ').toStdString();
        EXPECT_EQ(f.at("value-range"), QStringList()) << c.name; // the specific check says it
    }
}

Parts withTrack(const QByteArray &entry)
{
    return with([&](Parts &p) { p.tracks = el(Tracks, entry); });
}
Parts withInfo(const QByteArray &more)
{
    return with([&](Parts &p) { p.info = el(Info, uel(TimecodeScale, 1000000) + more); });
}
Parts withAfter(const QByteArray &more)
{
    return with([&](Parts &p) { p.clusters += more; });
}
Parts withHeader(quint32 id, quint64 value)
{
    return with([&](Parts &p) {
        p.header.replace(p.header.indexOf(ebml::header(id, 1)) + 3, 1, uinteger(value));
    });
}
QByteArray block(int track, int timecode, int flags)
{
    return el(SimpleBlock, bytes({0x80 | track, 0, timecode, flags}) + "x");
}
QByteArray tag(quint32 target, quint64 uid)
{
    return el(Id::Tags,
              el(Id::Tag,
                 el(Id::Targets, uel(target, uid))
                     + el(Id::SimpleTag, el(Id::TagName, "T") + el(Id::TagString, "v"))));
}

TEST(Checks, SetupChecksFindTheirFaults)
{
    const auto video = [](const QByteArray &codec, const QByteArray &more) {
        return Parts::track(1, 1, codec, Parts::video() + more);
    };
    const auto audio = [](const QByteArray &codec, const QByteArray &more) {
        return Parts::track(1, 2, codec, el(Id::Audio, QByteArray()) + more);
    };
    const auto priv = [](const QByteArray &b) { return el(CodecPrivate, b); };
    const QByteArray avc0 = video("V_MPEG4/ISO/AVC", priv(bytes({0, 1, 2, 3, 0xFF, 0xE1, 0})));
    const QByteArray avc6 = video("V_MPEG4/ISO/AVC", priv(bytes({1, 1, 2, 3, 0xFF, 0xE1})));
    const QByteArray avcNone = video("V_MPEG4/ISO/AVC", QByteArray());
    const QByteArray av1 = video("V_AV1", priv(bytes({0x80, 0, 0, 0})));
    const QByteArray opus = audio("A_OPUS", priv(QByteArray("OpusHeaX") + QByteArray(11, 1)));
    const QByteArray flac = audio("A_FLAC", priv("fLaC" + bytes({1}) + QByteArray(37, 0)));
    const QByteArray aac = audio("A_AAC", priv(bytes({0x12})));
    const QByteArray vorbisId = "\x01vorbis" + QByteArray(23, 0);
    const auto vorbis = [&](const QByteArray &laced) { return audio("A_VORBIS", priv(laced)); };
    const QByteArray vorbisOne = vorbis(bytes({1, 30}) + vorbisId + "xx");
    const QByteArray vorbisLong = vorbis(bytes({2, 30, 20}) + vorbisId + QByteArray(20, 'c'));
    const QByteArray vorbisType = vorbis(bytes({2, 30, 2, 3}) + vorbisId.mid(1) + "xxxx");
    const QByteArray vorbisCut = vorbis(bytes({2, 255, 255}));
    const QByteArray noVideo = Parts::track(1, 1, "V_UNCOMPRESSED");
    const QByteArray noAudio = Parts::track(1, 2, "A_PCM/INT/LIT");
    const QByteArray cropped = video("V_UNCOMPRESSED", QByteArray());
    const QByteArray wide = Parts::track(
        1, 1, "V_UNCOMPRESSED",
        Parts::video(16, 16, uel(Id::PixelCropLeft, 6) + uel(Id::PixelCropRight, 10)));
    const QByteArray tall
        = Parts::track(1, 1, "V_UNCOMPRESSED", Parts::video(16, 16, uel(Id::PixelCropTop, 15)));
    const QByteArray rate0
        = Parts::track(1, 2, "A_PCM/INT/LIT", el(Id::Audio, el(Id::SamplingFrequency, f64(0))));
    const QByteArray chapters
        = el(Chapters,
             el(EditionEntry,
                uel(Id::EditionUid, 3)
                    + el(ChapterAtom,
                         uel(Id::ChapterUid, 9) + uel(ChapterTimeStart, 0)
                             + el(Id::ChapterTrack, uel(Id::ChapterTrackUid, 4)))));
    const QByteArray attachment = el(Attachments,
                                     el(AttachedFile,
                                        el(Id::FileName, "a") + el(Id::FileMediaType, "t")
                                            + el(FileData, "x") + uel(Id::FileUid, 7)));
    const auto frames = [](const QByteArray &entryMore, const QByteArray &blocks) {
        return with([&](Parts &p) {
            p.tracks = el(Tracks, Parts::track(1, 1, "V_UNCOMPRESSED", Parts::video() + entryMore));
            p.clusters = el(Cluster, uel(Timecode, 1000) + blocks);
            p.info = el(Info, uel(TimecodeScale, 1000000) + el(Duration, f64(3000)));
        });
    };
    const QByteArray laced = el(SimpleBlock, bytes({0x81, 0, 0, 0x84, 3}) + "abcd");
    const QByteArray grouped
        = el(BlockGroup, el(Block, bytes({0x81, 0, 0, 0}) + "x") + uel(Id::BlockDuration, 2000));
    // clang-format off
    const std::vector<PlacedCase> cases = {
        {"EBMLReadVersion 2", withHeader(Id::EbmlReadVersion, 2), "ebml-header", {{'E', uel(Id::EbmlReadVersion, 2)}}},
        {"EBMLMaxIDLength 5", withHeader(Id::EbmlMaxIdLength, 5), "ebml-header", {{'E', uel(Id::EbmlMaxIdLength, 5)}}},
        {"EBMLMaxSizeLength 9", withHeader(Id::EbmlMaxSizeLength, 9), "ebml-header", {{'E', uel(Id::EbmlMaxSizeLength, 9)}}},
        {"DocTypeVersion 0", withHeader(Id::DocTypeVersion, 0), "ebml-header", {{'E', uel(Id::DocTypeVersion, 0)}}},
        {"video track without Video", withTrack(noVideo), "track-settings", {{'E', noVideo}}},
        {"audio track without Audio", withTrack(noAudio), "track-settings", {{'E', noAudio}}},
        {"PixelWidth 0", withTrack(Parts::track(1, 1, "V_UNCOMPRESSED", Parts::video(0, 16))), "track-settings", {{'E', uel(PixelWidth, 0)}}},
        {"PixelHeight 0", withTrack(Parts::track(1, 1, "V_UNCOMPRESSED", Parts::video(16, 0))), "track-settings", {{'E', uel(PixelHeight, 0)}}},
        {"SamplingFrequency 0", withTrack(rate0), "track-settings", {{'E', el(Id::SamplingFrequency, f64(0))}}},
        {"crop of the whole width", withTrack(wide), "track-settings", {{'E', Parts::video(16, 16, uel(Id::PixelCropLeft, 6) + uel(Id::PixelCropRight, 10))}}},
        {"crop that leaves a row", withTrack(tall), "track-settings", {}},
        {"a video track with Video", withTrack(cropped), "track-settings", {}},
        {"AVC without CodecPrivate", withTrack(avcNone), "codec-private", {{'E', avcNone}}},
        {"avcC version 0", withTrack(avc0), "codec-private", {{'E', avc0}}},
        {"avcC of 6 bytes", withTrack(avc6), "codec-private", {{'E', avc6}}},
        {"avcC version 1", withTrack(video("V_MPEG4/ISO/AVC", priv(bytes({1, 1, 2, 3, 0xFF, 0xE1, 0})))), "codec-private", {}},
        {"hvcC version 1", withTrack(video("V_MPEGH/ISO/HEVC", priv(bytes({1}) + QByteArray(22, 0)))), "codec-private", {}},
        {"av1C without its marker", withTrack(av1), "codec-private", {{'E', av1}}},
        {"av1C", withTrack(video("V_AV1", priv(bytes({0x81, 0, 0, 0})))), "codec-private", {}},
        {"OpusHead misspelt", withTrack(opus), "codec-private", {{'E', opus}}},
        {"OpusHead", withTrack(audio("A_OPUS", priv(QByteArray("OpusHead") + QByteArray(11, 1)))), "codec-private", {}},
        {"FLAC without STREAMINFO first", withTrack(flac), "codec-private", {{'E', flac}}},
        {"AAC of 1 byte", withTrack(aac), "codec-private", {{'E', aac}}},
        {"AAC of 2 bytes", withTrack(audio("A_AAC", priv(bytes({0x12, 0x10})))), "codec-private", {}},
        {"AAC of an old codec ID", withTrack(audio("A_AAC/MPEG4/LC", QByteArray())), "codec-private", {}},
        {"Vorbis of two headers", withTrack(vorbisOne), "codec-private", {{'E', vorbisOne}}},
        {"Vorbis headers past the end", withTrack(vorbisLong), "codec-private", {{'E', vorbisLong}}},
        {"Vorbis lace sizes past the end", withTrack(vorbisCut), "codec-private", {{'E', vorbisCut}}},
        {"Vorbis first header of type 0", withTrack(vorbisType), "codec-private", {{'E', vorbisType}}},
        {"Vorbis", withTrack(vorbis(bytes({2, 30, 2}) + vorbisId + "xxxx")), "codec-private", {}},
        {"a compressed avcC", withTrack(video("V_MPEG4/ISO/AVC", priv(bytes({0})) + el(Id::ContentEncodings, el(Id::ContentEncoding, uel(Id::ContentEncodingScope, 2) + el(Id::ContentCompression, QByteArray()))))), "codec-private", {}},
        {"a tag of no track", withAfter(tag(Id::TagTrackUid, 5)), "uid-reference", {{'E', uel(Id::TagTrackUid, 5)}}},
        {"a tag of track UID 1, before the tracks", with([](Parts &p) { p.info += tag(Id::TagTrackUid, 1); }), "uid-reference", {}},
        {"a tag of all tracks", withAfter(tag(Id::TagTrackUid, 0)), "uid-reference", {}},
        {"a tag of no chapter", withAfter(chapters + tag(Id::TagChapterUid, 8)), "uid-reference", {{'W', uel(Id::ChapterTrackUid, 4)}, {'E', uel(Id::TagChapterUid, 8)}}},
        {"tags of an edition and a chapter", withAfter(chapters + tag(Id::TagEditionUid, 3) + tag(Id::TagChapterUid, 9)), "uid-reference", {{'W', uel(Id::ChapterTrackUid, 4)}}},
        {"a tag of no attachment", withAfter(tag(Id::TagAttachmentUid, 6) + attachment), "uid-reference", {{'E', uel(Id::TagAttachmentUid, 6)}}},
        {"a tag of an attachment", withAfter(attachment + tag(Id::TagAttachmentUid, 7)), "uid-reference", {}},
        {"Duration 5 s, media 0 s", withInfo(el(Duration, f64(5000))), "duration", {{'W', el(Duration, f64(5000))}}},
        {"Duration 0.9 s, media 0 s", withInfo(el(Duration, f64(900))), "duration", {}},
        {"Duration 3 s, a block at 1 s", frames(QByteArray(), block(1, 0, 0x80)), "duration", {{'W', el(Duration, f64(3000))}}},
        {"a block at 1 s of 2 s", frames(uel(DefaultDuration, 2000000000), block(1, 0, 0x80)), "duration", {}},
        {"three frames at 1 s of 0.7 s", frames(uel(DefaultDuration, 700000000), laced), "duration", {}},
        {"a block at 1 s of 1 s in its group", frames(QByteArray(), grouped), "duration", {}},
    };
    // clang-format on
    runPlaced(cases);
}

TEST(Checks, MseProfileFindsItsFaults)
{
    const Parts plain;
    const QByteArray audio = Parts::track(2, 2, "A_PCM/INT/LIT", el(Id::Audio, QByteArray()));
    const auto cluster
        = [](const QByteArray &blocks) { return el(Cluster, uel(Timecode, 0) + blocks); };
    const auto clusters
        = [](const QByteArray &all) { return with([&](Parts &p) { p.clusters = all; }); };
    const QByteArray late = el(Cluster, block(1, 0, 0x80) + uel(Timecode, 0));
    const QByteArray back = block(1, 1, 0);
    const QByteArray two = el(Tracks, Parts::track(1, 1, "V_UNCOMPRESSED", Parts::video()) + audio);
    const QByteArray onlyVideo = cluster(block(1, 0, 0x80));
    const QByteArray delta = block(1, 0, 0);
    const QByteArray referenced = el(Block, bytes({0x81, 0, 0, 0}) + "x");
    const QByteArray group = el(BlockGroup, referenced + uel(Id::ReferenceBlock, 1));
    // clang-format off
    const std::vector<PlacedCase> cases = {
        {"a clean file", plain, "mse-init", {}},
        {"Tracks before Info", with([](Parts &p) { std::swap(p.info, p.tracks); }), "mse-init", {{'E', plain.tracks}}},
        {"a Cluster before Tracks", with([](Parts &p) { std::swap(p.tracks, p.clusters); }), "mse-init", {{'E', plain.clusters}}},
        {"a Void before the Segment", with([](Parts &p) { p.header += el(Void, "x"); }), "mse-init", {{'E', el(Void, "x")}}},
        {"a Segment that ends before Tracks", with([](Parts &p) { p.header += el(Segment, p.info); p.info.clear(); }), "mse-init", {{'E', el(Segment, plain.info)}}},
        {"a Timestamp after a block", clusters(late), "mse-media", {{'E', late}}},
        {"a block back in time", clusters(cluster(block(1, 2, 0x80) + back)), "mse-media", {{'W', back}}},
        {"blocks in order", clusters(cluster(block(1, 1, 0x80) + block(1, 1, 0) + block(1, 2, 0))), "mse-media", {}},
        {"a Cluster of one of two tracks", with([&](Parts &p) { p.tracks = two; p.clusters = onlyVideo + cluster(block(1, 3, 0) + block(2, 3, 0x80)); }), "mse-media", {{'W', onlyVideo}}},
        {"a first block that is no keyframe", clusters(cluster(delta + block(1, 1, 0x80))), "mse-random-access", {{'E', delta}}},
        {"a first Block with a reference", clusters(cluster(group + delta)), "mse-random-access", {{'E', referenced}}},
        {"a first Block after its reference", clusters(cluster(el(BlockGroup, uel(Id::ReferenceBlock, 1) + referenced))), "mse-random-access", {{'E', referenced}}},
        {"a first Block without one", clusters(cluster(el(BlockGroup, referenced) + group + delta)), "mse-random-access", {}},
        {"an audio track's first block", with([&](Parts &p) { p.tracks = two; p.clusters = cluster(block(2, 0, 0) + block(1, 0, 0x80)); }), "mse-random-access", {}},
    };
    // clang-format on
    runPlaced(cases, 1);
    EXPECT_EQ(checkrun::run(Parts().bytes()).at(), QStringList()) << "no profile";
    const Parts bad = with([](Parts &p) { std::swap(p.info, p.tracks); });
    EXPECT_EQ(checkrun::run(bad.bytes()).at(), QStringList()) << "no profile";
}

} // namespace
