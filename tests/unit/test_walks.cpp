// SPDX-License-Identifier: MIT
// Whole walks of inputs built in memory, held against tests/unit/golden/walks.txt:
// the walker, each reporter, block headers and frames, track registration,
// and damaged or hostile inputs, each walk also checked as walkChecked does.

#include "ebml.h"
#include "golden.h"
#include "probe.h"

#include <algorithm>
#include <cstring>

using namespace ebml;

namespace {

struct Case
{
    const char *name;
    QByteArray input;
    quint64 binaryLimit = 16;
    bool showJunk = false;
    int numberBase = 10;
    bool showUnknown = true;
};

// One element per payload.
QByteArray each(quint32 elementId, std::initializer_list<QByteArray> payloads)
{
    QByteArray out;
    for (const QByteArray &p : payloads)
        out += el(elementId, p);
    return out;
}

std::vector<Case> cases()
{
    const QByteArray video = tracks({{1, 1}}); // 13 bytes: nothing after it lies at 0
    const QByteArray four = bytes({0x3F, 0x80, 0x00, 0x00}), big(3 << 20, 'a');
    const quint64 huge = (quint64(1) << 56) - 2, unknown = huge + 1, all = ~quint64(0);
    QByteArray forty, edges, overlong, badFloats, eightByteSizes[3];
    for (int i = 0; i < 40; ++i)
        forty.append(char(i));
    // Shared number texts are made from a tenth of the number: the edges of
    // each digit count and of the table, both signs.
    for (qint64 v : {0,  1,   2,   3,   4,    5,    6,     7,     8,     9,     10,    11,
                     99, 100, 101, 999, 1000, 9999, 10000, 12345, 65535, 65536, 99999, 100000})
        edges
            += el(TimecodeScale, uintN(quint64(v), 3)) + el(ReferenceBlock, uintN(quint64(-v), 3));
    // 256 and 264 hold 0 and 8 in their low byte, 260 holds 4.
    for (quint32 elementId : {EBMLVersion, ReferenceBlock, DateUTC, TrackNumber, TrackType,
                              DisplayUnit, PixelWidth, PixelHeight, DefaultDuration})
        for (int n : {9, 256, 264})
            overlong += el(elementId, QByteArray(n, '\x01'));
    for (quint32 elementId : {Duration, TrackTimecodeScale})
        for (int n : {0, 2, 3, 5, 9, 260, 264})
            badFloats += el(elementId, QByteArray(n, '\x01'));
    // Eight-byte size fields at their largest: a first byte of 0 reads as
    // 2^56 or more.
    const QByteArray largest[]
        = {bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), QByteArray(8, '\0'),
           bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})};
    for (int i = 0; i < 3; ++i)
        eightByteSizes[i] = el(EBML, uel(EBMLVersion, 1)) + id(Segment) + largest[i] + video
            + id(Cluster) + largest[i] + uel(Timecode, 0) + id(SimpleBlock) + largest[i]
            + bytes({0x81, 0, 0, 0x80}) + "frame";
    QByteArray types;
    for (quint64 type : {1ULL, 2ULL, 3ULL, 16ULL, 17ULL, 18ULL, 32ULL, 0ULL, 19ULL, 4294967297ULL})
        types += uel(TrackType, type);
    const QByteArray group = el(BlockGroup,
                                el(Block, bytes({0x81, 0xFF, 0xF6, 0x00}) + QByteArray(30, 'b'))
                                    + el(ReferenceBlock, bytes({0xF6})));
    const QByteArray scale = uel(TimecodeScale, 1000000), titleHead = header(Title, 1000);
    const QByteArray padding = el(Void, QByteArray(255, '\0')) + uel(EBMLVersion, 255);
    const QByteArray zeros(64 * 1024, '\0');
    // A laced SimpleBlock of track 2: its lace header, then dataBytes bytes.
    const auto laced = [](int lacing, const QByteArray &lace, int dataBytes) {
        return el(SimpleBlock,
                  bytes({0x82, 0, 0, lacing << 1}) + lace + QByteArray(dataBytes, 'f'));
    };
    const auto blockGroup = [](int flags, const QByteArray &before, const QByteArray &after) {
        return el(BlockGroup, before + el(Block, bytes({0x81, 0, 1, flags, 'k'})) + after);
    };
    const QByteArray reference = el(ReferenceBlock, bytes({0xEC}));
    QByteArray sizes = id(Void) + bytes({0xFF}) + QByteArray(127, 'v'); // 127: all value bits set
    for (int length = 1; length <= 8; ++length)
        sizes += header(Void, 2, length) + "ab";

    return {
        // The walker: id and size rows, children, what follows is a sibling.
        {"EBML and its child",
         bytes({0x1A, 0x45, 0xDF, 0xA3, 0x84, 0x42, 0x86, 0x81, 0x01}) + uel(EBMLVersion, 2)},
        {"size fields of every length", sizes},
        {"a size field cut short reads as 0 bytes", video + id(Title) + bytes({0x10, 0x12})},
        {"empty master", el(EBML, QByteArray()) + uel(EBMLVersion, 1)},
        {"unknown IDs show their bytes as text, printable ASCII and DEL kept",
         el(Unknown, bytes({0x41, 0x00, 0x7F, 0x80})) + el(Unknown, QByteArray())},
        {"binaryLimit bytes of an unknown payload", el(Unknown, "abcdefghijklmnopqrst"), 5},
        {"hidden unknown payload", el(Unknown, "abcdefghijklmnopqrst"), 5, false, 10, false},
        // The size row follows the number base, values stay decimal; bases no
        // number can be written in fall back to decimal.
        {"base 16", padding, 16, false, 16},
        {"base 2", padding, 16, false, 2},
        {"base 36", padding, 16, false, 36},
        {"base 0", padding, 16, false, 0},
        {"base 1", padding, 16, false, 1},
        {"base 37", padding, 16, false, 37},
        {"a child reaching past its master ends the master",
         header(Info, quint64(scale.size() + titleHead.size() + 2)) + scale + titleHead + "ab"
             + el(Void, QByteArray(4, '\0'))},
        {"unknown-size Segment ends with the input",
         header(Segment, unknown, 8) + el(Info, scale) + el(Void, "ab")},
        {"whole file, descriptions annotate once",
         el(EBML, uel(EBMLVersion, 1) + el(DocType, "matroska"))
             + el(Segment,
                  el(Info, scale + el(Title, "clip") + uel(EBMLVersion, 1))
                      + tracks({{1, 1}, {2, 2}})
                      + el(Cluster,
                           uel(Timecode, 0) + simpleBlock(1, 0x80, 10) + simpleBlock(2, 0x80, 5)
                               + simpleBlock(1, 0x00, 7)))
             + el(Unknown, "zz") + uel(EBMLVersion, 1)},

        // Reporters: each type's value; the row spans the whole payload.
        {"unsigned integers",
         each(TimecodeScale,
              {bytes({0x0F, 0x42, 0x40}), uintN(0x0102030405060708ULL, 8), QByteArray(8, '\xFF')})},
        {"signed integers extend the sign of their length",
         each(ReferenceBlock,
              {QByteArray(), bytes({0xD8}), bytes({0x00, 0xFF}), bytes({0x80, 0x00, 0x00}),
               QByteArray(7, '\xFF'), four, uintN(0x8000000000000000ULL, 8),
               uintN(0x7FFFFFFFFFFFFFFFULL, 8)})},
        {"dates",
         each(DateUTC, {uintN(700000000000000000ULL, 8), uintN(quint64(-1000000000LL), 8)})},
        {"floats, 6 significant digits",
         each(Duration,
              {four, bytes({0x3D, 0xCC, 0xCC, 0xCD}), bytes({0x41, 0xEF, 0xC2, 0x8F}),
               uintN(0x40E7700000000000ULL, 8), f64(1234567.0), f64(0.000001)})},
        {"binary", each(SegmentUID, {bytes({0x1A, 0x45, 0xDF, 0xA3}), bytes({0x00, 0x0F, 0xF0})})},
        {"ASCII strings stop at NUL, bytes over 0x7F are Latin-1",
         each(DocType, {QByteArray("V_VP8\0\0\0", 8), QByteArray("\0abc", 4), QByteArray(), four})},
        {"UTF-8 stops at NUL",
         each(Title, {bytes({0xC3, 0xA9}), bytes({0xE2, 0x82, 0xAC, 0, 0x41})})},
        {"numbers at the edges of the shared texts", edges},
        {"binary shows binaryLimit bytes; UTF-8 too, classic",
         el(SegmentUID, forty) + el(Title, "Lavf59.27.100"), 4},
        {"binaryLimit 0", el(SegmentUID, forty), 0},
        {"ASCII shows all, Void only when asked and binaryLimit of it",
         el(DocType, "und-Latn") + el(Void, "pad") + el(Void, QByteArray(6, '\0')), 2, true},
        {"Void hidden, FileData never read",
         el(Void, "pad") + el(Attachments, el(AttachedFile, el(FileData, QByteArray(300, 'd'))))
             + header(FileData, quint64(1) << 50) + "attached"},
        // The load of an ASCII string stops at StringLoadLimit, or at
        // binaryLimit when that is larger.
        {"ASCII load capped", el(DocType, big) + el(CodecID, big)},
        {"ASCII load at a larger binaryLimit", el(DocType, big), 2 << 20},
        {"ASCII load with no limit", el(CodecID, big), all},

        // Blocks: only the header is read; track 1 is no video track here.
        {"block header rows",
         el(SimpleBlock, bytes({0x81, 0x00, 0x00, 0x80}) + QByteArray(100, '\xAA'))
             + el(SimpleBlock, bytes({0x40, 0x02, 0x00, 0x10, 0x00, 0x01, 0x02}))},
        {"signed timecodes and flags",
         each(SimpleBlock,
              {bytes({0x81, 0xFF, 0xD8, 0x88}), bytes({0x81, 0x7F, 0xFF, 0x02}),
               bytes({0x81, 0x80, 0x00, 0x04}), bytes({0x81, 0x01, 0x02, 0x06}),
               bytes({0x81, 0x00, 0x00, 0x01}), bytes({0x81, 0x00, 0x00, 0x83}),
               bytes({0x81, 0x00, 0x00, 0x70})})},
        {"frames: tracks 1 and 2 video, 3 audio, 7 undeclared",
         el(Segment,
            tracks({{1, 1}, {2, 1}, {3, 2}})
                + el(Cluster,
                     simpleBlock(1, 0x80, 10) + simpleBlock(1, 0x00, 11) + simpleBlock(2, 0x80, 12)
                         + simpleBlock(3, 0x80, 13) + simpleBlock(7, 0x80, 14)
                         + simpleBlock(1, 0x00, 15)))},
        {"frames of Blocks in BlockGroups", el(Segment, video + el(Cluster, group + group))},

        // Track registration: pairs of number and type within one entry.
        {"type then number", el(Tracks, el(TrackEntry, uel(TrackType, 1) + uel(TrackNumber, 5)))},
        {"audio", el(Tracks, el(TrackEntry, uel(TrackNumber, 9) + uel(TrackType, 2)))},
        {"a repeated type registers again",
         el(Tracks, el(TrackEntry, uel(TrackNumber, 3) + uel(TrackType, 1) + uel(TrackType, 1)))},
        {"entries do not mix",
         el(Tracks,
            each(TrackEntry,
                 {uel(TrackNumber, 1) + uel(TrackType, 2),
                  uel(TrackType, 1) + uel(TrackNumber, 2)}))},
        {"half entries do not carry over",
         el(Tracks, each(TrackEntry, {uel(TrackType, 1), uel(TrackNumber, 7)}))
             + el(Tracks, each(TrackEntry, {uel(TrackNumber, 8), uel(TrackType, 1)}))},
        {"number 0 and type 0 are no track; a later type 0 changes nothing",
         el(Tracks,
            each(TrackEntry,
                 {uel(TrackType, 1) + uel(TrackNumber, 0), uel(TrackNumber, 0) + uel(TrackType, 1),
                  uel(TrackNumber, 4) + uel(TrackType, 1) + uel(TrackType, 0)}))},
        {"several Tracks masters add up", tracks({{1, 1}}) + tracks({{2, 1}, {3, 17}})},
        {"track settings, values past the named ones unknown",
         el(TrackEntry,
            types + each(DisplayUnit, {uinteger(0), uinteger(1), uinteger(2), uinteger(3)})
                + el(DisplayUnit, QByteArray(8, '\xFF')) + uel(PixelWidth, 1920)
                + el(DefaultDuration, bytes({0x00, 0xFE, 0x50, 0x2A}))
                + el(TrackTimecodeScale, four) + el(CodecID, QByteArray("V_VP8\0\0\0", 8)))},

        // Damage: claims far beyond the input show the bytes that are there
        // and a row that spans the claim; none of it is allocated.
        {"string claiming 2^56", video + header(DocType, huge) + QByteArray("matroska\0junk", 13),
         all, true},
        {"UTF-8 claiming 2^56", video + header(Title, huge) + "caf\xC3\xA9", all, true},
        {"binary claiming 2^56", video + header(SegmentUID, huge) + bytes({0xDE, 0xAD}), all, true},
        {"Void claiming 2^56", video + header(Void, huge) + "pad", all, true},
        {"unknown claiming 2^56", video + header(Unknown, huge) + "xyz\x01", all, true},
        {"unknown claiming 50, 6 there", video + header(Unknown, 50) + "abcdef"},
        // Blocks shorter than their header show the fields inside them, are
        // no frame, and the walk goes on.
        {"blocks shorter than their header",
         video + el(SimpleBlock, QByteArray()) + el(SimpleBlock, bytes({0x81, 0x00}))
             + el(SimpleBlock, bytes({0x81, 0x00, 0x00})) + el(SimpleBlock, bytes({0x40}))
             + uel(Timecode, 5)},
        // An ID over 4 bytes is an unknown element whose size field is read in
        // the ID's place; a run of zero bytes is one, claiming 2^56.
        {"a run of zeros", video + zeros},
        {"a run of zeros ends its level", video + el(Segment, zeros)},
        {"a 5-byte ID", el(EBML, uel(EBMLVersion, 1) + bytes({0x08, 0, 0, 0, 0x02, 'A', 'B'}))},
        {"integers over 8 bytes are refused", overlong + uel(EBMLVersion, 2)},
        {"floats not 4 or 8 bytes are refused", badFloats + uel(EBMLVersion, 2)},
        {"eight-byte sizes 2^56 - 1", eightByteSizes[0]},
        {"eight-byte sizes of 0 bytes", eightByteSizes[1]},
        {"eight-byte sizes 2^57 - 1", eightByteSizes[2]},
        // Today's Matroska: unknown sizes. Clusters of unknown size (1- and 8-byte markers) end
        // at the next Cluster and at Cues; Tracks, which may not have one, at the Cluster; a
        // Segment of unknown size holds them all and ends with the input.
        {"unknown sizes end where no child can stand",
         el(EBML, uel(EBMLVersion, 1)) + id(Segment) + bytes({0xFF}) + id(Tracks)
             + bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})
             + el(TrackEntry, uel(TrackNumber, 1) + uel(TrackType, 1)) + id(Cluster) + bytes({0xFF})
             + uel(Timecode, 2) + simpleBlock(1, 0x80) + el(Void, "ab") + id(Cluster)
             + bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + simpleBlock(1, 0)
             + el(0x1C53BB6B, el(0xBB, uel(0xB3, 0)))},
        {"unknown sizes nested in unknown sizes: a BlockGroup ends at the Cluster",
         id(Segment) + bytes({0xFF}) + video + id(Cluster) + bytes({0xFF}) + id(BlockGroup)
             + bytes({0xFF}) + el(Block, bytes({0x81, 0, 0, 0}) + "b")
             + el(Cluster, simpleBlock(1, 0))},
        // Today's Matroska: damaged data. A zeroed Cluster ID loses that Cluster only; bytes
        // in a Cluster end where two blocks follow one another; a stray A3 byte among them
        // is no block.
        {"damaged data is skipped to the next element",
         video + el(Cluster, simpleBlock(1, 0x80)).replace(0, 4, QByteArray(4, '\0'))
             + el(Cluster,
                  uel(Timecode, 1) + bytes({0x05, 0xA3, 0x85, 0x00, 0xFF}) + simpleBlock(1, 0)
                      + simpleBlock(1, 0x80))
             + bytes({0x00, 0x00, 0x1F}) + el(Cluster, simpleBlock(1, 0x80))},
        {"damaged data in a BlockGroup and before the EBML header",
         bytes({0x00, 0x0A, 0xEC, 0x81}) + el(EBML, uel(EBMLVersion, 1))
             + el(Segment,
                  video + header(Cluster, 40) + header(BlockGroup, 38) + bytes({0, 1, 2})
                      + el(Cluster, uel(Timecode, 3) + simpleBlock(1, 0x80)))},
        // Today's Matroska: lacing, keyframes in block groups, block times.
        // Xiph sizes 300 and 2; EBML 100, 100 - 2, 98 + 102; fixed 3 x 4; one frame.
        {"lacing",
         laced(1, bytes({2, 255, 45, 2}), 307) + laced(3, bytes({3, 0xE4, 0xBD, 0x60, 0x65}), 401)
             + laced(2, bytes({2}), 12) + laced(1, bytes({0}), 3)},
        // Each block: rows of the fields read, the annotation, and the next one.
        {"lace sizes that do not fit the block",
         laced(1, bytes({1, 9}), 8) + laced(1, bytes({1, 255}), 0)
             + laced(3, bytes({2, 0x85, 0xB9}), 9) + laced(3, bytes({1, 0x00, 0x81}), 5)
             + laced(2, bytes({2}), 10) + laced(3, QByteArray(), 0) + laced(3, bytes({1, 0x84}), 2)
             + el(EBMLVersion, QByteArray(1, '\x01'))},
        // A Block is a keyframe when its group holds no ReferenceBlock,
        // whatever its flags; a Block outside a group is none.
        {"keyframes of Blocks in BlockGroups",
         el(Segment,
            video
                + el(Cluster,
                     blockGroup(0, QByteArray(), QByteArray())
                         + blockGroup(0x80, QByteArray(), reference)
                         + blockGroup(0, reference, uel(0x9B, 3))
                         + el(Block, bytes({0x81, 0, 1, 0x80, 'k'}))))},
        // Times at a scale of 1 ms, then 1 us; a Cluster's time is its own;
        // times that overflow have none.
        {"block times",
         el(Segment,
            el(Info, scale)
                + el(Cluster,
                     uel(Timecode, 5000) + simpleBlock(1, 0x80)
                         + blockGroup(0, uel(0x9B, 40), reference))
                + el(Info, uel(TimecodeScale, 1000))
                + el(Cluster, el(SimpleBlock, bytes({0x81, 0xFF, 0xF6, 0})) + uel(0x9B, 40))
                + el(Cluster,
                     uel(Timecode, quint64(1) << 62) + simpleBlock(1, 0)
                         + uel(0x9B, quint64(1) << 62))
                + el(Cluster, uel(Timecode, all) + simpleBlock(1, 0)))},
        // Today's Matroska: elements of the schema, meanings of values.
        // Labels of integer and string enumerations, values with none; masters
        // only the schema knows are walked.
        {"enumerations",
         el(TrackEntry,
            uel(TrackType, 1) + uel(TrackType, 19) + uel(DisplayUnit, 3) + uel(0x4254, 3)
                + el(0xE0,
                     uel(0x9A, 2) + uel(0x53B8, 1)
                         + el(0x55B0, uel(0x55B1, 1) + uel(0x55B9, 9) + el(0x55D0, QByteArray())))
                + el(0x63CA, "TRACK") + el(0x63CA, "TRACKS") + uel(0x7671, 3) + uel(0x4588, 7))},
        // Times of nanoseconds and of ticks: the Segment's TimestampScale, the
        // largest that fit, and those that do not (no meaning).
        {"times",
         el(Info, uel(TimecodeScale, 100000) + el(Duration, f64(2.5)) + el(Duration, f64(1e300)))
             + uel(0x56AA, 6500000) + uel(0x56BB, 0x7FFFFFFFFFFFFFFFULL)
             + el(0x56BB, QByteArray(8, '\xFF')) + el(0x75A2, uintN(quint64(-13500000), 4))
             + uel(DefaultDuration, 41708333) + uel(0xB3, 36000001)
             + el(0xB3, QByteArray(8, '\x40'))},
        // Dates: the origin, both sides of it, the ends of an 8-byte date, leap
        // days and century years.
        {"UTC dates",
         each(DateUTC,
              {uintN(0, 8), uintN(quint64(-1), 8), uintN(500000000, 8), uintN(1, 8),
               uintN(0x8000000000000000ULL, 8), uintN(0x7FFFFFFFFFFFFFFFULL, 8),
               uintN(730900800000000000ULL, 8), uintN(3129235200000000000ULL, 8),
               uintN(quint64(-3182198401000000000LL), 8)})},
        // Seek IDs name elements of the catalogue and of the schema; other
        // IDs and payloads that are no ID name nothing; a cut ID is named.
        {"seek IDs",
         each(0x53AB,
              {id(Cluster), id(0x55B0), id(0x4321), bytes({0x1F, 0x43, 0xB6, 0x75, 0x00}),
               QByteArray(), id(Tracks)}),
         2},
    };
}

// A case's part of the golden file: its status and reads, the tree, the tracks.
QString walk(const Case &c, bool modern)
{
    Probe p;
    p.modernMatroska = modern;
    p.binaryLimit = c.binaryLimit;
    p.showJunk = c.showJunk;
    p.numberBase = c.numberBase;
    p.showUnknown = c.showUnknown;
    const int status = walkChecked(p, c.input);
    // Today's reading says each row's kind in its code and the number it
    // shows in its tag (a field that the input's end cuts is a Data row of
    // tag -1), and the kinds of the annotations that hosts act on; the
    // classic one leaves codes 0 and tags -1, and says no kind. Values are
    // held to their numbers in RowsCarryTheirNumbers.
    static const QHash<QString, RowKind> kinds = {{"id", RowKind::Id},
                                                  {"size", RowKind::Size},
                                                  {"value", RowKind::Value},
                                                  {"TrackNumber", RowKind::TrackNumber},
                                                  {"Timecode", RowKind::Timecode},
                                                  {"Timestamp", RowKind::Timecode},
                                                  {"Flags", RowKind::Flags},
                                                  {"data", RowKind::Data},
                                                  {"LaceCount", RowKind::LaceCount},
                                                  {"LaceSize", RowKind::LaceSize},
                                                  {"frame", RowKind::Frame}};
    const int base = c.numberBase >= 2 && c.numberBase <= 36 ? c.numberBase : 10;
    forEachNode(p.tree.roots, [&](const ElementNode &n) {
        for (const ElementRow &r : n.rows) {
            const RowKind named = kinds.value(r.name, RowKind::Unsaid);
            const bool cut = r.offset + r.length >= quint64(c.input.size())
                && rowKind(r.code) == RowKind::Data;
            const RowKind kind = cut ? RowKind::Data : named;
            const qint64 shown = r.value.toLongLong(nullptr, kind == RowKind::Size ? base : 10);
            qint64 tag = shown;
            if (kind == RowKind::Id)
                tag = n.tag;
            else if (kind == RowKind::Flags)
                tag = quint8(shown);
            else if (kind == RowKind::Value || kind == RowKind::Data)
                tag = kind == RowKind::Value ? r.tag : -1;
            EXPECT_EQ(r.code, modern ? quint8(kind) : 0) << c.name << ' ' << qPrintable(r.name);
            EXPECT_EQ(r.tag, modern ? tag : -1) << c.name << ' ' << qPrintable(r.name);
        }
    });
    static const QHash<QString, NoteKind> notes
        = {{"Unknown element!", NoteKind::UnknownElement},
           {"Block is shorter than its header!", NoteKind::ShortBlock},
           {"Lace sizes do not fit the block!", NoteKind::LacesMisfit}};
    for (const auto &[kind, text] : p.tree.notes)
        EXPECT_EQ(kind,
                  !modern                           ? NoteKind::Unsaid
                      : text.startsWith("Skipped ") ? NoteKind::DamagedData
                                                    : notes.value(text))
            << c.name << ' ' << qPrintable(text);
    QList<quint64> numbers = p.trackTypes.keys();
    std::sort(numbers.begin(), numbers.end());
    QString tracks;
    for (quint64 n : numbers)
        tracks += QStringLiteral(" %1:%2").arg(n).arg(p.trackTypes[n]);
    for (quint64 n : p.videoTracks)
        tracks += QStringLiteral(" video %1").arg(n);
    return QStringLiteral("## %1: status %2, %3 bytes read, at most %4 at once\n")
               .arg(QString::fromUtf8(c.name))
               .arg(status)
               .arg(p.device.requested)
               .arg(p.device.largestRequest)
        + golden::text(p.tree) + (tracks.isEmpty() ? QString() : "tracks" + tracks + '\n') + '\n';
}

// Frames where a golden walk would be too long to read: hundreds of streams,
// a track registered thousands of times, and a host that hands over no frame
// counters.
// A walk's frames as "stream.number", K marking keyframes.
QString framesOf(const Probe &p)
{
    QStringList parts;
    for (const FrameRecord &f : p.tree.frames)
        parts << QString("%1.%2%3").arg(f.stream).arg(f.number).arg(f.keyframe ? "K" : "");
    return parts.join(' ');
}

TEST(BlockFrames, EachVideoTrackIsAStreamWithItsOwnNumbers)
{
    // 300 video tracks of odd numbers, one or two bytes long; their blocks
    // come in reverse order, twice. Streams are numbered in the order their
    // entries registered them, whatever the track numbers.
    const int count = 300;
    QByteArray entries, round;
    QStringList many[2];
    for (int i = 0; i < count; ++i) {
        entries += el(TrackEntry, uel(TrackNumber, 2 * i + 1) + uel(TrackType, 1));
        round.prepend(el(SimpleBlock, size(2 * i + 1) + bytes({0, 0, 0x80}) + "x"));
        for (int k : {0, 1})
            many[k].prepend(QString("%1.%2K").arg(i).arg(k));
    }
    // A number registered again takes another place in the list each time,
    // and a track's stream is the place of its first registration.
    QByteArray repeated = uel(TrackNumber, 2);
    for (int i = 0; i < 3000; ++i)
        repeated += uel(TrackType, 1);
    repeated += uel(TrackNumber, 1) + uel(TrackType, 1);
    const struct
    {
        QByteArray file;
        bool counters;
        int places;
        QString frames;
    } cases[] = {
        {el(Tracks, entries) + el(Cluster, round + round), true, count,
         many[0].join(' ') + ' ' + many[1].join(' ')},
        {el(Tracks, el(TrackEntry, repeated))
             + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(2, 0) + simpleBlock(1, 0)),
         true, 3002, "3000.0K 0.0 3000.1"},
        // A host that hands over no frame counters gets every frame numbered 0.
        {tracks({{1, 1}, {2, 1}})
             + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(2, 0) + simpleBlock(2, 0)),
         false, 2, "0.0K 1.0 1.0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.places);
        Probe p;
        if (!c.counters)
            p.frameCounters.clear();
        p.walkAll(el(Segment, c.file));
        EXPECT_EQ(p.videoTracks.size(), c.places);
        EXPECT_EQ(framesOf(p), c.frames);
    }
}

} // namespace

// Every case in both modes: the classic catalogue, and today's Matroska.
TEST(Walks, EachCaseAsTheGoldenFileHasIt)
{
    for (bool modern : {false, true}) {
        QString all;
        for (const Case &c : cases()) {
            SCOPED_TRACE(c.name);
            all += walk(c, modern);
        }
        golden::expect(QLatin1String(modern ? "walks-modern.txt" : "walks.txt"), all.toUtf8());
    }
}

// The numbers that rows carry: today's reading passes each row's number in
// its tag, and a row whose bytes hold no number as a Data row; the classic
// one passes code 0 and tag -1.
TEST(Walks, RowsCarryTheirNumbers)
{
    const auto bits = [](double value) {
        qint64 b;
        std::memcpy(&b, &value, sizeof b);
        return b;
    };
    const quint64 above = 0x8000000000000001ULL, eightOnes = (quint64(1) << 56) - 1;
    const struct
    {
        const char *what;
        QByteArray input;
        const char *row; // the first row of this name in the walk (classic|modern)
        RowKind kind;    // Unsaid: there is none
        qint64 tag;
    } cases[] = {
        {"negative signed integer", el(ReferenceBlock, bytes({0xFF})), "value", RowKind::Value, -1},
        {"unsigned above 2^63", el(Id::TrackUid, uintN(above, 8)), "value", RowKind::Value,
         qint64(above)},
        {"4-byte float", el(Duration, bytes({0x3F, 0xC0, 0, 0})), "value", RowKind::Value,
         bits(1.5)},
        {"8-byte float", el(TrackTimecodeScale, f64(-0.25)), "value", RowKind::Value, bits(-0.25)},
        {"date", el(DateUTC, uintN(quint64(-7), 8)), "value", RowKind::Value, -7},
        {"unknown size", id(Cluster) + bytes({0xFF}), "size", RowKind::Size, 0x7F},
        {"unknown 8-byte size", header(Segment, eightOnes, 8), "size", RowKind::Size,
         qint64(eightOnes)},
        {"timecode below 0", el(SimpleBlock, bytes({0x81, 0xFF, 0xF6, 0x80})), "Timecode|Timestamp",
         RowKind::Timecode, -10},
        {"flags", el(SimpleBlock, bytes({0x81, 0, 0, 0x89})), "Flags", RowKind::Flags, 0x89},
        {"9-byte integer", el(TrackNumber, QByteArray(9, 1)), "value", RowKind::Unsaid, -1},
        {"integer cut by the end", header(TrackNumber, 2) + "\x01", "value", RowKind::Data, -1},
        {"timecode cut by the end", header(SimpleBlock, 4) + bytes({0x81, 0}), "Timecode|Timestamp",
         RowKind::Data, -1},
    };
    for (const auto &c : cases) {
        for (bool modern : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (modern ? ", modern" : ", classic"));
            Probe p;
            p.modernMatroska = modern;
            walkChecked(p, c.input);
            const QString name
                = QString::fromLatin1(c.row).section('|', modern ? -1 : 0, modern ? -1 : 0);
            const ElementRow *row = nullptr;
            forEachNode(p.tree.roots, [&](const ElementNode &n) { row = row ? row : n.row(name); });
            ASSERT_EQ(row != nullptr, c.kind != RowKind::Unsaid);
            if (row) {
                EXPECT_EQ(rowKind(row->code), modern ? c.kind : RowKind::Unsaid);
                EXPECT_EQ(row->tag, modern ? c.tag : -1);
            }
        }
    }
}
