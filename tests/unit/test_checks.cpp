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
