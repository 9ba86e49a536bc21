// EBML variable-length integers: size values (marker removed), element IDs
// (marker kept) and the length told by a first byte.

#include "ebml.h"
#include "probe.h"

#include <gtest/gtest.h>

using ebml::bytes;

namespace {

struct VintCase
{
    QByteArray input;
    quint64 value;
    quint8 length;
};

class SizeValue : public ::testing::TestWithParam<VintCase>
{
};

TEST_P(SizeValue, DecodesValueAndLengthAndKeepsPosition)
{
    const VintCase &c = GetParam();
    for (int prefix : {0, 3}) {
        // The reader works at the device position, not at 0, and ignores
        // what follows the number.
        Probe p;
        p.load(QByteArray(prefix, '\x55') + c.input + bytes({0xFF, 0xFF}));
        p.device.seek(prefix);
        quint64 value = 12345;
        quint8 length = 99;
        EXPECT_EQ(p.getEBMLelement(&value, &length), 0);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(p.device.pos(), prefix);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Vint, SizeValue,
    ::testing::Values(VintCase{bytes({0x81}), 1, 1},
                      VintCase{bytes({0x40, 0x02}), 2, 2},
                      VintCase{bytes({0x20, 0x00, 0x01}), 1, 3},
                      VintCase{bytes({0xFF}), 127, 1},
                      VintCase{bytes({0x80}), 0, 1},
                      VintCase{bytes({0x10, 0x12, 0x34, 0x56}), 0x123456, 4},
                      VintCase{bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
                               72057594037927935ULL, 8},
                      // A first byte of 0 is read as an 8-byte number whose
                      // marker bit was not there: the cleared bit 0 is set.
                      VintCase{QByteArray(8, '\0'), 72057594037927936ULL, 8}));

TEST(SizeValue, NumberCutByEndOfInputReadsMissingBytesAsZero)
{
    Probe p;
    p.load(bytes({0x40}));
    quint64 value = 7;
    quint8 length = 0;
    EXPECT_EQ(p.getEBMLelement(&value, &length), 0);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(p.device.pos(), 0);
}

struct IdCase
{
    QByteArray input;
    quint32 id;
    quint8 length;
};

class ElementId : public ::testing::TestWithParam<IdCase>
{
};

TEST_P(ElementId, KeepsMarkerBitsAndPosition)
{
    const IdCase &c = GetParam();
    Probe p;
    p.load(bytes({0x00}) + c.input + bytes({0x99, 0x99}));
    p.device.seek(1);
    quint32 id = 0;
    quint8 length = 0;
    EXPECT_EQ(p.getID(&id, &length), 0);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(p.device.pos(), 1);
}

INSTANTIATE_TEST_SUITE_P(Vint, ElementId,
                         ::testing::Values(IdCase{bytes({0x1A, 0x45, 0xDF, 0xA3}), 0x1A45DFA3, 4},
                                           IdCase{bytes({0xEC}), 0xEC, 1},
                                           IdCase{bytes({0x42, 0x86}), 0x4286, 2},
                                           IdCase{bytes({0x2A, 0xD7, 0xB1}), 0x2AD7B1, 3}));

TEST(ElementId, LongerThanFourBytesIsRefusedAndOutputsUntouched)
{
    for (int first : {0x0F, 0x08, 0x01, 0x00}) {
        Probe p;
        p.load(bytes({first, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
        quint32 id = 0xDEADBEEF;
        quint8 length = 42;
        EXPECT_EQ(p.getID(&id, &length), ContainerMKV::StatusLengthRefused) << first;
        EXPECT_EQ(id, 0xDEADBEEFu);
        EXPECT_EQ(length, 42);
        EXPECT_EQ(p.device.pos(), 0);
    }
}

TEST(ElementId, AtEndOfInputIsRefused)
{
    Probe p;
    p.load(bytes({0xEC}));
    p.device.seek(1);
    quint32 id = 5;
    quint8 length = 5;
    EXPECT_EQ(p.getID(&id, &length), ContainerMKV::StatusLengthRefused);
    EXPECT_EQ(id, 5u);
    EXPECT_EQ(p.device.pos(), 1);
}

TEST(FirstByteLength, CountsLeadingZeroBits)
{
    Probe p;
    EXPECT_EQ(p.getEBMLsize(0x80), 1);
    EXPECT_EQ(p.getEBMLsize(0xFF), 1);
    EXPECT_EQ(p.getEBMLsize(0x7F), 2);
    EXPECT_EQ(p.getEBMLsize(0x40), 2);
    EXPECT_EQ(p.getEBMLsize(0x3F), 3);
    EXPECT_EQ(p.getEBMLsize(0x10), 4);
    EXPECT_EQ(p.getEBMLsize(0x08), 5);
    EXPECT_EQ(p.getEBMLsize(0x04), 6);
    EXPECT_EQ(p.getEBMLsize(0x02), 7);
    EXPECT_EQ(p.getEBMLsize(0x03), 7);
    EXPECT_EQ(p.getEBMLsize(0x01), 8);
    EXPECT_EQ(p.getEBMLsize(0x00), 8);
}

TEST(FirstByteLength, AgreesWithTheBuilderForEveryLength)
{
    // Round trip through the test writer: every size-field length decodes
    // back to the value it was written with.
    Probe p;
    for (int length = 1; length <= 8; ++length) {
        const quint64 value = (quint64(1) << (7 * length)) - 2; // largest known size
        const QByteArray field = ebml::size(value, length);
        ASSERT_EQ(field.size(), length);
        p.load(field);
        quint64 got = 0;
        quint8 l = 0;
        p.getEBMLelement(&got, &l);
        EXPECT_EQ(l, length);
        EXPECT_EQ(got, value) << "length " << length;
    }
}

} // namespace
