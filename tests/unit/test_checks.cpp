// SPDX-License-Identifier: MIT
// The check groups over small files built in memory: each case, the
// findings that --check must give, as "check@offset".

#include "checkrun.h"
#include "ebml.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ebml;

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
    // Where the Segment's payload starts, and so its first child.
    int segmentData() const { return header.size() + 4 + size(quint64(segment().size())).size(); }
};

struct Case
{
    const char *name;
    Parts parts;
    const char *check;    // the check the case is about
    QStringList expected; // its findings, "check@offset"
};

Parts with(std::function<void(Parts &)> edit)
{
    Parts p;
    edit(p);
    return p;
}

TEST(Checks, ACleanFileHasNoFinding)
{
    const checkrun::Findings f = checkrun::run(Parts().bytes());
    EXPECT_EQ(f.at().join(' ').toStdString(), "");
}

TEST(Checks, StreamChecksFindTheirFaults)
{
    const Parts plain;
    // The first block's offset, in a Cluster right after Info and Tracks.
    const int cluster = plain.segmentData() + plain.info.size() + plain.tracks.size();
    const int block = cluster + 5 + 3; // past the Cluster's header and Timestamp
    const Case cases[] = {
        {"a block of no track",
         with([](Parts &p) { p.clusters = el(Cluster, uel(Timecode, 0) + simpleBlock(2, 0x80)); }),
         "block-track",
         {QStringLiteral("block-track@%1").arg(block)}},
        {"two tracks of one number",
         with([](Parts &p) {
             p.tracks
                 = el(Tracks,
                      Parts::track(1, 1, "V_UNCOMPRESSED") + Parts::track(1, 1, "V_UNCOMPRESSED"));
         }),
         "tracks-duplicate",
         {}},
    };
    for (const Case &c : cases) {
        const checkrun::Findings f = checkrun::run(c.parts.bytes());
        if (c.expected.isEmpty())
            EXPECT_FALSE(f.of(c.check).empty()) << c.name;
        else
            EXPECT_EQ(f.at(c.check), c.expected)
                << c.name << ": " << f.at().join(' ').toStdString();
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
    const QByteArray otherTracks = el(Tracks, Parts::track(1, 1, "V_MPEG4/ISO/AVC"));
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
             p.tracks = el(Tracks, Parts::track(1, 2, "A_PCM/INT/LIT"));
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
                          Parts::track(1, 1, "V_UNCOMPRESSED", uel(Id::FlagLacing, quint64(flag))));
            p.clusters = cluster(0, laced(0) + laced(1));
        });
    };
    const QByteArray second = Parts::track(2, 1, "V_UNCOMPRESSED");
    expectPlanted({
        {"laced blocks of a track that may be laced", lacing(1), nullptr, {}},
        {"laced blocks of a track that may not", lacing(0), "lacing-flag", laced(0),
         "2 laced blocks of track 1"},
        {"a track without blocks", with([&](Parts &p) {
             p.tracks = el(Tracks, Parts::track(1, 1, "V_UNCOMPRESSED") + second);
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
