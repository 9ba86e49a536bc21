#include "textwriter.h"

#include <cstring>

TextWriter::TextWriter(OutputBuffer *out)
    : StreamWriter(out)
{
}

void TextWriter::indent(int extra)
{
    const size_t n = size_t(2 * (m_depth + extra));
    char *p = m_out->reserve(n);
    std::memset(p, ' ', n);
    m_out->commit(p + n);
}

// Control characters would break the layout of the tree: they are escaped.
void TextWriter::text(QStringView value)
{
    static const char hex[] = "0123456789abcdef";
    const char16_t *u = reinterpret_cast<const char16_t *>(value.constData());
    const char16_t *end = u + value.size();
    char *p = m_out->reserve(size_t(value.size()) * 4);
    while (u != end) {
        const char16_t c = *u;
        if (c >= 0x20 && c < 0x80) {
            *p++ = char(c);
            ++u;
        } else if (c >= 0x80) {
            u += OutputBuffer::writeUtf8(u, end, &p);
        } else {
            ++u;
            *p++ = '\\';
            if (c == '\n') {
                *p++ = 'n';
            } else if (c == '\t') {
                *p++ = 't';
            } else if (c == '\r') {
                *p++ = 'r';
            } else {
                *p++ = 'x';
                *p++ = hex[c >> 4];
                *p++ = hex[c & 15];
            }
        }
    }
    m_out->commit(p);
}

void TextWriter::beginFile(const QString &fileName, quint64 size)
{
    noteFileSize(size);
    *m_out << fileName << ", " << size << " bytes\n";
}

void TextWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    m_crc.begin(offset, size, name);
    indent(0);
    *m_out << name << "  @" << offset << " len " << size;
    if (runsPastEnd(offset, size, name))
        *m_out << "  (past the end of the file)";
    *m_out << '\n';
    ++m_depth;
}

void TextWriter::addField(bool, quint64 offset, quint8, quint64 length, const QString &name,
                          const QString &value, const QString &, const QString &meaning, qint64)
{
    m_crc.row(name, offset, length);
    indent(0);
    *m_out << name;
    if (!value.isEmpty()) {
        *m_out << " = ";
        text(value);
    }
    const QStringView words = QStringView(meaning).trimmed();
    if (!words.isEmpty()) {
        *m_out << " (";
        text(words);
        *m_out << ')';
    }
    *m_out << "  @" << offset << " len " << length << '\n';
}

void TextWriter::annotateElement(const QString &note)
{
    indent(0);
    *m_out << "# ";
    text(note);
    *m_out << '\n';
}

void TextWriter::endElement()
{
    if (m_depth > 0)
        --m_depth;
    m_crc.end();
    // A checked CRC-32 says so under itself, in its master.
    if (m_crc.justChecked() != CrcCheck::None) {
        indent(0);
        *m_out << "# CRC-32 " << CrcCheck::text(m_crc.justChecked()) << '\n';
    }
}

void TextWriter::addFrame(const FrameRecord &frame)
{
    ++m_frames;
    indent(0);
    *m_out << "=> frame " << quint64(frame.number) << " of video stream " << quint64(frame.stream);
    if (frame.keyframe)
        *m_out << ", keyframe";
    *m_out << '\n';
}

void TextWriter::topLevelParsed(int status)
{
    if (status != 0)
        *m_out << "# status " << quint64(status) << '\n';
}

void TextWriter::endFile()
{
    m_progress.stop();
    *m_out << m_frames << " video frames\n";
    m_out->flush();
}
