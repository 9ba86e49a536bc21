// SPDX-License-Identifier: MIT
#pragma once

// Bytes of the file away from the walk, read a window at a time through
// CheckContext::read, and the EBML headers and numbers in them: for checks
// that look at the places an entry names, or at a whole earlier element.

#include "check.h"

#include "ebmldecoder.h"

#include <QByteArray>

class WindowReader
{
public:
    static constexpr qint64 Window = 4096;

    explicit WindowReader(const CheckContext &c)
        : m_context(c)
    {}

    // The bytes from position on, at least want of them (at most Window)
    // unless the file ends first; how many there are in *available.
    const quint8 *at(quint64 position, qint64 want, qint64 *available)
    {
        const quint64 end = m_start + quint64(m_count);
        if (!m_read || position < m_start || position > end
            || (position + quint64(want) > end && m_count == Window)) {
            m_read = true;
            m_start = position;
            m_count = m_context.read(position, reinterpret_cast<char *>(m_bytes), Window);
        }
        *available = m_count - qint64(position - m_start);
        return m_bytes + (position - m_start);
    }

    const CheckContext &context() const { return m_context; }

private:
    const CheckContext &m_context;
    quint8 m_bytes[Window];
    quint64 m_start = 0;
    qint64 m_count = 0;
    bool m_read = false;
};

// An element's ID and size field as the file has them at a position.
struct ElementHead
{
    bool ok = false; // an ID and a size field could be read
    quint32 id = 0;
    int idLength = 0;
    bool unknownSize = false;
    quint64 offset = 0, dataOffset = 0, dataSize = 0;
    quint64 end = 0; // dataOffset + dataSize, saturated
};

inline ElementHead readHead(WindowReader &reader, quint64 position)
{
    ElementHead h;
    h.offset = position;
    qint64 got = 0;
    const quint8 *bytes = reader.at(position, 12, &got);
    h.idLength = EbmlDecoder::readId(bytes, got, &h.id);
    if (h.idLength == 0)
        return h;
    const int sizeLength = EbmlDecoder::readSize(bytes + h.idLength, got - h.idLength, &h.dataSize);
    if (sizeLength == 0)
        return h;
    h.ok = true;
    h.unknownSize = EbmlDecoder::unknownSize(h.dataSize, sizeLength);
    h.dataOffset = position + quint64(h.idLength + sizeLength);
    h.end = h.dataOffset + h.dataSize < h.dataOffset ? ~quint64(0) : h.dataOffset + h.dataSize;
    return h;
}

// The unsigned integer of 0 to 8 bytes that a head's payload holds.
inline bool readUnsigned(WindowReader &reader, const ElementHead &h, quint64 *value)
{
    qint64 got = 0;
    const quint8 *bytes = reader.at(h.dataOffset, 8, &got);
    if (!h.ok || h.unknownSize || h.dataSize > 8 || got < qint64(h.dataSize))
        return false;
    *value = 0;
    for (quint64 i = 0; i < h.dataSize; ++i)
        *value = (*value << 8) | bytes[i];
    return true;
}
