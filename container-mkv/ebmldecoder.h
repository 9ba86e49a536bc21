// SPDX-License-Identifier: MIT
#pragma once

#include <QtAlgorithms>
#include <QtGlobal>

// EBML variable-length integers read from a byte buffer, for the plug-in and
// the host alike. Each reader takes the bytes at `bytes`, of which `available`
// may be read, and returns how many the integer takes: 0 when it is invalid
// (a first byte of zero, an ID over four bytes) or cut by the end of the
// buffer, and then leaves its result as it was.
namespace EbmlDecoder {

// The length that a first byte gives: one more than its leading zero bits,
// 0 for a zero byte (which would need more than eight).
inline int length(quint8 first)
{
    return first ? int(qCountLeadingZeroBits(first)) + 1 : 0;
}

// An element ID of 1 to 4 bytes, as stored: its marker bit is kept.
inline int readId(const unsigned char *bytes, qint64 available, quint32 *id)
{
    if (available < 1)
        return 0;
    const int n = length(bytes[0]);
    if (n == 0 || n > 4 || n > available)
        return 0;
    quint32 value = bytes[0];
    for (int i = 1; i < n; ++i)
        value = (value << 8) | bytes[i];
    *id = value;
    return n;
}

// An unsigned number of 1 to 8 bytes (an element's size, a track number, a
// lace size) without its marker bit.
inline int readSize(const unsigned char *bytes, qint64 available, quint64 *size)
{
    if (available < 1)
        return 0;
    const int n = length(bytes[0]);
    if (n == 0 || n > available)
        return 0;
    quint64 value = bytes[0] & (0xFFu >> n);
    for (int i = 1; i < n; ++i)
        value = (value << 8) | bytes[i];
    *size = value;
    return n;
}

// All value bits of a size field of n bytes set: the size is unknown.
constexpr bool unknownSize(quint64 size, int n)
{
    return size == (quint64(1) << (7 * n)) - 1;
}

// A signed difference of EBML lacing: the number of n bytes less half its
// range, 2^(7n-1) - 1.
inline int readLaceDifference(const unsigned char *bytes, qint64 available, qint64 *difference)
{
    quint64 raw = 0;
    const int n = readSize(bytes, available, &raw);
    if (n)
        *difference = qint64(raw) - ((qint64(1) << (7 * n - 1)) - 1);
    return n;
}

} // namespace EbmlDecoder
