// EBML variable-length integers: element IDs (1 to 4 bytes, marker kept) and
// unsigned numbers (1 to 8 bytes, marker removed). The readers leave the
// device where they found it.
#include "containermkv.h"

#include <cstring>

quint8 ContainerMKV::getEBMLsize(quint8 firstByte)
{
    // One more than the clear bits above the highest set bit, looking at
    // bits 7 to 1; 0x01 and 0x00 both give 8.
    for (quint8 length = 1; length < 8; ++length) {
        if (firstByte & (0x80 >> (length - 1)))
            return length;
    }
    return 8;
}

int ContainerMKV::getID(quint32 *id, quint8 *length)
{
    const qint64 p = dataSource->pos();
    unsigned char buffer[8] = {};
    dataSource->readBytes(reinterpret_cast<char *>(buffer), 1);
    dataSource->seek(p);
    const quint8 l = getEBMLsize(buffer[0]);
    if (l > 4)
        return StatusLengthRefused;
    if (l > 1) {
        dataSource->readBytes(reinterpret_cast<char *>(buffer), l);
        dataSource->seek(p);
        swapByteOrder(buffer, l);
    }
    quint32 value = 0;
    for (int i = l - 1; i >= 0; --i)
        value = (value << 8) | buffer[i];
    *id = value;
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
    buffer[0] ^= quint8(1u << (8 - l));
    swapByteOrder(buffer, l);
    quint64 v = 0;
    for (int i = l - 1; i >= 0; --i)
        v = (v << 8) | buffer[i];
    *value = v;
    *length = l;
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
    const quint8 l = getEBMLsize(bytes[0]);
    h.idRead = l <= 4;
    if (h.idRead) {
        h.idLength = l;
        for (quint8 i = 0; i < l; ++i)
            h.id = (h.id << 8) | bytes[i];
    }
    h.size = numberOf(bytes + h.idLength, &h.sizeLength);
    return h;
}

quint64 ContainerMKV::numberOf(const unsigned char *bytes, quint8 *length)
{
    *length = getEBMLsize(bytes[0]);
    quint64 value = bytes[0] ^ quint8(1u << (8 - *length));
    for (quint8 i = 1; i < *length; ++i)
        value = (value << 8) | bytes[i];
    return value;
}
