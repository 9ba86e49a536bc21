#pragma once

#include <QString>

#include <cstdio>
#include <cstring>
#include <memory>

// A large output buffer that the writers format into directly and that goes
// to a stdio stream in big pieces.
class OutputBuffer
{
public:
    explicit OutputBuffer(std::FILE *out);
    ~OutputBuffer();
    OutputBuffer(const OutputBuffer &) = delete;
    OutputBuffer &operator=(const OutputBuffer &) = delete;

    void append(const char *bytes, size_t size)
    {
        if (size > size_t(m_end - m_pos)) {
            appendLarge(bytes, size);
            return;
        }
        std::memcpy(m_pos, bytes, size);
        m_pos += size;
    }
    // String literals, without a strlen.
    template <size_t N>
    OutputBuffer &operator<<(const char (&literal)[N])
    {
        append(literal, N - 1);
        return *this;
    }
    OutputBuffer &operator<<(char c)
    {
        if (m_pos == m_end)
            flush();
        *m_pos++ = c;
        return *this;
    }
    OutputBuffer &operator<<(quint64 number)
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

    static char *writeNumber(char *p, quint64 number);
    // One UTF-16 code unit sequence as UTF-8; lone surrogates become U+FFFD.
    // Returns the code units used (1 or 2).
    static int writeUtf8(const char16_t *unit, const char16_t *end, char **out);

    void flush();
    // True once a write to the stream failed (a closed pipe, a full disk).
    bool failed() const { return m_failed; }

private:
    void appendLarge(const char *bytes, size_t size);
    void makeRoom(size_t size);

    std::FILE *m_out;
    std::unique_ptr<char[]> m_buffer;
    char *m_pos;
    char *m_end;
    size_t m_capacity;
    bool m_failed = false;
};
