// SPDX-License-Identifier: MIT
#include "outputbuffer.h"

namespace {
constexpr size_t Capacity = 1 << 20;
}

OutputBuffer::OutputBuffer(std::FILE *out)
    : m_out(out)
    , m_buffer(new char[Capacity])
    , m_pos(m_buffer.get())
    , m_end(m_buffer.get() + Capacity)
    , m_capacity(Capacity)
{}

OutputBuffer::~OutputBuffer()
{
    flush();
}

void OutputBuffer::flush()
{
    const size_t size = size_t(m_pos - m_buffer.get());
    if (size && !m_failed) {
        if (std::fwrite(m_buffer.get(), 1, size, m_out) != size || std::fflush(m_out) != 0)
            m_failed = true;
    }
    m_pos = m_buffer.get();
}

void OutputBuffer::makeRoom(size_t size)
{
    flush();
    if (size > m_capacity) {
        // One text larger than the buffer: it grows for it.
        m_buffer.reset(new char[size]);
        m_capacity = size;
        m_pos = m_buffer.get();
        m_end = m_pos + size;
    }
}

void OutputBuffer::appendLarge(const char *bytes, size_t size)
{
    flush();
    if (size >= m_capacity) {
        if (!m_failed && std::fwrite(bytes, 1, size, m_out) != size)
            m_failed = true;
        return;
    }
    std::memcpy(m_pos, bytes, size);
    m_pos += size;
}

// Nine to twenty digits: the highest group of up to four, then groups of
// exactly four.
char *OutputBuffer::writeLong(char *p, quint64 number)
{
    unsigned groups[5];
    int count = 0;
    while (number >= 10000) {
        groups[count++] = unsigned(number % 10000);
        number /= 10000;
    }
    p = writeUpTo4(p, unsigned(number));
    while (count > 0)
        p = write4(p, groups[--count]);
    return p;
}

int OutputBuffer::writeUtf8(const char16_t *unit, const char16_t *end, char **out)
{
    char *p = *out;
    uint c = *unit;
    int used = 1;
    if (c >= 0xD800 && c <= 0xDFFF) {
        if (c <= 0xDBFF && unit + 1 < end && unit[1] >= 0xDC00 && unit[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint(unit[1]) - 0xDC00);
            used = 2;
        } else {
            c = 0xFFFD;
        }
    }
    if (c < 0x80) {
        *p++ = char(c);
    } else if (c < 0x800) {
        *p++ = char(0xC0 | (c >> 6));
        *p++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = char(0xE0 | (c >> 12));
        *p++ = char(0x80 | ((c >> 6) & 0x3F));
        *p++ = char(0x80 | (c & 0x3F));
    } else {
        *p++ = char(0xF0 | (c >> 18));
        *p++ = char(0x80 | ((c >> 12) & 0x3F));
        *p++ = char(0x80 | ((c >> 6) & 0x3F));
        *p++ = char(0x80 | (c & 0x3F));
    }
    *out = p;
    return used;
}

char *OutputBuffer::encodeUtf8(char *p, const char16_t *u, qsizetype size)
{
    const char16_t *end = u + size;
    while (u != end) {
        if (*u < 0x80)
            *p++ = char(*u++);
        else
            u += writeUtf8(u, end, &p);
    }
    return p;
}

OutputBuffer &OutputBuffer::operator<<(const QString &text)
{
    const auto *units = reinterpret_cast<const char16_t *>(text.constData());
    commit(encodeUtf8(reserve(size_t(text.size()) * 3), units, text.size()));
    return *this;
}
