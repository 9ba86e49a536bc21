// Track entries: registration of track numbers and types for the block
// parser, and the rows of track settings.

#include "ebml.h"
#include "probe.h"

using namespace ebml;

namespace {

TEST(TrackRegistration, PairsOfNumberAndTypeWithinAnEntry)
{
    using Types = QHash<quint64, quint64>;
    // The payloads of the TrackEntry elements, and the tables they make.
    const struct
    {
        QList<QByteArray> entries;
        Types types;
        QVector<quint64> video;
    } cases[] = {
        {{uel(TrackType, 1) + uel(TrackNumber, 5)}, {{5, 1}}, {5}},
        {{uel(TrackNumber, 9) + uel(TrackType, 2)}, {{9, 2}}, {}},
        // A repeated type registers again.
        {{uel(TrackNumber, 3) + uel(TrackType, 1) + uel(TrackType, 1)}, {{3, 1}}, {3, 3}},
        // Entries do not mix, and half entries do not carry over.
        {{uel(TrackNumber, 1) + uel(TrackType, 2), uel(TrackType, 1) + uel(TrackNumber, 2)},
         {{1, 2}, {2, 1}},
         {2}},
        {{uel(TrackType, 1), uel(TrackNumber, 7)}, {}, {}},
        {{uel(TrackNumber, 7), uel(TrackType, 1)}, {}, {}},
        // Number 0 and type 0 are no track; a later type 0 changes nothing.
        {{uel(TrackType, 1) + uel(TrackNumber, 0)}, {}, {}},
        {{uel(TrackNumber, 0) + uel(TrackType, 1)}, {}, {}},
        {{uel(TrackNumber, 4) + uel(TrackType, 1) + uel(TrackType, 0)}, {{4, 1}}, {4}},
    };
    for (const auto &c : cases) {
        QByteArray payload;
        for (const QByteArray &e : c.entries)
            payload += el(TrackEntry, e);
        SCOPED_TRACE(payload.toHex().toStdString());
        Probe p;
        p.walkAll(el(Tracks, payload));
        EXPECT_EQ(p.trackTypes, c.types);
        EXPECT_EQ(p.videoTracks, c.video);
    }

    // Several Tracks masters add up.
    Probe p;
    p.walkAll(tracks({{1, 1}}) + tracks({{2, 1}, {3, 17}}));
    EXPECT_EQ(p.trackTypes, (Types {{1, 1}, {2, 1}, {3, 17}}));
    EXPECT_EQ(p.videoTracks, (QVector<quint64> {1, 2}));
}

// Track types and display units have names; values past the named ones, also
// those that differ from one only above 32 bits, are unknown.
TEST(TrackSettingRows, ValuesAndMeanings)
{
    QByteArray entry;
    for (quint64 type : {1ULL, 2ULL, 3ULL, 16ULL, 17ULL, 18ULL, 32ULL, 0ULL, 19ULL, 4294967297ULL})
        entry += uel(TrackType, type);
    for (quint64 unit : {0, 1, 2, 3})
        entry += uel(DisplayUnit, unit);
    entry += el(DisplayUnit, QByteArray(8, '\xFF')) + uel(PixelWidth, 1920)
        + el(DefaultDuration, bytes({0x00, 0xFE, 0x50, 0x2A}))
        + el(TrackTimecodeScale, bytes({0x3F, 0x80, 0x00, 0x00}))
        + el(CodecID, QByteArray("V_VP8\0\0\0", 8));
    Probe p;
    p.walkAll(el(TrackEntry, entry));
    EXPECT_EQ(values(p.tree.roots),
              "TrackType=1(video) TrackType=2(audio) TrackType=3(complex) TrackType=16(logo) "
              "TrackType=17(subtitle) TrackType=18(buttons) TrackType=32(control) "
              "TrackType=0(unknown) TrackType=19(unknown) TrackType=4294967297(unknown) "
              "DisplayUnit=0(pixels) DisplayUnit=1(centimeters) DisplayUnit=2(inches) "
              "DisplayUnit=3(unknown) DisplayUnit=18446744073709551615(unknown) "
              "PixelWidth=1920 DefaultDuration=16666666 TrackTimecodeScale=1 CodecID=V_VP8");
}

} // namespace
