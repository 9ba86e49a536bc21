// SPDX-License-Identifier: MIT
#include "textwriter.h"

#include "modernfacts.h"

#include <cstring>

TextWriter::TextWriter(OutputBuffer *out, const ElementTracker &tracker)
    : m_out(out)
    , m_tracker(tracker)
{}

// The caller reserves IndentSlack bytes besides the indent itself.
char *TextWriter::indent(char *p, size_t less) const
{
    static const char spaces[IndentSlack + 1] = "                                ";
    const size_t n = 2 * (m_tracker.depth() - less);
    if (n <= IndentSlack)
        std::memcpy(p, spaces, IndentSlack);
    else
        std::memset(p, ' ', n);
    return p + n;
}

void TextWriter::text(QStringView value)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(value.data());
    m_out->commit(Escape::text(m_out->reserve(size_t(value.size()) * Escape::MaxBytesPerUnit), u,
                               value.size()));
}

void TextWriter::beginFile(const QString &fileName, quint64 size)
{
    text(fileName);
    *m_out << ", " << size << " bytes\n";
}

void TextWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    // The element is open: its line is indented as its parent's rows.
    char *p = m_out->reserve(2 * m_tracker.depth() + IndentSlack
                             + size_t(name.size()) * Escape::MaxBytesPerUnit + Texts::Slack + 64);
    p = putLiteral(m_names.put(indent(p, 1), name), "  @");
    p = OutputBuffer::writeNumber(putLiteral(OutputBuffer::writeNumber(p, offset), " len "), size);
    m_out->commit(p);
    if (m_marks & PastFileEnd)
        *m_out << "  (past the end of the file)";
    *m_out << '\n';
    m_marks = 0;
}

void TextWriter::addField(bool, quint64 offset, quint8, quint64 length, const QString &name,
                          const QString &value, const QString &, const QString &meaning, qint64)
{
    const QStringView words = meaning.isEmpty() ? QStringView() : QStringView(meaning).trimmed();
    // One bounds check for the whole row.
    char *p = m_out->reserve(2 * m_tracker.depth() + IndentSlack + 3 * Texts::Slack + 64
                             + (size_t(name.size()) + size_t(value.size()) + size_t(words.size()))
                                 * Escape::MaxBytesPerUnit);
    p = m_names.put(indent(p), name);
    if (!value.isEmpty())
        p = m_values.put(putLiteral(p, " = "), value);
    if (!words.isEmpty()) {
        // Trimmed words still lie in the meaning's characters.
        p = m_values.put(putLiteral(p, " ("), reinterpret_cast<const char16_t *>(words.data()),
                         words.size());
        *p++ = ')';
    }
    p = OutputBuffer::writeNumber(putLiteral(p, "  @"), offset);
    p = OutputBuffer::writeNumber(putLiteral(p, " len "), length);
    *p++ = '\n';
    m_out->commit(p);
}

void TextWriter::annotateElement(const QString &note)
{
    m_out->commit(indent(m_out->reserve(2 * m_tracker.depth() + IndentSlack)));
    *m_out << "# ";
    text(note);
    *m_out << '\n';
}

// Comes at the end of the checked master, under its last child.
void TextWriter::crcChecked(CrcVerdict verdict)
{
    m_out->commit(indent(m_out->reserve(2 * m_tracker.depth() + IndentSlack)));
    if (verdict == CrcVerdict::Ok)
        *m_out << "# CRC-32 ok\n";
    else
        *m_out << "# CRC-32 mismatch\n";
}

void TextWriter::endElement() {}

void TextWriter::addFrame(const FrameRecord &frame)
{
    ++m_frames;
    m_out->commit(indent(m_out->reserve(2 * m_tracker.depth() + IndentSlack)));
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
    *m_out << m_frames << " video frames\n";
    m_out->flush();
}

void ModernTextWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    endLine();
    char *p = m_out->reserve(2 * m_tracker.depth() + IndentSlack
                             + size_t(name.size()) * Escape::MaxBytesPerUnit + Texts::Slack + 80);
    p = m_names.put(indent(p, 1), name);
    if (ModernFacts::unknownId(tag))
        p = ModernFacts::hexId(putLiteral(p, " "), tag);
    p = OutputBuffer::writeNumber(putLiteral(p, "  @"), offset);
    m_out->commit(OutputBuffer::writeNumber(putLiteral(p, " len "), size));
    m_lineOpen = true;
    m_lineMarks = m_marks;
    m_marks = 0;
}

void ModernTextWriter::finishLine()
{
    m_lineOpen = false;
    if (m_lineMarks & PastFileEnd)
        *m_out << "  (past the end of the file)";
    if (m_lineMarks & PastParentEnd)
        *m_out << "  (past its parent's end)";
    *m_out << '\n';
    if (m_idHeld) {
        m_idHeld = false;
        TextWriter::addField(false, m_idOffset, quint8(RowKind::Id), m_idLength, m_idName,
                             m_idValue, QString(), m_idMeaning, -1);
    }
}

void ModernTextWriter::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                                const QString &name, const QString &value, const QString &extra,
                                const QString &meaning, qint64 tag)
{
    if (m_lineOpen) {
        const RowKind kind = rowKind(code);
        if (kind == RowKind::Id && !m_idHeld) {
            m_idHeld = true;
            m_idOffset = offset;
            m_idLength = length;
            m_idName = name;
            m_idValue = value;
            m_idMeaning = meaning;
            return;
        }
        if (kind == RowKind::Size && ModernFacts::unknownSize(m_tracker, length, tag))
            *m_out << " (size unknown)";
        finishLine();
    }
    TextWriter::addField(flag, offset, code, length, name, value, extra, meaning, tag);
}

void ModernTextWriter::annotateElement(const QString &text)
{
    endLine();
    TextWriter::annotateElement(text);
}

void ModernTextWriter::endElement()
{
    endLine();
}

void ModernTextWriter::addFrame(const FrameRecord &frame)
{
    endLine();
    TextWriter::addFrame(frame);
}

void ModernTextWriter::topLevelParsed(int status)
{
    endLine();
    TextWriter::topLevelParsed(status);
}

void ModernTextWriter::endFile()
{
    endLine();
    TextWriter::endFile();
}

void ModernTextWriter::crcChecked(CrcVerdict verdict)
{
    endLine();
    TextWriter::crcChecked(verdict);
}
