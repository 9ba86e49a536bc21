// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdio>
#include <cstring>
#include <memory>

// Copies a literal without its NUL; the fixed-size copy becomes a few moves.
template <size_t N> inline char *putLiteral(char *p, const char (&literal)[N])
{
    std::memcpy(p, literal, N - 1);
    return p + N - 1;
}

// A large output buffer that the writers format into directly and that goes
// to a stdio stream in big pieces.
class OutputBuffer
{
public:
    explicit OutputBuffer(std::FILE *out);
    ~OutputBuffer();
    OutputBuffer(const OutputBuffer &) = delete;
    OutputBuffer &operator=(const OutputBuffer &) = delete;

    Q_ALWAYS_INLINE void append(const char *bytes, size_t size)
    {
        if (size > size_t(m_end - m_pos)) {
            appendLarge(bytes, size);
            return;
        }
        std::memcpy(m_pos, bytes, size);
        m_pos += size;
    }
    // String literals, without a strlen.
    template <size_t N> Q_ALWAYS_INLINE OutputBuffer &operator<<(const char (&literal)[N])
    {
        append(literal, N - 1);
        return *this;
    }
    Q_ALWAYS_INLINE OutputBuffer &operator<<(char c)
    {
        if (m_pos == m_end)
            flush();
        *m_pos++ = c;
        return *this;
    }
    Q_ALWAYS_INLINE OutputBuffer &operator<<(quint64 number)
    {
        char *p = reserve(20);
        m_pos = writeNumber(p, number);
        return *this;
    }
    // A text as UTF-8.
    OutputBuffer &operator<<(const QString &text);

    // Room for at least size bytes at the returned pointer; the caller moves
    // on with commit().
    char *reserve(size_t size)
    {
        if (size > size_t(m_end - m_pos))
            makeRoom(size);
        return m_pos;
    }
    void commit(char *end) { m_pos = end; }

    // Decimal digits; offsets and lengths mostly have fewer than nine, which
    // take a few multiplications by reciprocals, in groups of four digits.
    Q_ALWAYS_INLINE static char *writeNumber(char *p, quint64 number)
    {
        if (number < 10000)
            return writeUpTo4(p, unsigned(number));
        if (number < 100000000) {
            const auto n = unsigned(number);
            return write4(writeUpTo4(p, n / 10000), n % 10000);
        }
        return writeLong(p, number);
    }
    // The digit writers that writeNumber is made of.
    Q_ALWAYS_INLINE static char *writeUpTo2(char *p, unsigned n)
    {
        if (n < 10) {
            *p = char('0' + n);
            return p + 1;
        }
        std::memcpy(p, Pairs + 2 * n, 2);
        return p + 2;
    }
    Q_ALWAYS_INLINE static char *writeUpTo4(char *p, unsigned n)
    {
        if (n < 100)
            return writeUpTo2(p, n);
        p = writeUpTo2(p, n / 100);
        std::memcpy(p, Pairs + 2 * (n % 100), 2);
        return p + 2;
    }
    // Exactly four digits, leading zeros included.
    Q_ALWAYS_INLINE static char *write4(char *p, unsigned n)
    {
        std::memcpy(p, Pairs + 2 * (n / 100), 2);
        std::memcpy(p + 2, Pairs + 2 * (n % 100), 2);
        return p + 4;
    }
    // One UTF-16 code unit sequence as UTF-8; lone surrogates become U+FFFD.
    // Returns the code units used (1 or 2).
    static int writeUtf8(const char16_t *unit, const char16_t *end, char **out);
    // A whole text as UTF-8 at p, which has room for 3 bytes a unit.
    static char *encodeUtf8(char *p, const char16_t *text, qsizetype size);

    void flush();
    // True once a write to the stream failed (a closed pipe, a full disk).
    bool failed() const { return m_failed; }

private:
    static constexpr char Pairs[] = "0001020304050607080910111213141516171819"
                                    "2021222324252627282930313233343536373839"
                                    "4041424344454647484950515253545556575859"
                                    "6061626364656667686970717273747576777879"
                                    "8081828384858687888990919293949596979899";
    static char *writeLong(char *p, quint64 number);

    void appendLarge(const char *bytes, size_t size);
    void makeRoom(size_t size);

    std::FILE *m_out;
    std::unique_ptr<char[]> m_buffer;
    char *m_pos;
    char *m_end;
    size_t m_capacity;
    bool m_failed = false;
};
