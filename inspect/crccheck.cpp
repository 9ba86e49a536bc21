#include "crccheck.h"

#include <memory>

namespace {

// Slicing-by-8 tables of the reflected IEEE polynomial.
struct CrcTables
{
    quint32 t[8][256];
    CrcTables()
    {
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (int i = 0; i < 256; ++i)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const CrcTables &tables()
{
    static const CrcTables t;
    return t;
}

} // namespace

quint32 CrcCheck::crc32(quint32 crc, const unsigned char *p, size_t size)
{
    const CrcTables &tb = tables();
    crc = ~crc;
    while (size >= 8) {
        const quint32 a = crc ^ (quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16
                                 | quint32(p[3]) << 24);
        crc = tb.t[7][a & 0xFF] ^ tb.t[6][(a >> 8) & 0xFF] ^ tb.t[5][(a >> 16) & 0xFF]
            ^ tb.t[4][a >> 24] ^ tb.t[3][p[4]] ^ tb.t[2][p[5]] ^ tb.t[1][p[6]] ^ tb.t[0][p[7]];
        p += 8;
        size -= 8;
    }
    while (size--)
        crc = tb.t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool CrcCheck::open(const QString &fileName)
{
    m_enabled = m_device.openFile(fileName);
    return m_enabled;
}

void CrcCheck::begin(quint64 offset, quint64 size, const QString &name)
{
    if (!m_enabled)
        return;
    bool first = false;
    if (!m_open.empty())
        first = ++m_open.back().children == 1;
    const bool isCrc = first && m_enabled && name == QLatin1String("CRC-32");
    m_open.push_back(Node{offset, size, offset, 0, first, isCrc, None});
}

void CrcCheck::crcRow(const QString &name, quint64 offset, quint64 length)
{
    // Only a CRC-32 needs to know where its payload starts.
    if (name == QLatin1String("size"))
        m_open.back().dataOffset = offset + length;
}

CrcCheck::Verdict CrcCheck::end()
{
    m_justChecked = None;
    if (m_open.empty())
        return None;
    const Node node = m_open.back();
    m_open.pop_back();
    if (m_enabled && node.isCrc && !m_open.empty()) {
        m_justChecked = check(node, m_open.back());
        m_open.back().verdict = m_justChecked;
    }
    return node.verdict;
}

CrcCheck::Verdict CrcCheck::check(const Node &crc, const Node &parent)
{
    const quint64 fileSize = quint64(m_device.size());
    const quint64 from = crc.offset + crc.size;
    const quint64 to = parent.offset + parent.size;
    // A CRC-32 holds 4 bytes; a master that the file does not hold whole
    // cannot match.
    if (crc.dataOffset + 4 != from || to > fileSize || from > to || parent.offset > fileSize)
        return Mismatch;
    unsigned char stored[4] = {};
    m_device.seek(qint64(crc.dataOffset));
    if (m_device.readBytes(reinterpret_cast<char *>(stored), 4) != 4)
        return Mismatch;
    const quint32 expected = quint32(stored[0]) | quint32(stored[1]) << 8
        | quint32(stored[2]) << 16 | quint32(stored[3]) << 24;

    constexpr qint64 Chunk = 1 << 20;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[Chunk]);
    quint32 crcValue = 0;
    m_device.seek(qint64(from));
    for (quint64 left = to - from; left > 0;) {
        const qint64 n = m_device.readBytes(reinterpret_cast<char *>(buffer.get()),
                                            qint64(qMin<quint64>(left, Chunk)));
        if (n <= 0)
            return Mismatch;
        crcValue = crc32(crcValue, buffer.get(), size_t(n));
        left -= quint64(n);
    }
    return crcValue == expected ? Ok : Mismatch;
}
