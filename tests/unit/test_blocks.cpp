// Block and SimpleBlock headers, their rows, and frames of video tracks.

#include "ebml.h"
#include "probe.h"

using namespace ebml;

namespace {

constexpr quint64 kAt = 5; // where the block payload starts in the input

// parseBlock called directly on a payload; the rows are in the last root.
const ElementNode &blockAt(Probe &p, const QByteArray &payload, int *status = nullptr)
{
    p.load(QByteArray(int(kAt), '\x77') + payload + QByteArray(4, '\x88'));
    p.device.requested = 0;
    const int s = p.call(&Probe::parseBlock, Probe::Binary, kAt, quint64(payload.size()));
    if (status)
        *status = s;
    return p.tree.roots.back();
}

TEST(BlockHeader, Rows)
{
    // Only the header is read, never the data; track 1 is no known video
    // track, so there is no frame.
    const struct
    {
        QByteArray payload;
        const char *rows;
    } cases[] = {
        {bytes({0x81, 0x00, 0x00, 0x80}) + QByteArray(100, '\xAA'),
         "t@0+0[TrackNumber@5+1=1 Timecode@6+2=0 Flags@8+1=-128(Keyframe. ) data@9+100=]"},
        // A two-byte track number moves the other fields.
        {bytes({0x40, 0x02, 0x00, 0x10, 0x00, 0x01, 0x02}),
         "t@0+0[TrackNumber@5+2=2 Timecode@7+2=16 Flags@9+1=0 data@10+2=]"},
    };
    for (const auto &c : cases) {
        Probe p;
        int status = -1;
        EXPECT_EQ(outline(blockAt(p, c.payload, &status)), c.rows);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(p.tree.frames.isEmpty());
        EXPECT_LE(p.device.requested, 6u) << "the data is never read";
    }
}

TEST(BlockHeader, SignedTimecodeAndFlags)
{
    // Timecode row, then flags row as value(meaning), of a track-1 header.
    const std::pair<QByteArray, const char *> cases[] = {
        {bytes({0xFF, 0xD8, 0x88}), "-40 -120(Keyframe. Invisible. )"},
        {bytes({0x7F, 0xFF, 0x02}), "32767 2(Xiph lacing. )"},
        {bytes({0x80, 0x00, 0x04}), "-32768 4(Fixed-size lacing. )"},
        {bytes({0x01, 0x02, 0x06}), "258 6(EBML lacing. )"},
        {bytes({0x00, 0x00, 0x01}), "0 1(Discardable.)"},
        {bytes({0x00, 0x00, 0x83}), "0 -125(Keyframe. Xiph lacing. Discardable.)"},
        {bytes({0x00, 0x00, 0x70}), "0 112()"}, // reserved bits only
    };
    for (const auto &[header, expected] : cases) {
        Probe p;
        const QVector<ElementRow> &rows = blockAt(p, bytes({0x81}) + header).rows;
        EXPECT_EQ(rows[1].value + ' ' + rows[2].value + '(' + rows[2].meaning + ')', expected);
    }
}

// A walk's frames as "stream.number+size", K marking keyframes, and whether
// each lies on the data row of a block.
QString framesOf(const Probe &p)
{
    QStringList parts;
    for (const FrameRecord &f : p.tree.frames) {
        bool onData = false;
        forEachNode(p.tree.roots, [&](const ElementNode &n) {
            const ElementRow *data = n.row(QStringLiteral("data"));
            onData |= data && data->offset == f.offset && data->length == f.size;
        });
        parts << QString("%1.%2%3+%4%5")
                     .arg(f.stream)
                     .arg(f.number)
                     .arg(f.keyframe ? "K" : "")
                     .arg(f.size)
                     .arg(onData ? "" : "(off its data)");
    }
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
            many[k].prepend(QString("%1.%2K+1").arg(i).arg(k));
    }
    // A number registered again takes another place in the list each time,
    // and a track's stream is the place of its first registration.
    QByteArray repeated = uel(TrackNumber, 2);
    for (int i = 0; i < 3000; ++i)
        repeated += uel(TrackType, 1);
    repeated += uel(TrackNumber, 1) + uel(TrackType, 1);
    const QByteArray group = el(BlockGroup,
                                el(Block, bytes({0x81, 0xFF, 0xF6, 0x00}) + QByteArray(30, 'b'))
                                    + el(ReferenceBlock, bytes({0xF6})));
    const struct
    {
        QByteArray file;
        bool counters;
        int places;
        QString frames;
    } cases[] = {
        // Tracks 1 and 2 are video, 3 audio; track 7 is not declared.
        {tracks({{1, 1}, {2, 1}, {3, 2}})
             + el(Cluster,
                  simpleBlock(1, 0x80, 10) + simpleBlock(1, 0x00, 11) + simpleBlock(2, 0x80, 12)
                      + simpleBlock(3, 0x80, 13) + simpleBlock(7, 0x80, 14)
                      + simpleBlock(1, 0x00, 15)),
         true, 2, "0.0K+10 0.1+11 1.0K+12 0.2+15"},
        // A Block in a BlockGroup is a frame alike.
        {tracks({{1, 1}}) + el(Cluster, group + group), true, 1, "0.0+30 0.1+30"},
        {el(Tracks, entries) + el(Cluster, round + round), true, count,
         many[0].join(' ') + ' ' + many[1].join(' ')},
        {el(Tracks, el(TrackEntry, repeated))
             + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(2, 0) + simpleBlock(1, 0)),
         true, 3002, "3000.0K+1 0.0+1 3000.1+1"},
        // A host that hands over no frame counters gets every frame numbered 0.
        {tracks({{1, 1}, {2, 1}})
             + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(2, 0) + simpleBlock(2, 0)),
         false, 2, "0.0K+1 1.0+1 1.0+1"},
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
    // ReferenceBlock is signed.
    Probe p;
    p.walkAll(el(Segment, tracks({{1, 1}}) + el(Cluster, group)));
    EXPECT_EQ(valueOf(p.tree.roots, "ReferenceBlock"), "-10");
}

} // namespace
