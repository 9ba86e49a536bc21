// SPDX-License-Identifier: MIT
// The EBML decoder that the walk and the host share: bytes as they lie in a
// file, how many of them may be read, and what each reader makes of them.
#include "ebmldecoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr quint32 NoId = 0xDEADBEEF; // left as it was: nothing read
constexpr quint64 NoSize = ~quint64(0);
constexpr qint64 NoDifference = -1;
constexpr qint64 All = -2;
constexpr quint64 U = 0xFFFFFFFFFFFFFF; // 2^56 - 1

struct Case
{
    std::vector<unsigned char> bytes;
    qint64 available; // All: every byte given
    int idLength;
    quint32 id;
    int sizeLength;
    quint64 size;
    bool unknown;
    qint64 difference; // EBML lacing: the size less 2^(7n-1) - 1
};

const Case cases[] = {
    {{0x80}, All, 1, 0x80, 1, 0, false, -63},
    {{0x81, 0xFF}, All, 1, 0x81, 1, 1, false, -62},
    {{0xFF}, All, 1, 0xFF, 1, 127, true, 64},
    {{0x40, 0x00}, All, 2, 0x4000, 2, 0, false, -8191},
    {{0x42, 0x86}, All, 2, 0x4286, 2, 0x286, false, 0x286 - 8191},
    {{0x40, 0x7F}, All, 2, 0x407F, 2, 127, false, 127 - 8191},
    {{0x7F, 0xFF}, All, 2, 0x7FFF, 2, 0x3FFF, true, 8192},
    {{0x2A, 0xD7, 0xB1}, All, 3, 0x2AD7B1, 3, 0x0AD7B1, false, 0x0AD7B1 - 0xFFFFF},
    {{0x3F, 0xFF, 0xFF}, All, 3, 0x3FFFFF, 3, 0x1FFFFF, true, 0x100000},
    {{0x1A, 0x45, 0xDF, 0xA3}, All, 4, 0x1A45DFA3, 4, 0x0A45DFA3, false, 0x0A45DFA3 - 0x7FFFFFF},
    {{0x1F, 0xFF, 0xFF, 0xFF}, All, 4, 0x1FFFFFFF, 4, 0xFFFFFFF, true, 0x8000000},
    // IDs over four bytes; sizes of 5 to 8 bytes.
    {{0x08, 0, 0, 0, 0x2A}, All, 0, NoId, 5, 42, false, 42 - (qint64(1) << 34) + 1},
    {{0x0F, 0xFF, 0xFF, 0xFF, 0xFF}, All, 0, NoId, 5, U >> 21, true, qint64(1) << 34},
    {{0x05, 0, 0, 0, 0, 1}, All, 0, NoId, 6, (quint64(1) << 40) + 1, false, 2 - (qint64(1) << 40)},
    {{0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, All, 0, NoId, 6, U >> 14, true, qint64(1) << 41},
    {{0x02, 0, 0, 0, 0, 0, 0}, All, 0, NoId, 7, 0, false, 1 - (qint64(1) << 48)},
    {{0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, All, 0, NoId, 7, U >> 7, true, qint64(1) << 48},
    {{0x01, 0, 0, 0, 0, 0, 0, 0}, All, 0, NoId, 8, 0, false, 1 - (qint64(1) << 55)},
    {{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE},
     All,
     0,
     NoId,
     8,
     U - 1,
     false,
     (qint64(1) << 55) - 1},
    {{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, All, 0, NoId, 8, U, true, qint64(1) << 55},
    // A zero first byte: over eight bytes.
    {{0x00, 0x81, 0, 0, 0, 0, 0, 0, 0}, All, 0, NoId, 0, NoSize, false, NoDifference},
    // Cut by the end of what may be read.
    {{0x81}, 0, 0, NoId, 0, NoSize, false, NoDifference},
    {{0x81}, -1, 0, NoId, 0, NoSize, false, NoDifference},
    {{0x42, 0x86}, 1, 0, NoId, 0, NoSize, false, NoDifference},
    {{0x1A, 0x45, 0xDF, 0xA3}, 3, 0, NoId, 0, NoSize, false, NoDifference},
    {{0x01, 0, 0, 0, 0, 0, 0, 0}, 7, 0, NoId, 0, NoSize, false, NoDifference},
};

TEST(EbmlDecoder, IdsSizesAndLaceDifferences)
{
    for (const Case &c : cases) {
        const qint64 available = c.available == All ? qint64(c.bytes.size()) : c.available;
        const unsigned char *bytes = c.bytes.data();
        quint32 id = NoId;
        quint64 size = NoSize;
        qint64 difference = NoDifference;
        const int sizeLength = EbmlDecoder::readSize(bytes, available, &size);
        SCOPED_TRACE(testing::Message() << "first byte " << int(bytes[0]) << ", " << available);
        EXPECT_EQ(EbmlDecoder::readId(bytes, available, &id), c.idLength);
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(sizeLength, c.sizeLength);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(sizeLength && EbmlDecoder::unknownSize(size, sizeLength), c.unknown);
        EXPECT_EQ(EbmlDecoder::readLaceDifference(bytes, available, &difference), c.sizeLength);
        EXPECT_EQ(difference, c.difference);
    }
}

} // namespace
