// SPDX-License-Identifier: MIT
// --check on what a player needs to set up a file, and --profile mse: one
// fault planted in a copy of a sample per case, found by its check at its
// place.
#include "check_support.h"

#include <QtEndian>

#include <gtest/gtest.h>

namespace {

struct Fault
{
    const char *name, *sample;
    QByteArray from, to; // the first occurrence of from becomes to
    QByteArray at;       // the finding's offset: that of at in the planted copy
    const char *check, *severity, *path, *says;
};

QByteArray f64(double value)
{
    QByteArray bytes(8, 0);
    qToBigEndian(value, bytes.data());
    return bytes;
}

} // namespace

TEST(CheckSetup, PlantedFaults)
{
    using B = QByteArray;
    // clip.webm, as ffmpeg writes it: TrackEntry 2 is Vorbis; Tags target
    // track UIDs 1 and 2; Duration 1003; its first video block, of track 1
    // and time 3, then an audio block of time 15.
    const B vorbisEntry("\xAE\x01\0\0\0\0\0\x0D\xC9", 9), avcEntry("\xAE\x01\0\0\0\0\0\0\x89", 9);
    const B duration = "\x44\x89\x88" + f64(1003);
    // clang-format off
    const std::vector<Fault> faults = {
        {"EBMLReadVersion 2", "h264-aac.mkv", B("\x42\xF7\x81\x01"), B("\x42\xF7\x81\x02"), B("\x42\xF7"), "ebml-header", "error", "/EBML/EBMLReadVersion", "version 1 only"},
        {"EBMLMaxSizeLength 9", "h264-aac.mkv", B("\x42\xF3\x81\x08"), B("\x42\xF3\x81\x09"), B("\x42\xF3"), "ebml-header", "error", "/EBML/EBMLMaxSizeLength", "at most 8"},
        {"PixelWidth 0", "clip.webm", B("\xB0\x81\xA0"), B("\xB0\x81\x00", 3), B("\xB0\x81\x00", 3), "track-settings", "error", "/Segment/Tracks/TrackEntry/Video/PixelWidth", "PixelWidth 0"},
        {"avcC version 0", "h264-aac.mkv", B("\x63\xA2\xB1\x01"), B("\x63\xA2\xB1\x00", 4), avcEntry, "codec-private", "error", "/Segment/Tracks/TrackEntry", "configurationVersion 0"},
        {"Vorbis identification header of type 5", "clip.webm", B("\x01vorbis"), B("\x05vorbis"), vorbisEntry, "codec-private", "error", "/Segment/Tracks/TrackEntry[2]", "identification header"},
        {"TagTrackUID 7", "clip.webm", B("\x63\xC5\x88\0\0\0\0\0\0\0\x02", 11), B("\x63\xC5\x88\0\0\0\0\0\0\0\x07", 11), B("\x63\xC5\x88\0\0\0\0\0\0\0\x07", 11), "uid-reference", "error", "/Segment/Tags/Tag[2]/Targets/TagTrackUID", "TagTrackUID 7"},
        {"Duration 5 s", "clip.webm", duration, "\x44\x89\x88" + f64(5000), B("\x44\x89\x88"), "duration", "warning", "/Segment/Info/Duration", "3.997 s away"},
        {"Tracks renamed Tags", "clip.webm", B("\x16\x54\xAE\x6B\x4E"), B("\x12\x54\xC3\x67\x4E"), B("\x1F\x43\xB6\x75"), "mse-init", "error", "/Segment/Cluster", "before the Tracks"},
        {"an audio block back to 0", "clip.webm", B("\x82\0\x0F\x80", 4), B("\x82\0\0\x80", 4), B("\xA3\xA6\x82\0\0\x80", 6), "mse-media", "warning", "/Segment/Cluster/SimpleBlock[4]", "below 3"},
        {"first video block no keyframe", "clip.webm", B("\x81\0\x03\x80", 4), B("\x81\0\x03\0", 4), B("\xA3\x4F\xFD\x81", 4), "mse-random-access", "error", "/Segment/Cluster/SimpleBlock[2]", "no keyframe"},
    };
    // clang-format on
    const QTemporaryDir dir;
    for (const Fault &fault : faults) {
        SCOPED_TRACE(fault.name);
        qsizetype at = -1;
        const QString path = checks::plant(
            dir, QString::fromLatin1(fault.sample),
            [&](B &b) {
                const qsizetype from = b.indexOf(fault.from);
                ASSERT_GE(from, 0);
                b.replace(from, fault.from.size(), fault.to);
                at = b.indexOf(fault.at);
            },
            QStringLiteral("%1-%2").arg(&fault - faults.data()).arg(fault.sample));
        const checks::Result r = checks::check(path, {"--profile", "mse"});
        const auto found = r.of(QString::fromLatin1(fault.check));
        ASSERT_FALSE(found.empty()) << r.out.constData();
        EXPECT_EQ(found.front().offset, quint64(at)) << r.out.constData();
        EXPECT_EQ(found.front().severity, QLatin1String(fault.severity));
        EXPECT_EQ(found.front().path, QLatin1String(fault.path));
        EXPECT_TRUE(found.front().message.contains(QLatin1String(fault.says)))
            << found.front().message.toStdString();
        EXPECT_TRUE(r.of("value-range").empty()) << r.out.constData();
        EXPECT_EQ(r.exitCode, r.errors > 0 ? 1 : 0);
    }
}

// ffmpeg's and mkvmerge's ordinary WebM plays through Media Source
// Extensions: no error under the profile.
TEST(CheckSetup, MseProfileTakesOrdinaryWebM)
{
    const QTemporaryDir dir;
    const QString ffmpeg = dir.filePath("ffmpeg.webm"), mkvmerge = dir.filePath("mkvmerge.webm");
    ASSERT_EQ(e2e::runTool("ffmpeg",
                           {"-hide_banner", "-loglevel", "error", "-nostdin", "-f", "lavfi", "-i",
                            "testsrc2=size=64x48:rate=10:duration=1", "-f", "lavfi", "-i",
                            "sine=sample_rate=48000:duration=1", "-c:v", "libvpx-vp9", "-c:a",
                            "libopus", ffmpeg})
                  .exitCode,
              0);
    ASSERT_LE(e2e::runTool("mkvmerge", {"-q", "--webm", "-o", mkvmerge, ffmpeg}).exitCode, 1);
    for (const QString &file : {ffmpeg, mkvmerge}) {
        const checks::Result r = checks::check(file, {"--profile", "mse"});
        EXPECT_EQ(r.errors, 0) << r.out.constData();
        EXPECT_EQ(r.exitCode, 0);
    }
    const e2e::ToolResult unknown = e2e::inspect({"--check", "--profile", "mse,live", ffmpeg});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("no profile 'live'; the profiles are mse"));
    EXPECT_EQ(e2e::inspect({"--profile", "mse", ffmpeg}).exitCode, 2) << "without --check";
}
