#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// A large output buffer that writers format into and that goes to a stdio
// stream in big pieces.
class OutputBuffer
{
public:
    explicit OutputBuffer(std::FILE *out);
    ~OutputBuffer();
    OutputBuffer(const OutputBuffer &) = delete;
    OutputBuffer &operator=(const OutputBuffer &) = delete;

    OutputBuffer &operator<<(const char *text);
    OutputBuffer &operator<<(char c);
    OutputBuffer &operator<<(quint64 number);
    OutputBuffer &operator<<(const QByteArray &bytes);
    OutputBuffer &operator<<(const QString &text); // as UTF-8
    void append(const char *bytes, qsizetype size);

    void flush();
    // True once a write to the stream failed (a closed pipe, a full disk).
    bool failed() const { return m_failed; }

private:
    std::FILE *m_out;
    QByteArray m_buffer;
    bool m_failed = false;
};
