#include "textwriter.h"

#include <cstring>

TextWriter::TextWriter(OutputBuffer *out)
    : StreamWriter(out)
{
}

// Control characters would break the layout of the tree: they are escaped.
char *TextWriter::escape(char *p, const char16_t *u, qsizetype size)
{
    static const char hex[] = "0123456789abcdef";
    const char16_t *end = u + size;
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
    return p;
}

// The caller reserves IndentSlack bytes besides the indent itself.
char *TextWriter::indent(char *p) const
{
    static const char spaces[IndentSlack + 1] = "                                ";
    const size_t n = size_t(2 * m_depth);
    if (n <= IndentSlack)
        std::memcpy(p, spaces, IndentSlack);
    else
        std::memset(p, ' ', n);
    return p + n;
}

void TextWriter::text(QStringView value)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(value.data());
    m_out->commit(escape(m_out->reserve(size_t(value.size()) * 4), u, value.size()));
}

void TextWriter::beginFile(const QString &fileName, quint64 size)
{
    noteFileSize(size);
    *m_out << fileName << ", " << size << " bytes\n";
}

void TextWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    m_crc.begin(offset, size, name);
    char *p = m_out->reserve(size_t(2 * m_depth) + IndentSlack + size_t(name.size()) * 3
                             + Names::Slack + OffsetDigits::Slack + 64);
    p = putLiteral(m_names.put(indent(p), name), "  @");
    p = OutputBuffer::writeNumber(putLiteral(m_offsets.write(p, offset), " len "), size);
    m_out->commit(p);
    if (runsPastEnd(offset, size, name))
        *m_out << "  (past the end of the file)";
    *m_out << '\n';
    ++m_depth;
}

void TextWriter::addField(bool, quint64 offset, quint8, quint64 length, const QString &name,
                          const QString &value, const QString &, const QString &meaning, qint64)
{
    m_crc.row(name, offset, length);
    const QStringView words = meaning.isEmpty() ? QStringView() : QStringView(meaning).trimmed();
    // One bounds check for the whole row.
    char *p = m_out->reserve(size_t(2 * m_depth) + IndentSlack + 3 * Names::Slack
                             + OffsetDigits::Slack + 64
                             + size_t(name.size()) * 3 + size_t(value.size()) * 4
                             + size_t(words.size()) * 4);
    p = m_names.put(indent(p), name);
    if (!value.isEmpty())
        p = m_values.put(putLiteral(p, " = "), value);
    if (!words.isEmpty()) {
        // Trimmed words still lie in the meaning's characters.
        p = m_values.put(putLiteral(p, " ("), reinterpret_cast<const char16_t *>(words.data()),
                         words.size(), Values::isStaticText(meaning));
        *p++ = ')';
    }
    p = m_offsets.write(putLiteral(p, "  @"), offset);
    p = OutputBuffer::writeNumber(putLiteral(p, " len "), length);
    *p++ = '\n';
    m_out->commit(p);
}

void TextWriter::annotateElement(const QString &note)
{
    m_out->commit(indent(m_out->reserve(size_t(2 * m_depth) + IndentSlack)));
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
        m_out->commit(indent(m_out->reserve(size_t(2 * m_depth) + IndentSlack)));
        *m_out << "# CRC-32 " << CrcCheck::text(m_crc.justChecked()) << '\n';
    }
}

void TextWriter::addFrame(const FrameRecord &frame)
{
    ++m_frames;
    m_out->commit(indent(m_out->reserve(size_t(2 * m_depth) + IndentSlack)));
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
