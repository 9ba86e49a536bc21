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
{
}

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

namespace {

const char Pairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                     "8081828384858687888990919293949596979899";

// Writes the digits of number backwards from end, two at a time.
template <typename T>
void writeDigits(char *end, T number)
{
    while (number >= 100) {
        const unsigned pair = unsigned(number % 100);
        number /= 100;
        end -= 2;
        end[0] = Pairs[2 * pair];
        end[1] = Pairs[2 * pair + 1];
    }
    if (number >= 10) {
        end[-2] = Pairs[2 * number];
        end[-1] = Pairs[2 * number + 1];
    } else {
        end[-1] = char('0' + number);
    }
}

} // namespace

char *OutputBuffer::writeNumber(char *p, quint64 number)
{
    static const quint64 powers[] = {0ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL,
                                     1000000ULL, 10000000ULL, 100000000ULL, 1000000000ULL,
                                     10000000000ULL, 100000000000ULL, 1000000000000ULL,
                                     10000000000000ULL, 100000000000000ULL,
                                     1000000000000000ULL, 10000000000000000ULL,
                                     100000000000000000ULL, 1000000000000000000ULL,
                                     10000000000000000000ULL};
    // Digits from the bit length: log10(2) is about 1233 / 4096.
    const int bits = 64 - __builtin_clzll(number | 1);
    int digits = (bits * 1233 >> 12) + 1;
    if (digits < 20 && number >= powers[digits])
        ++digits;
    else if (number < powers[digits - 1])
        --digits;
    if (digits < 1)
        digits = 1;
    // Offsets and lengths mostly fit 32 bits, where division is cheaper.
    if (number <= 0xFFFFFFFFu)
        writeDigits(p + digits, quint32(number));
    else
        writeDigits(p + digits, number);
    return p + digits;
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

OutputBuffer &OutputBuffer::operator<<(const QString &text)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *end = u + text.size();
    char *p = reserve(size_t(text.size()) * 3);
    while (u != end) {
        if (*u < 0x80)
            *p++ = char(*u++);
        else
            u += writeUtf8(u, end, &p);
    }
    commit(p);
    return *this;
}
