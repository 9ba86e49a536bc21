// SPDX-License-Identifier: MIT
#include "glancewriter.h"

#include "modernfacts.h"

#include <cstring>

namespace {

// SGR sequences: element names, values, notes (annotations, verdicts, the
// status) and the past-the-end mark.
constexpr char NameColor[] = "\x1b[1;34m";
constexpr char ValueColor[] = "\x1b[32m";
constexpr char NoteColor[] = "\x1b[36m";
constexpr char AlarmColor[] = "\x1b[31m";
constexpr char Reset[] = "\x1b[0m";

char *hex(char *p, quint64 n)
{
    static const char digits[] = "0123456789abcdef";
    int count = 1;
    for (quint64 rest = n >> 4; rest; rest >>= 4)
        ++count;
    p = putLiteral(p, "0x");
    for (int i = count - 1; i >= 0; --i, n >>= 4)
        p[i] = digits[n & 15];
    return p + count;
}

} // namespace

GlanceWriter::GlanceWriter(OutputBuffer *out, const Settings &settings,
                           const ElementTracker &tracker)
    : m_out(out)
    , m_settings(settings)
    , m_tracker(tracker)
    , m_shown(settings.elements.isEmpty())
{}

// The caller reserves IndentSlack bytes besides the indent itself.
char *GlanceWriter::indent(char *p, int depth) const
{
    static const char spaces[IndentSlack + 1] = "                                ";
    const size_t n = size_t(2 * depth);
    if (n <= IndentSlack)
        std::memcpy(p, spaces, IndentSlack);
    else
        std::memset(p, ' ', n);
    return p + n;
}

// Inline where a line says it: the default walk of many-blocks from 1,165.9M
// to 1,157.6M instructions.
Q_ALWAYS_INLINE char *GlanceWriter::offset(char *p, quint64 offset) const
{
    p = putLiteral(p, "  @");
    return m_settings.hexOffsets ? hex(p, offset) : OutputBuffer::writeNumber(p, offset);
}

// " (MEANING)", trimmed; the trimmed words still lie in the meaning's
// characters.
char *GlanceWriter::meaningWords(char *p, const QString &meaning)
{
    const QStringView words = QStringView(meaning).trimmed();
    if (words.isEmpty())
        return p;
    p = m_values.put(putLiteral(p, " ("), reinterpret_cast<const char16_t *>(words.data()),
                     words.size());
    *p++ = ')';
    return p;
}

void GlanceWriter::text(QStringView value)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(value.data());
    m_out->commit(Escape::text(m_out->reserve(size_t(value.size()) * Escape::MaxBytesPerUnit), u,
                               value.size()));
}

void GlanceWriter::finishLine()
{
    m_open = false;
    if (m_listOpen) {
        m_listOpen = false;
        *m_out << ')';
    }
    if (m_lineMarks)
        marksShown();
    *m_out << '\n';
}

// The marks that the line says: the past-parent one only in the modern
// reading (mark()).
void GlanceWriter::marksShown()
{
    if (m_lineMarks & PastFileEnd) {
        if (m_settings.color)
            *m_out << "  " << AlarmColor << "(past the end of the file)" << Reset;
        else
            *m_out << "  (past the end of the file)";
    }
    if (m_lineMarks & PastParentEnd) {
        if (m_settings.color)
            *m_out << "  " << AlarmColor << "(past its parent's end)" << Reset;
        else
            *m_out << "  (past its parent's end)";
    }
}

void GlanceWriter::noteStart()
{
    closeLine();
    char *p = indent(m_out->reserve(size_t(2 * depth()) + IndentSlack + 16), depth());
    if (m_settings.color)
        p = putLiteral(p, NoteColor);
    m_out->commit(putLiteral(p, "# "));
}

void GlanceWriter::noteEnd()
{
    if (m_settings.color)
        *m_out << Reset;
    *m_out << '\n';
}

void GlanceWriter::beginFile(const QString &fileName, quint64 size)
{
    text(fileName);
    *m_out << ", " << size << " bytes\n";
}

void GlanceWriter::beginElement(quint64 at, quint64 size, const QString &name, qint64 tag)
{
    closeLine();
    const int d = depth() - 1; // it is open
    const unsigned marks = m_marks;
    m_marks = 0;
    if (m_subtree < 0 && !m_settings.elements.isEmpty() && m_settings.elements.contains(name))
        m_subtree = d;
    m_shown = printed(d);
    if (!m_shown) {
        if (inSubtree(d))
            ++m_below; // deeper than --depth
        return;
    }
    char *p = m_out->reserve(size_t(2 * d) + IndentSlack + LineSlack + Texts::Slack
                             + size_t(name.size()) * Escape::MaxBytesPerUnit);
    p = indent(p, d);
    if (m_settings.color)
        p = putLiteral(m_names.put(putLiteral(p, NameColor), name), Reset);
    else
        p = m_names.put(p, name);
    if (m_settings.modern && ModernFacts::unknownId(tag))
        p = ModernFacts::hexId(putLiteral(p, " "), tag);
    p = OutputBuffer::writeNumber(putLiteral(offset(p, at), " len "), size);
    m_out->commit(p);
    m_open = true;
    m_valued = false;
    m_lineMarks = marks;
}

void GlanceWriter::addField(bool, quint64 at, quint8 code, quint64 length, const QString &name,
                            const QString &value, const QString &, const QString &meaning, qint64)
{
    // The element's own line says its name and length, and its value.
    const RowKind kind = rowKind(code);
    if (!m_shown || kind == RowKind::Id || kind == RowKind::Size)
        return;
    const size_t texts = (size_t(name.size()) + size_t(value.size()) + size_t(meaning.size()))
        * Escape::MaxBytesPerUnit;
    if (m_open && !m_valued && kind == RowKind::Value) {
        // On the element's own line.
        m_valued = true;
        if (value.isEmpty() && meaning.isEmpty())
            return;
        char *p = m_out->reserve(LineSlack + 2 * Texts::Slack + texts);
        if (!value.isEmpty()) {
            p = putLiteral(p, " = ");
            if (m_settings.color)
                p = putLiteral(m_values.put(putLiteral(p, ValueColor), value), Reset);
            else
                p = m_values.put(p, value);
        }
        m_out->commit(words(p, meaning));
        return;
    }
    closeLine();
    // One bounds check for the whole row.
    char *p
        = m_out->reserve(size_t(2 * depth()) + IndentSlack + LineSlack + 3 * Texts::Slack + texts);
    p = m_names.put(indent(p, depth()), name);
    if (!value.isEmpty()) {
        p = putLiteral(p, " = ");
        if (m_settings.color)
            p = putLiteral(m_values.put(putLiteral(p, ValueColor), value), Reset);
        else
            p = m_values.put(p, value);
    }
    p = OutputBuffer::writeNumber(putLiteral(offset(words(p, meaning), at), " len "), length);
    *p++ = '\n';
    m_out->commit(p);
}

void GlanceWriter::annotateElement(const QString &note)
{
    if (!m_shown)
        return;
    noteStart();
    text(note);
    noteEnd();
}

// Comes at the end of the checked master, under its last child.
void GlanceWriter::crcChecked(CrcVerdict verdict)
{
    if (!m_shown)
        return;
    noteStart();
    if (verdict == CrcVerdict::Ok)
        *m_out << "CRC-32 ok";
    else
        *m_out << "CRC-32 mismatch";
    noteEnd();
}

void GlanceWriter::endElement()
{
    closeLine();
    if (depth() == 0)
        return;
    const int d = depth() - 1; // it is open until the chain has passed this on
    if (m_below && m_shown) {
        // The element of depth --depth ends: what was under it, counted.
        char *p = indent(m_out->reserve(size_t(2 * d) + IndentSlack + 64), d + 1);
        p = OutputBuffer::writeNumber(putLiteral(p, "... "), m_below);
        if (m_below == 1)
            p = putLiteral(p, " element below\n");
        else
            p = putLiteral(p, " elements below\n");
        m_out->commit(p);
        m_below = 0;
    }
    if (d == m_subtree)
        m_subtree = -1;
    m_shown = printed(d - 1);
}

void GlanceWriter::addFrame(const FrameRecord &frame)
{
    ++m_frames;
    if (!m_shown)
        return;
    closeLine();
    m_out->commit(indent(m_out->reserve(size_t(2 * depth()) + IndentSlack), depth()));
    *m_out << "=> frame " << quint64(frame.number) << " of video stream " << quint64(frame.stream);
    if (frame.keyframe)
        *m_out << ", keyframe";
    *m_out << '\n';
}

void GlanceWriter::topLevelParsed(int status)
{
    closeLine();
    if (status == 0)
        return;
    if (m_settings.color)
        *m_out << NoteColor << "# status " << quint64(status) << Reset << '\n';
    else
        *m_out << "# status " << quint64(status) << '\n';
}

void GlanceWriter::endFile()
{
    closeLine();
    *m_out << m_frames << " video frames\n";
    m_out->flush();
}

void ModernGlanceWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    GlanceWriter::beginElement(offset, size, name, tag);
    m_simple = tag == qint64(MatroskaSchema::Id::SimpleBlock);
    m_block = m_simple || tag == qint64(MatroskaSchema::Id::Block);
    m_flags = 0;
    m_flagged = false;
}

// "00:00:00.683" for 00:00:00.683000000: the digits that are not zeros in
// groups of three.
void ModernGlanceWriter::time(qint64 ticks, const QString &meaning)
{
    QStringView shown = QStringView(meaning).trimmed();
    if (shown.isEmpty()) {
        *m_out << ", timestamp " << QByteArray::number(ticks); // no Cluster time to add it to
        return;
    }
    const qsizetype point = shown.lastIndexOf(u'.');
    while (point >= 0 && shown.size() - point > 4 && shown.endsWith(u"000"))
        shown.chop(3);
    *m_out << ", ";
    text(shown);
}

void ModernGlanceWriter::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                                  const QString &name, const QString &value, const QString &extra,
                                  const QString &meaning, qint64 tag)
{
    // The Size row comes while the element's line is open; the line says
    // the rest of the element's header.
    const RowKind kind = rowKind(code);
    if (kind == RowKind::Size) {
        if (m_shown && m_open && !m_valued && ModernFacts::unknownSize(m_tracker, length, tag))
            *m_out << " (size unknown)";
        return;
    }
    if (kind == RowKind::Id)
        return;
    if (onBlockLine()) {
        switch (kind) {
        case RowKind::TrackNumber: *m_out << ": track " << quint64(tag); return;
        case RowKind::Timecode: time(tag, meaning); return;
        case RowKind::Flags: {
            static const char *const lacings[]
                = {"", ", Xiph lacing", ", fixed-size lacing", ", EBML lacing"};
            m_flags = quint8(tag);
            m_flagged = true;
            if (m_simple && (m_flags & 0x80))
                *m_out << ", key";
            if (m_flags & 0x08)
                *m_out << ", invisible";
            if (m_simple && (m_flags & 0x01))
                *m_out << ", discardable";
            *m_out << lacings[(m_flags >> 1) & 3];
            return;
        }
        case RowKind::Data:
            // The frame data, after the flags; laced, its frames' sizes
            // follow. Before them, a field that the file's end cuts.
            if (!m_flagged)
                break;
            if (!(m_flags & 0x06))
                *m_out << ", " << length << " bytes";
            return;
        case RowKind::LaceCount:
            *m_out << ", " << quint64(tag) << (tag == 1 ? " frame (" : " frames (");
            m_listOpen = true;
            m_first = true;
            return;
        case RowKind::LaceSize: return; // the frames' sizes say them
        case RowKind::Frame:
            if (m_listOpen) {
                if (!m_first)
                    *m_out << ' ';
                m_first = false;
                *m_out << length;
                return;
            }
            break;
        default: break;
        }
        // A field the file's end cuts: on a line of its own, as are the rows
        // after it.
    }
    GlanceWriter::addField(flag, offset, code, length, name, value, extra, meaning, tag);
}

void ModernGlanceWriter::addFrame(const FrameRecord &frame)
{
    if (!onBlockLine())
        return GlanceWriter::addFrame(frame);
    ++m_frames;
    if (m_listOpen) {
        m_listOpen = false;
        *m_out << ')';
    }
    // A Block's keyframe is its BlockGroup's word: no ReferenceBlock.
    if (!m_simple && frame.keyframe)
        *m_out << ", key";
    *m_out << ", video frame " << quint64(frame.number);
}
