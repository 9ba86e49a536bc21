// SPDX-License-Identifier: MIT
#include "htmlwriter.h"

#include "escape.h"
#include "htmlassets.h"
#include "inputdevice.h"
#include "lineformat.h"

#include <cstring>
#include <initializer_list>
#include <utility>

using namespace ReportFormat;

namespace {

constexpr quint64 ChunkBytes = 4 << 20; // a script element holds about this much
constexpr int MaxTexts = 65536;         // entries of the table of repeated texts
constexpr int MaxTextChars = 64;        // longest text that goes into it

const char NodesOpen[] = "<script type=\"text/x-vantorel-nodes\">\n";
const char FramesOpen[] = "<script type=\"text/x-vantorel-frames\">\n";
const char ScriptClose[] = "</script>\n";

void putNumber(std::string &s, quint64 n)
{
    char digits[24];
    s.append(digits, size_t(OutputBuffer::writeNumber(digits, n) - digits));
}

void putSigned(std::string &s, qint64 n)
{
    if (n < 0) {
        s += '-';
        putNumber(s, quint64(0) - quint64(n));
    } else {
        putNumber(s, quint64(n));
    }
}

// An escaped text, with quotes when it is a JSON string.
void putText(std::string &s, QStringView text, bool quoted)
{
    const size_t start = s.size();
    s.resize(start + size_t(text.size()) * Escape::MaxBytesPerUnit + 2);
    char *p = &s[start];
    if (quoted)
        *p++ = '"';
    p = Escape::html(p, reinterpret_cast<const char16_t *>(text.data()), text.size());
    if (quoted)
        *p++ = '"';
    s.resize(size_t(p - s.data()));
}

void putJson(std::string &s, QStringView text)
{
    putText(s, text, true);
}

// The largest integer that the page's script reads exactly as a number.
constexpr quint64 SafeInteger = (quint64(1) << 53) - 1;

// The members of a JSON object, numbers or texts, without its braces.
struct Field
{
    Field(const char *key, quint64 number)
        : key(key)
        , number(number)
    {}
    Field(const char *key, const QString *text)
        : key(key)
        , text(text)
    {}
    const char *key;
    quint64 number = 0;
    const QString *text = nullptr;
};

void putFields(std::string &s, std::initializer_list<Field> fields)
{
    for (const Field &field : fields) {
        if (&field != fields.begin())
            s += ", ";
        s += '"';
        s += field.key;
        s += "\": ";
        if (field.text) {
            putJson(s, *field.text);
        } else if (field.number > SafeInteger) {
            // Past what a double holds exactly: the page reads it as a text.
            s += '"';
            putNumber(s, field.number);
            s += '"';
        } else {
            putNumber(s, field.number);
        }
    }
}

template <size_t N> void putNames(std::string &s, const char *key, const char *const (&names)[N])
{
    s += '"';
    s += key;
    s += "\": [";
    for (size_t i = 0; i < N; ++i) {
        s += i ? ", \"" : "\"";
        s += names[i];
        s += '"';
    }
    s += ']';
}

HtmlWriter::Settings sane(HtmlWriter::Settings s)
{
    s.hexLimit = qMin(s.hexLimit, s.hexBudget);
    return s;
}

} // namespace

HtmlWriter::HtmlWriter(OutputBuffer *out, InputDevice *input, const Settings &settings,
                       const ElementTracker &tracker)
    : m_out(out)
    , m_settings(sane(settings))
    , m_input(input)
    , m_tracker(tracker)
{}

void HtmlWriter::beginFile(const QString &fileName, quint64 size)
{
    m_size = size;
    // The page's script puts the file's name into the title.
    *m_out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
              "<title>vantorel-inspect</title>\n<style>\n";
    m_out->append(ReportCss, sizeof ReportCss - 1);
    *m_out << "</style></head>\n<body>\n";
    m_out->append(ReportBody, sizeof ReportBody - 1);
    std::string meta = "<script type=\"application/json\" id=\"vt-meta\">{\"file\": ";
    putJson(meta, fileName);
    const std::pair<const char *, quint64> numbers[] = {
        {"size", size},
        {"hexLimit", m_settings.hexLimit},
        {"maxNodes", m_settings.maxNodes},
        {"maxRows", m_settings.maxRows},
        {"hexBudget", m_settings.hexBudget},
        {"headBytes", HeadBytes},
        {"maxFrames", m_settings.maxFrames},
        {"pastFileEnd", FlagPastFileEnd},
        {"pastParentEnd", FlagPastParentEnd},
        {"headOnly", FlagHeadOnly},
    };
    for (const auto &number : numbers) {
        meta += ", \"";
        meta += number.first;
        meta += "\": ";
        putNumber(meta, number.second);
    }
    meta += m_input ? ", \"bytes\": true" : ", \"bytes\": false";
    meta += ", \"layout\": {";
    putNames(meta, "node", NodeFieldNames);
    meta += ", ";
    putNames(meta, "row", RowFieldNames);
    meta += ", ";
    putNames(meta, "late", LateFieldNames);
    meta += ", ";
    putNames(meta, "frame", FrameFieldNames);
    meta += ", \"textLine\": \"";
    meta += TextLine;
    meta += "\", \"lateLine\": \"";
    meta += LateLine;
    meta += "\", \"reference\": \"";
    meta += Reference;
    meta += "\"}}";
    meta += ScriptClose;
    meta += NodesOpen;
    m_out->append(meta.data(), meta.size());
}

void HtmlWriter::writeLine(const std::string &line)
{
    if (m_chunk > ChunkBytes) {
        *m_out << ScriptClose << NodesOpen;
        m_chunk = 0;
    }
    m_out->append(line.data(), line.size());
    m_out->append("\n", 1);
    m_chunk += line.size() + 1;
}

// A text as a field: escaped, and cut when very long.
void HtmlWriter::text(std::string &line, QStringView value, bool mayIntern)
{
    if (mayIntern && !value.isEmpty()) {
        reference(line, value.toString());
        return;
    }
    bool cut = false;
    if (value.size() > MaxValueChars) {
        qsizetype keep = MaxValueChars;
        if (value.at(keep - 1).isHighSurrogate())
            --keep;
        value = value.left(keep);
        cut = true;
    }
    putText(line, value, false);
    if (cut)
        line += "\xe2\x80\xa6";
}

// A repeated text as a reference to the table, which gets it on first use.
void HtmlWriter::reference(std::string &line, const QString &value)
{
    if (value.isEmpty())
        return;
    auto found = m_texts.constFind(value);
    if (found == m_texts.constEnd()) {
        if (m_texts.size() >= MaxTexts || value.size() > MaxTextChars) {
            text(line, value, false);
            return;
        }
        found = m_texts.insert(value, int(m_texts.size()));
        std::string definition(1, TextLine);
        text(definition, value, false);
        writeLine(definition);
    }
    line += Reference;
    putNumber(line, quint64(found.value()));
}

void HtmlWriter::writeBase64(std::string &line, quint64 offset, quint64 count)
{
    static const char alphabet[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (!m_input || count == 0)
        return;
    m_read.resize(size_t(count));
    const qint64 n = m_input->readDirect(qint64(offset), reinterpret_cast<char *>(m_read.data()),
                                         qint64(count));
    if (n <= 0)
        return;
    const unsigned char *b = m_read.data();
    const size_t size = size_t(n);
    const size_t start = line.size();
    line.resize(start + (size + 2) / 3 * 4);
    char *p = &line[start];
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const quint32 v = quint32(b[i]) << 16 | quint32(b[i + 1]) << 8 | b[i + 2];
        *p++ = alphabet[v >> 18];
        *p++ = alphabet[(v >> 12) & 63];
        *p++ = alphabet[(v >> 6) & 63];
        *p++ = alphabet[v & 63];
    }
    if (i < size) {
        const quint32 v = quint32(b[i]) << 16 | (i + 1 < size ? quint32(b[i + 1]) << 8 : 0);
        *p++ = alphabet[v >> 18];
        *p++ = alphabet[(v >> 12) & 63];
        *p++ = i + 1 < size ? alphabet[(v >> 6) & 63] : '=';
        *p++ = '=';
    }
    m_hexBytes += size;
}

void HtmlWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    ++m_elements;
    const unsigned marks = m_marks;
    m_marks = 0;
    quint8 flags = 0;
    if (marks & PastFileEnd)
        flags |= FlagPastFileEnd;
    if (marks & PastParentEnd)
        flags |= FlagPastParentEnd;
    m_pastFile += (flags & FlagPastFileEnd) != 0;
    m_pastParent += (flags & FlagPastParentEnd) != 0;
    m_pastEither += flags != 0;
    Q_UNUSED(size);
    Open *parent = m_open.empty() ? nullptr : &m_open.back();
    // A master's line goes out before its first child's, with the bytes up
    // to that child.
    if (parent && !parent->flushed)
        flush(*parent, *m_tracker.parent(),
              m_open.size() >= 2 ? m_open[m_open.size() - 2].index : -1, offset);

    Open node;
    node.flags = flags;
    const bool embed = m_embedded < m_settings.maxNodes && (!parent || parent->index >= 0);
    if (embed) {
        node.index = qint64(m_embedded++);
        node.owner = qint64(m_open.size());
        m_pendingName.clear();
        reference(m_pendingName, name);
        m_rows.clear();
        m_rowEnd = offset;
    } else {
        node.index = -1;
        node.owner = parent ? parent->owner : -1;
        node.flushed = true;
        if (node.owner >= 0)
            ++m_open[size_t(node.owner)].omitted;
    }
    m_open.push_back(std::move(node));
}

void HtmlWriter::flush(Open &node, const OpenElement &element, qint64 parentIndex, quint64 bytesTo)
{
    node.flushed = true;
    m_line.clear();
    putSigned(m_line, parentIndex);
    m_line += '\t';
    m_line += m_pendingName;
    m_line += '\t';
    putNumber(m_line, element.offset);
    m_line += '\t';
    putNumber(m_line, element.size);
    m_line += '\t';
    // The element's bytes up to bytesTo, the file's end and the limits; once
    // the budget is spent, only the first few.
    quint64 count = bytesTo > element.offset ? bytesTo - element.offset : 0;
    count = qMin(count, element.size);
    count = qMin(count, element.offset < m_size ? m_size - element.offset : 0);
    count = qMin(count, m_settings.hexLimit);
    quint8 flags = node.flags;
    const quint64 left = m_settings.hexBudget - qMin(m_hexBytes, m_settings.hexBudget);
    if (count > left && count > HeadBytes) {
        count = qMax(left, HeadBytes);
        flags |= FlagHeadOnly;
        ++m_headOnly;
    }
    putNumber(m_line, flags);
    m_line += '\t';
    writeBase64(m_line, element.offset, count);
    m_line += '\t';
    if (node.annotated) {
        text(m_line, node.annotation, false);
        node.annotated = false;
    }
    m_line += '\t';
    if (node.crc != CrcVerdict::None) {
        m_line += crcText(node.crc);
        node.crc = CrcVerdict::None;
    }
    m_line += '\t';
    if (node.rowsOmitted)
        putNumber(m_line, node.rowsOmitted);
    m_line += m_rows;
    m_rows.clear();
    writeLine(m_line);
}

void HtmlWriter::addField(bool, quint64 offset, quint8 code, quint64 length, const QString &name,
                          const QString &value, const QString &, const QString &meaning, qint64)
{
    if (m_open.empty())
        return;
    Open &node = m_open.back();
    // This plug-in adds every row of a node before its first child.
    if (m_tracker.current().children || node.flushed)
        return;
    ++m_rowCount;
    if (m_rowsEmbedded >= m_settings.maxRows) {
        ++node.rowsOmitted;
        return;
    }
    ++m_rowsEmbedded;
    m_rows += '\t';
    reference(m_rows, name);
    m_rows += '\t';
    if (offset != m_rowEnd)
        putSigned(m_rows, qint64(offset - m_tracker.current().offset));
    m_rows += '\t';
    putNumber(m_rows, length);
    m_rows += '\t';
    // The id row names the element: a repeated text.
    text(m_rows, value, rowKind(code) == RowKind::Id);
    m_rows += '\t';
    reference(m_rows, meaning);
    m_rowEnd = offset + length;
}

void HtmlWriter::noteElement(NoteKind kind, const QString &text)
{
    m_unknown += kind == NoteKind::UnknownElement;
    annotateElement(text);
}

void HtmlWriter::annotateElement(const QString &note)
{
    if (m_open.empty())
        return;
    Open &node = m_open.back();
    if (node.index < 0)
        return;
    node.annotation = note;
    node.annotated = true;
}

void HtmlWriter::crcChecked(CrcVerdict verdict)
{
    if (!m_open.empty())
        m_open.back().crc = verdict;
}

void HtmlWriter::endElement()
{
    if (m_open.empty())
        return;
    Open &node = m_open.back();
    const qint64 parentIndex = m_open.size() >= 2 ? m_open[m_open.size() - 2].index : -1;
    if (node.index >= 0) {
        if (!node.flushed) {
            const OpenElement &element = m_tracker.at(m_open.size() - 1);
            flush(node, element, parentIndex, element.end);
        } else if (node.annotated || node.crc != CrcVerdict::None || node.omitted) {
            m_line.assign(1, LateLine);
            putNumber(m_line, quint64(node.index));
            m_line += '\t';
            if (node.annotated)
                text(m_line, node.annotation, false);
            m_line += '\t';
            if (node.crc != CrcVerdict::None)
                m_line += crcText(node.crc);
            m_line += '\t';
            if (node.omitted)
                putNumber(m_line, node.omitted);
            writeLine(m_line);
        }
    }
    if (m_open.size() == 1)
        m_lastTopLevel = node.index;
    m_open.pop_back();
}

void HtmlWriter::topLevelParsed(int status)
{
    if (status == 0 || m_lastTopLevel < 0)
        return;
    m_line.assign(1, LateLine);
    putNumber(m_line, quint64(m_lastTopLevel));
    m_line += "\t\t\t\t";
    putSigned(m_line, status);
    writeLine(m_line);
}

void HtmlWriter::addFrame(const FrameRecord &frame)
{
    ++m_frameCount;
    if (m_framesEmbedded < m_settings.maxFrames) {
        ++m_framesEmbedded;
        m_frames.add(Frame {frame, m_frameFacts, m_open.empty() ? -1 : m_open.back().index});
    }
    m_frameFacts = FrameFacts();
}

void HtmlWriter::writeFrame(const Frame &f)
{
    std::string &line = m_line;
    line.clear();
    putNumber(line, f.frame.stream);
    line += '\t';
    putNumber(line, f.frame.number);
    line += '\t';
    putNumber(line, f.frame.offset);
    line += '\t';
    putNumber(line, f.frame.size);
    line += f.frame.keyframe ? "\t1\t" : "\t0\t";
    if (qint64 us = 0; f.facts.microseconds(&us))
        putSigned(line, us);
    line += '\t';
    putSigned(line, f.node);
    line += '\n';
    m_chunk += line.size();
    if (m_chunk > ChunkBytes) {
        line += ScriptClose;
        line += FramesOpen;
        m_chunk = 0;
    }
    m_out->append(line.data(), line.size());
}

void HtmlWriter::pastEndFound(const PastEnd &first)
{
    m_pastEndFound = true;
    m_firstPastEnd = first;
}

void HtmlWriter::tracksSummed(const TrackSummary &summary)
{
    m_summary = summary;
}

void HtmlWriter::writeSummary()
{
    const quint64 counts[] = {m_elements,
                              m_embedded,
                              m_rowCount,
                              m_rowsEmbedded,
                              m_unknown,
                              m_pastEither,
                              m_pastFile,
                              m_pastParent,
                              m_hexBytes,
                              m_headOnly,
                              m_summary.timecodeScale,
                              m_frameCount,
                              m_framesEmbedded};
    std::string s = "<script type=\"application/json\" id=\"vt-summary\">{";
    putFields(s,
              {{"elements", counts[0]},
               {"embedded", counts[1]},
               {"rows", counts[2]},
               {"rowsEmbedded", counts[3]},
               {"unknown", counts[4]},
               {"pastEnd", counts[5]},
               {"pastFileEnd", counts[6]},
               {"pastParentEnd", counts[7]},
               {"hexBytes", counts[8]},
               {"headOnly", counts[9]},
               {"timecodeScale", counts[10]},
               {"frames", counts[11]},
               {"framesEmbedded", counts[12]}});
    s += ", \"tracks\": [";
    for (const TrackFacts &t : m_summary.tracks) {
        s += &t == m_summary.tracks.data() ? "{" : ", {";
        putFields(s,
                  {{"number", t.number},
                   {"type", t.type},
                   {"typeName", &t.typeName},
                   {"codec", &t.codec},
                   {"width", &t.width},
                   {"height", &t.height},
                   {"language", &t.language},
                   {"codecDelay", &t.codecDelay},
                   {"samplingRate", &t.samplingRate},
                   {"channels", &t.channels},
                   {"defaultDuration", &t.defaultDuration}});
        s += '}';
    }
    s += "], ";
    putFields(s, {{"tracksOmitted", m_summary.tracksOmitted}});
    s += ", \"streams\": [";
    for (const StreamFacts &stream : m_summary.streams) {
        s += &stream == m_summary.streams.data() ? "{" : ", {";
        putFields(s,
                  {{"stream", stream.stream}, {"track", stream.track}, {"frames", stream.frames}});
        s += '}';
    }
    s += "], ";
    putFields(s, {{"streamFramesOmitted", m_summary.streamFramesOmitted}});
    if (m_pastEndFound) {
        s += ", \"firstPastEnd\": {";
        putFields(s,
                  {{"name", &m_firstPastEnd.name},
                   {"offset", m_firstPastEnd.offset},
                   {"size", m_firstPastEnd.size},
                   {"remaining", m_firstPastEnd.remaining}});
        s += '}';
    }
    s += '}';
    s += ScriptClose;
    m_out->append(s.data(), s.size());
}

void HtmlWriter::endFile()
{
    while (!m_open.empty())
        endElement();
    *m_out << ScriptClose << FramesOpen;
    m_chunk = 0;
    m_frames.drain([this](const Frame &frame) { writeFrame(frame); });
    *m_out << ScriptClose;
    writeSummary();
    *m_out << "<script>\n";
    m_out->append(ReportJs, sizeof ReportJs - 1);
    *m_out << "</script>\n</body></html>\n";
    m_out->flush();
}
