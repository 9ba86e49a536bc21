#include "outputbuffer.h"

#include <cstring>

namespace {
constexpr qsizetype FlushAt = 1 << 20;
}

OutputBuffer::OutputBuffer(std::FILE *out)
    : m_out(out)
{
    m_buffer.reserve(FlushAt + 4096);
}

OutputBuffer::~OutputBuffer()
{
    flush();
}

void OutputBuffer::append(const char *bytes, qsizetype size)
{
    m_buffer.append(bytes, size);
    if (m_buffer.size() >= FlushAt)
        flush();
}

OutputBuffer &OutputBuffer::operator<<(const char *text)
{
    append(text, qsizetype(std::strlen(text)));
    return *this;
}

OutputBuffer &OutputBuffer::operator<<(char c)
{
    append(&c, 1);
    return *this;
}

OutputBuffer &OutputBuffer::operator<<(quint64 number)
{
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    do {
        *--p = char('0' + number % 10);
        number /= 10;
    } while (number);
    append(p, end - p);
    return *this;
}

OutputBuffer &OutputBuffer::operator<<(const QByteArray &bytes)
{
    append(bytes.constData(), bytes.size());
    return *this;
}

OutputBuffer &OutputBuffer::operator<<(const QString &text)
{
    return *this << text.toUtf8();
}

void OutputBuffer::flush()
{
    if (!m_buffer.isEmpty() && !m_failed) {
        if (std::fwrite(m_buffer.constData(), 1, size_t(m_buffer.size()), m_out)
                != size_t(m_buffer.size())
            || std::fflush(m_out) != 0)
            m_failed = true;
    }
    m_buffer.resize(0); // keeps the capacity
}
