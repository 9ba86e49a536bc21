// Track entries: registration of track numbers and types for the block
// parser, and the track settings shown with names or numbers.

#include "ebml.h"
#include "probe.h"

#include <gtest/gtest.h>

using namespace ebml;

namespace {

using TypeMap = QHash<quint64, quint64>;

// Walks one Tracks master made of the given entry payloads.
void walkTracks(Probe &p, std::initializer_list<QByteArray> entries)
{
    QByteArray payload;
    for (const QByteArray &e : entries)
        payload += el(TrackEntry, e);
    p.load(el(Tracks, payload));
    EXPECT_EQ(p.walkAt(0), 0);
}

TEST(TrackRegistration, TypeAndNumberInEitherOrder)
{
    Probe p;
    walkTracks(p, {uel(TrackType, 1) + uel(TrackNumber, 5)});
    EXPECT_EQ(p.trackTypes, (TypeMap{{5, 1}}));
    EXPECT_EQ(p.videoTracks, QVector<quint64>{5});

    Probe q;
    walkTracks(q, {uel(TrackNumber, 9) + uel(TrackType, 2)});
    EXPECT_EQ(q.trackTypes, (TypeMap{{9, 2}}));
    EXPECT_TRUE(q.videoTracks.isEmpty());
}

TEST(TrackRegistration, RepeatedTypeRegistersAgain)
{
    Probe p;
    walkTracks(p, {uel(TrackNumber, 3) + uel(TrackType, 1) + uel(TrackType, 1)});
    EXPECT_EQ(p.trackTypes, (TypeMap{{3, 1}}));
    EXPECT_EQ(p.videoTracks, (QVector<quint64>{3, 3}));
}

TEST(TrackRegistration, EntriesDoNotMix)
{
    Probe p;
    walkTracks(p, {uel(TrackNumber, 1) + uel(TrackType, 2),
                   uel(TrackType, 1) + uel(TrackNumber, 2)});
    EXPECT_EQ(p.trackTypes, (TypeMap{{1, 2}, {2, 1}}));
    EXPECT_EQ(p.videoTracks, QVector<quint64>{2});
}

TEST(TrackRegistration, HalfAnEntryRegistersNothingAndDoesNotCarryOver)
{
    Probe p;
    // A type without a number, then a number without a type.
    walkTracks(p, {uel(TrackType, 1), uel(TrackNumber, 7)});
    EXPECT_TRUE(p.trackTypes.isEmpty());
    EXPECT_TRUE(p.videoTracks.isEmpty());

    Probe q;
    walkTracks(q, {uel(TrackNumber, 7), uel(TrackType, 1)});
    EXPECT_TRUE(q.trackTypes.isEmpty());
    EXPECT_TRUE(q.videoTracks.isEmpty());
}

TEST(TrackRegistration, SeveralTracksMastersAddUp)
{
    Probe p;
    p.walkAll(tracks({{1, 1}}) + tracks({{2, 1}, {3, 17}}));
    EXPECT_EQ(p.trackTypes, (TypeMap{{1, 1}, {2, 1}, {3, 17}}));
    EXPECT_EQ(p.videoTracks, (QVector<quint64>{1, 2}));
}

TEST(TrackTypeRow, NamesTheKnownTypes)
{
    const std::pair<quint64, const char *> cases[] = {
        {1, "video"},     {2, "audio"},      {3, "complex"},   {16, "logo"},
        {17, "subtitle"}, {18, "buttons"},   {32, "control"},  {0, "unknown"},
        {4, "unknown"},   {19, "unknown"},   {33, "unknown"},  {4294967297ULL, "unknown"},
    };
    for (const auto &c : cases) {
        Probe p;
        walkTracks(p, {uel(TrackNumber, 1) + uel(TrackType, c.first)});
        const ElementNode *n = findNode(p.tree.roots, "TrackType");
        ASSERT_NE(n, nullptr);
        const ElementRow *row = n->row("value");
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->value, QString::number(c.first)) << c.first;
        EXPECT_EQ(row->meaning, c.second) << c.first;
    }
}

// Walks one element inside Video and returns its node.
const ElementNode &videoSetting(Probe &p, const QByteArray &element, int expectedStatus = 0)
{
    p.load(element);
    EXPECT_EQ(p.walkAt(0), expectedStatus);
    return p.tree.roots.back();
}

TEST(DisplayUnitRow, NamesTheUnits)
{
    const std::tuple<QByteArray, const char *, const char *> cases[] = {
        {uinteger(0), "0", "pixels"},
        {uinteger(1), "1", "centimeters"},
        {uinteger(2), "2", "inches"},
        {uinteger(3), "3", "unknown"},
        {uinteger(4), "4", "unknown"},
        {QByteArray(8, '\xFF'), "18446744073709551615", "unknown"},
    };
    for (const auto &c : cases) {
        Probe p;
        const ElementNode &n = videoSetting(p, el(DisplayUnit, std::get<0>(c)));
        EXPECT_EQ(n.name, "DisplayUnit");
        ASSERT_NE(n.row("value"), nullptr);
        EXPECT_EQ(n.row("value")->value, std::get<1>(c));
        EXPECT_EQ(n.row("value")->meaning, std::get<2>(c));
    }
}

TEST(VideoSettingRows, PixelsAndDuration)
{
    Probe p;
    p.walkAll(el(Video, el(PixelWidth, bytes({0x07, 0x80})) + el(PixelHeight, bytes({0x04, 0x38}))) +
              el(DefaultDuration, bytes({0x00, 0xFE, 0x50, 0x2A})));
    EXPECT_EQ(valueOf(p.tree.roots, "PixelWidth"), "1920");
    EXPECT_EQ(valueOf(p.tree.roots, "PixelHeight"), "1080");
    EXPECT_EQ(valueOf(p.tree.roots, "DefaultDuration"), "16666666");
    const ElementNode *duration = findNode(p.tree.roots, "DefaultDuration");
    ASSERT_NE(duration, nullptr);
    EXPECT_TRUE(duration->annotation.startsWith("In nanoseconds."));
}

TEST(VideoSettingRows, TrackTimecodeScale)
{
    Probe p;
    const ElementNode &n = videoSetting(p, el(TrackTimecodeScale, bytes({0x3F, 0x80, 0x00, 0x00})));
    EXPECT_EQ(valueOf(p.tree.roots, "TrackTimecodeScale"), "1");
    EXPECT_EQ(n.rows.size(), 3);

    Probe q;
    const ElementNode &refused =
        videoSetting(q, el(TrackTimecodeScale, bytes({0x3F, 0x80})), Probe::StatusLengthRefused);
    EXPECT_EQ(refused.rows.size(), 2) << "id and size only";
    EXPECT_EQ(refused.row("value"), nullptr);
}

TEST(CodecRows, CodecIdAndPrivate)
{
    Probe p;
    p.binaryLimit = 16;
    QByteArray priv;
    for (int i = 0; i < 100; ++i)
        priv.append(char(0xF0 + i % 16));
    const QByteArray codecId = el(CodecID, QByteArray("V_VP8\0\0\0", 8));
    p.load(codecId + el(CodecPrivate, priv));

    p.walkAt(0);
    const ElementRow *idRow = p.tree.roots.back().row("value");
    ASSERT_NE(idRow, nullptr);
    EXPECT_EQ(idRow->value, "V_VP8");
    EXPECT_EQ(idRow->length, 8u);

    p.walkAt(quint64(codecId.size()));
    const ElementRow *privRow = p.tree.roots.back().row("value");
    ASSERT_NE(privRow, nullptr);
    EXPECT_EQ(privRow->value, "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
    EXPECT_EQ(privRow->length, 100u);
}

TEST(TrackRows, NumbersAreDecimalWhateverTheNumberBase)
{
    for (int base : {2, 16, 36}) {
        Probe p;
        p.numberBase = base;
        p.load(el(TrackEntry, uel(TrackNumber, 255) + uel(TrackType, 17) +
                                  el(DefaultDuration, uinteger(40000000)) +
                                  el(Video, uel(PixelWidth, 1920) + uel(PixelHeight, 1080) +
                                                uel(DisplayUnit, 10))));
        p.walkAt(0);
        EXPECT_EQ(valueOf(p.tree.roots, "TrackNumber"), "255") << base;
        EXPECT_EQ(valueOf(p.tree.roots, "TrackType"), "17") << base;
        EXPECT_EQ(valueOf(p.tree.roots, "DefaultDuration"), "40000000") << base;
        EXPECT_EQ(valueOf(p.tree.roots, "PixelWidth"), "1920") << base;
        EXPECT_EQ(valueOf(p.tree.roots, "PixelHeight"), "1080") << base;
        EXPECT_EQ(valueOf(p.tree.roots, "DisplayUnit"), "10") << base;
        EXPECT_EQ(p.trackTypes.value(255), 17u);
    }
}

} // namespace
