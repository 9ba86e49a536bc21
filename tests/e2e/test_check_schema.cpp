// SPDX-License-Identifier: MIT
// --check, the schema's group: one fault planted in a copy of a real sample
// per case, and the one check of the group that must tell it, at its place.
#include "check_support.h"
#include "ebmldecoder.h"

#include <gtest/gtest.h>

namespace {

const QStringList SchemaCheckIds
    = QStringLiteral("ebml-header doctype-version id-length size-length "
                     "unknown-element invalid-parent missing-element too-many "
                     "unknown-size value-range value-length bad-number bad-text "
                     "deprecated webm")
          .split(' ');

QStringList schemaChecks(const checks::Result &r)
{
    QStringList ids = r.checks();
    ids.removeIf([](const QString &id) { return !SchemaCheckIds.contains(id); });
    return ids;
}

qsizetype at(const QByteArray &bytes, const char *pattern, qsizetype length, qsizetype from = 0)
{
    return bytes.indexOf(QByteArray(pattern, length), from);
}

// Sets a size field to the unknown size of the same length.
void makeUnknown(QByteArray &bytes, qsizetype sizeField)
{
    const int length = EbmlDecoder::length(uchar(bytes[sizeField]));
    bytes[sizeField] = char(0xFF >> (length - 1));
    for (int i = 1; i < length; ++i)
        bytes[sizeField + i] = char(0xFF);
}

struct Fault
{
    const char *what;
    const char *sample;
    const char *check;
    // Plants the fault; gives the offset of the finding, or -1 when only
    // the check and the path suffix are held against it.
    std::function<qsizetype(QByteArray &)> edit;
    const char *pathEnd = "";
    const char *inMessage = "";
};

} // namespace

TEST(CheckSchema, PlantedFaults)
{
    const Fault faults[] = {
        {"DocTypeVersion 1 under DocTypeReadVersion 2", "h264-aac.mkv", "doctype-version",
         [](QByteArray &b) {
             b[at(b, "\x42\x87\x81", 3) + 3] = 1;
             return at(b, "\x42\x85\x81", 3);
         },
         "/EBML/DocTypeReadVersion", "above DocTypeVersion 1"},
        {"EBMLMaxSizeLength 4 with 8-byte sizes", "h264-aac.mkv", "size-length",
         [](QByteArray &b) {
             b[at(b, "\x42\xF3\x81", 3) + 3] = 4;
             return at(b, "\x18\x53\x80\x67", 4);
         },
         "/Segment", "8 bytes"},
        {"Title turned into a track's Name", "vp9-opus.webm", "invalid-parent",
         [](QByteArray &b) {
             const qsizetype title = at(b, "\x7B\xA9", 2);
             b[title] = char(0x53);
             b[title + 1] = char(0x6E);
             return title;
         },
         "", "TrackEntry"},
        {"CodecID turned into a Void", "h264-aac.mkv", "missing-element",
         [](QByteArray &b) {
             b[at(b, "\x86\x8FV_MPEG4", 4)] = char(0xEC);
             return qsizetype(-1);
         },
         "/Segment/Tracks/TrackEntry", "CodecID"},
        {"FlagLacing 5", "vp9-opus.webm", "value-range",
         [](QByteArray &b) {
             const qsizetype flag = at(b, "\x9C\x81\x00", 3, at(b, "\x16\x54\xAE\x6B", 4));
             b[flag + 2] = 5;
             return flag;
         },
         "", "5"},
        {"Void with an ID of no schema", "vp9-opus.webm", "unknown-element",
         [](QByteArray &b) {
             const qsizetype voidAt = at(b, "\xEC", 1, at(b, "\x11\x4D\x9B\x74", 4));
             b[voidAt] = char(0x81);
             return voidAt;
         },
         "", "0x81"},
        {"V_VP6 in WebM", "vp9-opus.webm", "webm",
         [](QByteArray &b) {
             const qsizetype codec = at(b, "V_VP9", 5);
             b[codec + 4] = '6';
             return codec - 2;
         },
         "/CodecID", "V_VP6"},
        {"Tracks of unknown size", "laced-audio.mkv", "unknown-size",
         [](QByteArray &b) {
             // the second: the first is a SeekID's value
             const qsizetype tracks = checks::find(b, QByteArray("\x16\x54\xAE\x6B", 4), 1);
             makeUnknown(b, tracks + 4);
             return tracks;
         },
         "/Segment/Tracks", "Tracks"},
        {"invalid UTF-8 in WritingApp", "laced-audio.mkv", "bad-text",
         [](QByteArray &b) {
             b[at(b, "mkvmerge v", 10) + 8] = char(0xC3); // a lead byte before an ASCII one
             return at(b, "\x57\x41", 2);
         },
         "/WritingApp", "UTF-8"},
        {"DateUTC turned into a second Duration", "vp9-opus.webm", "too-many",
         [](QByteArray &b) {
             const qsizetype date = at(b, "\x44\x61\x88", 3);
             b[date + 1] = char(0x89);
             return at(b, "\x44\x89\x88", 3, date + 1);
         },
         "/Duration[2]", "at most 1"},
        {"a 4-byte SegmentFamily", "laced-audio.mkv", "value-length",
         [](QByteArray &b) {
             const qsizetype duration = at(b, "\x44\x89\x84", 3);
             b[duration + 1] = char(0x44);
             return duration;
         },
         "", "16"},
        {"CodecPrivate turned into a 49-byte CodecDelay", "h264-aac.mkv", "bad-number",
         [](QByteArray &b) {
             const qsizetype codecPrivate = at(b, "\x63\xA2\xB1", 3);
             b[codecPrivate] = char(0x56);
             b[codecPrivate + 1] = char(0xAA);
             return codecPrivate;
         },
         "/CodecDelay", "49 bytes"},
        {"FlagLacing turned into CodecDecodeAll", "laced-audio.mkv", "deprecated",
         [](QByteArray &b) {
             const qsizetype flag = at(b, "\x9C\x81\x00", 3, at(b, "V_MPEG4", 7) - 40);
             b[flag] = char(0xAA);
             return flag;
         },
         "", "CodecDecodeAll"},
        {"a control character in Language", "laced-audio.mkv", "bad-text",
         [](QByteArray &b) {
             const qsizetype language = at(b, "\x22\xB5\x9C\x83und", 7);
             b[language + 5] = 1;
             return language;
         },
         "/Language", "ASCII"},
    };
    QTemporaryDir dir;
    for (const Fault &fault : faults) {
        SCOPED_TRACE(fault.what);
        qsizetype offset = -1;
        const QString path = checks::plant(dir, QLatin1String(fault.sample),
                                           [&](QByteArray &b) { offset = fault.edit(b); });
        const checks::Result r = checks::check(path);
        EXPECT_EQ(schemaChecks(r), QStringList(QLatin1String(fault.check))) << r.out.constData();
        const std::vector<checks::Found> found = r.of(QLatin1String(fault.check));
        ASSERT_FALSE(found.empty());
        const checks::Found &f = found.front();
        if (offset >= 0) {
            EXPECT_EQ(f.offset, quint64(offset));
        }
        EXPECT_TRUE(f.path.endsWith(QLatin1String(fault.pathEnd))) << f.path.toStdString();
        EXPECT_TRUE(f.message.contains(QLatin1String(fault.inMessage))) << f.message.toStdString();
        const bool warning = fault.check == QByteArray("unknown-element")
            || fault.check == QByteArray("deprecated");
        EXPECT_EQ(f.severity, QLatin1String(warning ? "warning" : "error"));
        if (!warning) {
            EXPECT_NE(r.exitCode, 0);
        }
    }
}

// The files that independent muxers wrote have nothing the schema's group
// would tell, warnings included.
TEST(CheckSchema, CleanSamplesHaveNoSchemaFindings)
{
    for (const QString &name : e2e::sampleNames()) {
        SCOPED_TRACE(name.toStdString());
        const checks::Result r = checks::check(e2e::samplePath(name));
        EXPECT_EQ(schemaChecks(r), QStringList()) << r.out.constData();
    }
}
