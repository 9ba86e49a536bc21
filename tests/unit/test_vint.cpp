// EBML variable-length integers: size values (marker removed) and element
// IDs (marker kept). The readers work at the device position and leave the
// device there.

#include "ebml.h"
#include "probe.h"

using ebml::bytes;

namespace {

TEST(Vint, SizeValuesAndElementIds)
{
    // length 42: refused, outputs untouched. Inputs that hold all of their
    // number are followed by bytes that must not be read into it; the others
    // end the input, and a size's missing bytes read as 0.
    const struct
    {
        bool id;
        QByteArray input;
        quint64 value;
        int length;
    } cases[] = {
        {false, bytes({0x81}), 1, 1},
        {false, bytes({0x80}), 0, 1},
        {false, bytes({0xFF}), 127, 1},
        {false, bytes({0x40, 0x02}), 2, 2},
        {false, bytes({0x40}), 0, 2},
        {false, bytes({0x20, 0x00, 0x01}), 1, 3},
        {false, bytes({0x10, 0x12, 0x34, 0x56}), 0x123456, 4},
        {false, ebml::size(0x7FFFFFFFE, 5), 0x7FFFFFFFE, 5},
        {false, ebml::size(0x3FFFFFFFFFEULL, 6), 0x3FFFFFFFFFEULL, 6},
        {false, ebml::size(0x1FFFFFFFFFFFEULL, 7), 0x1FFFFFFFFFFFEULL, 7},
        {false, bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFFFFFFFULL, 8},
        // A first byte of 0 is read as an 8-byte number whose marker bit was
        // not there: clearing it sets bit 0 of the first byte instead.
        {false, QByteArray(8, '\0'), 0x100000000000000ULL, 8},
        {true, bytes({0xEC}), 0xEC, 1},
        {true, bytes({0x42, 0x86}), 0x4286, 2},
        {true, bytes({0x2A, 0xD7, 0xB1}), 0x2AD7B1, 3},
        {true, bytes({0x1A, 0x45, 0xDF, 0xA3}), 0x1A45DFA3, 4},
        {true, bytes({0x08, 0x11, 0x22, 0x33, 0x44}), 0xDEADBEEF, 42},
        {true, QByteArray(), 0xDEADBEEF, 42},
        {true, bytes({0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}), 0xDEADBEEF, 42},
        {true, bytes({0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}), 0xDEADBEEF, 42},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.toHex().toStdString());
        Probe p;
        const bool whole = c.length <= c.input.size();
        p.load(bytes({0x55, 0x55, 0x55}) + c.input + (whole ? bytes({0xFF, 0xFF}) : QByteArray()));
        p.device.seek(3);
        quint64 value = 0xDEADBEEF;
        quint32 id = 0xDEADBEEF;
        quint8 length = 42;
        const int status = c.id ? p.getID(&id, &length) : p.getEBMLelement(&value, &length);
        EXPECT_EQ(status, c.length == 42 ? Probe::StatusLengthRefused : 0);
        EXPECT_EQ(c.id ? id : value, c.value);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(p.device.pos(), 3);
    }
}

} // namespace
