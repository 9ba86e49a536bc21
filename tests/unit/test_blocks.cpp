// Frames of video tracks where the golden walks would be too long to read:
// hundreds of streams, a track registered thousands of times, and a host that
// hands over no frame counters.

#include "ebml.h"
#include "probe.h"

using namespace ebml;

namespace {

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
