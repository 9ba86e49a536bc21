#include "textwriter.h"

TextWriter::TextWriter(OutputBuffer *out)
    : StreamWriter(out)
{
}

void TextWriter::indent(int extra)
{
    for (int i = 0; i < m_depth + extra; ++i)
        *m_out << "  ";
}

// Control characters would break the layout of the tree: they are escaped.
void TextWriter::text(const QString &value)
{
    bool plain = true;
    for (QChar c : value) {
        if (c.unicode() < 0x20) {
            plain = false;
            break;
        }
    }
    if (plain) {
        *m_out << value;
        return;
    }
    QString escaped;
    for (QChar c : value) {
        const ushort u = c.unicode();
        if (u == '\n')
            escaped += QLatin1String("\\n");
        else if (u == '\t')
            escaped += QLatin1String("\\t");
        else if (u == '\r')
            escaped += QLatin1String("\\r");
        else if (u < 0x20)
            escaped += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    *m_out << escaped;
}

void TextWriter::beginFile(const QString &fileName, quint64 size)
{
    noteFileSize(size);
    *m_out << fileName << ", " << size << " bytes\n";
}

void TextWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
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
    indent(0);
    *m_out << name;
    if (!value.isEmpty()) {
        *m_out << " = ";
        text(value);
    }
    const QString words = meaning.trimmed();
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
}

void TextWriter::addFrame(const FrameRecord &frame)
{
    ++m_frames;
    indent(0);
    *m_out << "=> frame " << quint64(frame.number) << " of video stream " << quint64(frame.stream)
           << (frame.keyframe ? ", keyframe" : "") << '\n';
}

void TextWriter::topLevelParsed(int status)
{
    if (status != 0)
        *m_out << "# status " << quint64(status) << '\n';
}

void TextWriter::endFile()
{
    *m_out << m_frames << " video frames\n";
    m_out->flush();
}
