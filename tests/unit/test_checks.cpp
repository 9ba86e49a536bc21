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
    QByteArray tracks = el(Tracks, track(1, 1, "V_UNCOMPRESSED"));
    QByteArray clusters = el(Cluster, uel(Timecode, 0) + simpleBlock(1, 0x80));

    static QByteArray track(quint64 number, quint64 type, const QByteArray &codec,
                            const QByteArray &more = QByteArray())
    {
        return el(TrackEntry,
                  uel(TrackNumber, number) + uel(Id::TrackUid, number) + uel(TrackType, type)
                      + el(CodecID, codec) + more);
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
                "CueClusterPosition 54 points at an element of unknown ID 0x43B6"),
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
        p.clusters = el(Cluster, uel(Timecode, 0) + c.block.repeated(150));
        if (!c.tracksFirst)
            std::swap(p.tracks, p.clusters);
        const checkrun::Findings f = checkrun::run(p.bytes());
        EXPECT_EQ(f.checks(), c.checks) << c.name;
        for (const QString &check : c.checks) {
            const std::vector<Finding> shown = f.of(qPrintable(check));
            ASSERT_EQ(shown.size(), 100u) << c.name;
            EXPECT_EQ(shown.back().path, QLatin1String("/Segment/Cluster/SimpleBlock[100]"))
                << c.name;
        }
        EXPECT_EQ(f.count(Severity::Error), 150 * c.checks.size()) << c.name;
    }
}

} // namespace
