// SPDX-License-Identifier: MIT
#include "crcstage.h"

#include "inputdevice.h"
#include "matroskaids.h"

#include <new>

namespace {

constexpr quint32 Polynomial = 0xEDB88320u; // IEEE, reflected
constexpr size_t BufferSize = 1 << 20;

// Slicing-by-8 tables.
struct CrcTables
{
    quint32 t[8][256];
    quint32 powers[64]; // x^(2^k) modulo the polynomial
    CrcTables();
};

// a * b modulo the polynomial, both reflected.
quint32 multiply(quint32 a, quint32 b)
{
    quint32 m = 1u << 31, p = 0;
    for (;;) {
        if (a & m) {
            p ^= b;
            if ((a & (m - 1)) == 0)
                break;
        }
        m >>= 1;
        b = (b & 1) ? (b >> 1) ^ Polynomial : b >> 1;
    }
    return p;
}

CrcTables::CrcTables()
{
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? Polynomial ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (int s = 1; s < 8; ++s)
        for (int i = 0; i < 256; ++i)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    quint32 p = 1u << 30; // x
    for (int k = 0; k < 64; ++k) {
        powers[k] = p;
        p = multiply(p, p);
    }
}

const CrcTables &tables()
{
    static const CrcTables t;
    return t;
}

} // namespace

quint32 CrcStage::crc32(quint32 crc, const unsigned char *p, size_t size)
{
    const CrcTables &tb = tables();
    crc = ~crc;
    while (size >= 8) {
        const quint32 a = crc
            ^ (quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
        crc = tb.t[7][a & 0xFF] ^ tb.t[6][(a >> 8) & 0xFF] ^ tb.t[5][(a >> 16) & 0xFF]
            ^ tb.t[4][a >> 24] ^ tb.t[3][p[4]] ^ tb.t[2][p[5]] ^ tb.t[1][p[6]] ^ tb.t[0][p[7]];
        p += 8;
        size -= 8;
    }
    while (size--)
        crc = tb.t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// x^(8 length): what moves a CRC over length bytes.
static quint32 shiftOver(quint64 length)
{
    const CrcTables &tb = tables();
    quint32 shift = 1u << 31; // 1
    for (int k = 3; length; length >>= 1, ++k) {
        if (length & 1)
            shift = multiply(tb.powers[k & 63], shift);
    }
    return shift;
}

quint32 CrcStage::combine(quint32 crcA, quint32 crcB, quint64 lengthB)
{
    return multiply(shiftOver(lengthB), crcA) ^ crcB;
}

CrcStage::CrcStage(Sink *next, InputDevice *input, const ElementTracker &tracker)
    : Stage(next)
    , m_input(input)
    , m_tracker(tracker)
    , m_buffer(new (std::nothrow) unsigned char[BufferSize])
{}

CrcStage::~CrcStage() = default;

void CrcStage::beginFile(const QString &fileName, quint64 size)
{
    m_fileSize = size;
    m_catchUpLeft = size;
    m_masters.clear();
    m_ranges.clear();
    m_ends = {};
    m_done = 0;
    m_next->beginFile(fileName, size);
}

void CrcStage::endElement()
{
    if (!m_tracker.empty()) {
        const size_t depth = m_tracker.depth() - 1;
        const OpenElement &e = m_tracker.current();
        const OpenElement *parent = m_tracker.parent();
        if (e.id == MatroskaSchema::Id::Crc32 && parent && parent->children == 1) {
            startCheck(e, *parent, depth - 1);
        } else if (!m_masters.empty() && m_masters.back().depth == depth) {
            const Master master = m_masters.back();
            m_masters.pop_back();
            if (master.checking) {
                advance(e.end);
                const Range range = m_ranges.back();
                m_ranges.pop_back();
                const bool ok = !range.failed && finish(range) == master.expected;
                m_next->crcChecked(ok ? CrcVerdict::Ok : CrcVerdict::Mismatch);
            } else {
                m_next->crcChecked(master.verdict);
            }
        }
    }
    m_next->endElement();
}

void CrcStage::startCheck(const OpenElement &crc, const OpenElement &master, size_t depth)
{
    const quint64 from = crc.end;
    const quint64 to = master.end;
    // A CRC-32 holds 4 bytes; a master that the file does not hold whole
    // cannot match.
    unsigned char stored[4] = {};
    if (crc.dataOffset + 4 != from || to > m_fileSize || from > to || !m_buffer
        || m_input->readDirect(qint64(crc.dataOffset), reinterpret_cast<char *>(stored), 4) != 4) {
        m_masters.push_back(Master {depth, false, CrcVerdict::Mismatch, 0});
        return;
    }
    const quint32 expected = quint32(stored[0]) | quint32(stored[1]) << 8 | quint32(stored[2]) << 16
        | quint32(stored[3]) << 24;
    m_masters.push_back(Master {depth, true, CrcVerdict::None, expected});
    advance(from);
    Range range {from, to, from, 0, 0, 0, false};
    // The pass went past this payload's start only after an element that
    // ran past its parent; such bytes are read again, up to the file's size
    // in all.
    if (from < m_done) {
        range.at = qMin(m_done, to);
        range.failed = !catchUp(range);
    }
    range.passAt = m_pass;
    range.passTo = m_pass;
    if (range.at < to)
        m_ends.push({to, m_ranges.size()});
    m_ranges.push_back(range);
}

// passTo is combine(passAt, CRC of [at, to)); as combine is linear in its
// CRCs, that of [from, at) and [at, to) is combine(crc ^ passAt, passTo).
quint32 CrcStage::finish(const Range &range)
{
    return combine(range.crc ^ range.passAt, range.passTo, range.to - range.at);
}

bool CrcStage::catchUp(Range &range)
{
    if (range.at - range.from > m_catchUpLeft)
        return false;
    m_catchUpLeft -= range.at - range.from;
    for (quint64 at = range.from; at < range.at;) {
        const qint64 n = m_input->readDirect(qint64(at), reinterpret_cast<char *>(m_buffer.get()),
                                             qint64(qMin<quint64>(range.at - at, BufferSize)));
        if (n <= 0)
            return false;
        range.crc = crc32(range.crc, m_buffer.get(), size_t(n));
        at += quint64(n);
    }
    return true;
}

// Reads on to offset to, stopping where open ranges end to note the running
// CRC there. Bytes that no open range still wants are skipped.
void CrcStage::advance(quint64 to)
{
    to = qMin(to, m_fileSize);
    while (m_done < to && !m_ends.empty()) {
        const quint64 stop = qMin(to, m_ends.top().first);
        const qint64 n
            = m_input->readDirect(qint64(m_done), reinterpret_cast<char *>(m_buffer.get()),
                                  qint64(qMin<quint64>(stop - m_done, BufferSize)));
        if (n <= 0) {
            // The pass breaks here: no range that spans the gap can match.
            for (; !m_ends.empty(); m_ends.pop())
                m_ranges[m_ends.top().second].failed = true;
            break;
        }
        m_pass = crc32(m_pass, m_buffer.get(), size_t(n));
        m_done += quint64(n);
        for (; !m_ends.empty() && m_ends.top().first <= m_done; m_ends.pop())
            m_ranges[m_ends.top().second].passTo = m_pass;
    }
    m_done = qMax(m_done, to);
}
