// EBML variable-length integers: size values (marker removed) and element
// IDs (marker kept). The readers work at the device position and leave the
// device there.

#include "ebml.h"
#include "probe.h"

using ebml::bytes;

namespace {

TEST(Vint, SizeValues)
{
    const struct
    {
        QByteArray input;
        quint64 value;
        int length;
    } cases[] = {
        {bytes({0x81}), 1, 1},
        {bytes({0x80}), 0, 1},
        {bytes({0xFF}), 127, 1},
        {bytes({0x40, 0x02}), 2, 2},
        {bytes({0x20, 0x00, 0x01}), 1, 3},
        {bytes({0x10, 0x12, 0x34, 0x56}), 0x123456, 4},
        {bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFFFFFFFULL, 8},
        // A first byte of 0 is read as an 8-byte number whose marker bit was
        // not there: clearing it sets bit 0 of the first byte instead.
        {QByteArray(8, '\0'), 0x100000000000000ULL, 8},
        // The lengths not above, at their largest known size.
        {ebml::size(0x7FFFFFFFE, 5), 0x7FFFFFFFE, 5},
        {ebml::size(0x3FFFFFFFFFEULL, 6), 0x3FFFFFFFFFEULL, 6},
        {ebml::size(0x1FFFFFFFFFFFEULL, 7), 0x1FFFFFFFFFFFEULL, 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.toHex().toStdString());
        Probe p;
        p.load(bytes({0x55, 0x55, 0x55}) + c.input + bytes({0xFF, 0xFF}));
        p.device.seek(3);
        quint64 value = 12345;
        quint8 length = 99;
        EXPECT_EQ(p.getEBMLelement(&value, &length), 0);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(p.device.pos(), 3);
    }

    // A number cut by the end of the input: the missing bytes read as 0.
    Probe p;
    p.load(bytes({0x40}));
    quint64 value = 7;
    quint8 length = 0;
    EXPECT_EQ(p.getEBMLelement(&value, &length), 0);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(value, 0u);
}

TEST(Vint, ElementIds)
{
    const struct
    {
        QByteArray input;
        quint32 id;
        int length;
    } cases[] = {
        {bytes({0xEC}), 0xEC, 1},
        {bytes({0x42, 0x86}), 0x4286, 2},
        {bytes({0x2A, 0xD7, 0xB1}), 0x2AD7B1, 3},
        {bytes({0x1A, 0x45, 0xDF, 0xA3}), 0x1A45DFA3, 4},
        // Over 4 bytes, or nothing left to read: refused, outputs untouched.
        {bytes({0x08, 0x11, 0x22, 0x33, 0x44}), 0xDEADBEEF, 42},
        {QByteArray(), 0xDEADBEEF, 42},
        {bytes({0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}), 0xDEADBEEF, 42},
        {bytes({0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}), 0xDEADBEEF, 42},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.toHex().toStdString());
        Probe p;
        p.load(bytes({0x00}) + c.input);
        p.device.seek(1);
        quint32 id = 0xDEADBEEF;
        quint8 length = 42;
        EXPECT_EQ(p.getID(&id, &length), c.length == 42 ? Probe::StatusLengthRefused : 0);
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(p.device.pos(), 1);
    }
}

} // namespace
