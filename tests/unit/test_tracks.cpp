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
        const char *what;
        QList<QByteArray> entries;
        Types types;
        QVector<quint64> video;
    } cases[] = {
        {"type, then number", {uel(TrackType, 1) + uel(TrackNumber, 5)}, {{5, 1}}, {5}},
        {"number, then type", {uel(TrackNumber, 9) + uel(TrackType, 2)}, {{9, 2}}, {}},
        {"a repeated type registers again",
         {uel(TrackNumber, 3) + uel(TrackType, 1) + uel(TrackType, 1)},
         {{3, 1}},
         {3, 3}},
        {"entries do not mix",
         {uel(TrackNumber, 1) + uel(TrackType, 2), uel(TrackType, 1) + uel(TrackNumber, 2)},
         {{1, 2}, {2, 1}},
         {2}},
        {"half entries do not carry over", {uel(TrackType, 1), uel(TrackNumber, 7)}, {}, {}},
        {"half entries do not carry over", {uel(TrackNumber, 7), uel(TrackType, 1)}, {}, {}},
        {"number 0", {uel(TrackType, 1) + uel(TrackNumber, 0)}, {}, {}},
        {"number 0", {uel(TrackNumber, 0) + uel(TrackType, 1)}, {}, {}},
        {"type 0", {uel(TrackNumber, 4) + uel(TrackType, 0)}, {}, {}},
        {"a later type 0 is not registered",
         {uel(TrackNumber, 4) + uel(TrackType, 1) + uel(TrackType, 0)},
         {{4, 1}},
         {4}},
        {"an overlong number",
         {uel(TrackType, 1) + el(TrackNumber, QByteArray(9, '\x02'))},
         {},
         {}},
        {"an overlong type", {uel(TrackNumber, 3) + el(TrackType, QByteArray(9, '\0'))}, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray payload;
        for (const QByteArray &e : c.entries)
            payload += el(TrackEntry, e);
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

TEST(TrackSettingRows, ValuesAndMeanings)
{
    QByteArray priv;
    for (int i = 0; i < 100; ++i)
        priv.append(char(0xF0 + i % 16));
    // value null: no value row.
    const struct
    {
        QByteArray element;
        const char *value, *meaning;
        int status;
    } cases[] = {
        {uel(TrackNumber, 255), "255", "", 0},
        {uel(TrackType, 1), "1", "video", 0},
        {uel(TrackType, 2), "2", "audio", 0},
        {uel(TrackType, 3), "3", "complex", 0},
        {uel(TrackType, 16), "16", "logo", 0},
        {uel(TrackType, 17), "17", "subtitle", 0},
        {uel(TrackType, 18), "18", "buttons", 0},
        {uel(TrackType, 32), "32", "control", 0},
        {uel(TrackType, 0), "0", "unknown", 0},
        {uel(TrackType, 19), "19", "unknown", 0},
        {uel(TrackType, 4294967297ULL), "4294967297", "unknown", 0},
        {uel(DisplayUnit, 0), "0", "pixels", 0},
        {uel(DisplayUnit, 1), "1", "centimeters", 0},
        {uel(DisplayUnit, 2), "2", "inches", 0},
        {uel(DisplayUnit, 3), "3", "unknown", 0},
        {el(DisplayUnit, QByteArray(8, '\xFF')), "18446744073709551615", "unknown", 0},
        {uel(PixelWidth, 1920), "1920", "", 0},
        {uel(PixelHeight, 1080), "1080", "", 0},
        {el(DefaultDuration, bytes({0x00, 0xFE, 0x50, 0x2A})), "16666666", "", 0},
        {el(TrackTimecodeScale, bytes({0x3F, 0x80, 0x00, 0x00})), "1", "", 0},
        {el(TrackTimecodeScale, bytes({0x3F, 0x80})), nullptr, "", Probe::StatusLengthRefused},
        {el(CodecID, QByteArray("V_VP8\0\0\0", 8)), "V_VP8", "", 0},
        // binaryLimit (16) bytes of the private data.
        {el(CodecPrivate, priv), "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff", "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.element.toHex().left(40).toStdString());
        Probe p;
        p.numberBase = 16; // for the size rows only
        p.load(c.element);
        EXPECT_EQ(p.walkAt(0), c.status);
        const ElementRow *row = p.root().row("value");
        if (!c.value) {
            EXPECT_EQ(row, nullptr);
            continue;
        }
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->value, c.value);
        EXPECT_EQ(row->meaning, c.meaning);
        EXPECT_EQ(row->offset + row->length, quint64(c.element.size()));
    }
}

} // namespace
