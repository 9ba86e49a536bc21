// SPDX-License-Identifier: MIT
// The walk's EBML readers over the input device, which they leave where they
// found it, and over bytes already read. A size field whose first byte is 0
// is read as 8 bytes without a marker, 2^56 or more, so that callers can tell
// it from any valid size.
#include "containermkv.h"
#include "ebmldecoder.h"

quint8 ContainerMKV::getEBMLsize(quint8 firstByte)
{
    const int length = EbmlDecoder::length(firstByte);
    return quint8(length ? length : 8);
}

int ContainerMKV::getID(quint32 *id, quint8 *length)
{
    const qint64 p = dataSource->pos();
    unsigned char buffer[4] = {};
    dataSource->readBytes(reinterpret_cast<char *>(buffer), 1);
    dataSource->seek(p);
    const quint8 l = getEBMLsize(buffer[0]);
    if (l > 4)
        return StatusLengthRefused;
    if (l > 1) {
        dataSource->readBytes(reinterpret_cast<char *>(buffer), l);
        dataSource->seek(p);
    }
    // Bytes past the end of the input read as zeros.
    *id = 0;
    EbmlDecoder::readId(buffer, l, id);
    *length = l;
    return StatusDone;
}

int ContainerMKV::getEBMLelement(quint64 *value, quint8 *length)
{
    const qint64 p = dataSource->pos();
    unsigned char buffer[8] = {};
    dataSource->readBytes(reinterpret_cast<char *>(buffer), 1);
    const quint8 l = getEBMLsize(buffer[0]);
    if (l > 1) {
        dataSource->seek(p);
        dataSource->readBytes(reinterpret_cast<char *>(buffer), l);
    }
    dataSource->seek(p);
    *value = numberOf(buffer, length);
    return StatusDone;
}

ContainerMKV::Header ContainerMKV::readHeader(quint64 position)
{
    Header h;
    seekTo(position);
    h.idRead = getID(&h.id, &h.idLength) == StatusDone;
    seekTo(position + h.idLength);
    getEBMLelement(&h.size, &h.sizeLength);
    return h;
}

ContainerMKV::Header ContainerMKV::headerOf(const unsigned char *bytes)
{
    Header h;
    h.idLength = quint8(EbmlDecoder::readId(bytes, 4, &h.id));
    h.idRead = h.idLength > 0;
    h.size = numberOf(bytes + h.idLength, &h.sizeLength);
    return h;
}

quint64 ContainerMKV::numberOf(const unsigned char *bytes, quint8 *length)
{
    quint64 value = 0;
    *length = quint8(EbmlDecoder::readSize(bytes, 8, &value));
    if (*length == 0) {
        // A first byte of 0: a marker past it, then the 7 bytes after.
        value = 1;
        for (int i = 1; i < 8; ++i)
            value = (value << 8) | bytes[i];
        *length = 8;
    }
    return value;
}
