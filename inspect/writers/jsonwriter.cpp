// SPDX-License-Identifier: MIT
#include "jsonwriter.h"

namespace {

// Most bytes a text takes as a JSON string.
size_t jsonSize(const QString &text)
{
    return size_t(text.size()) * Escape::MaxBytesPerUnit + 2;
}

} // namespace

JsonWriter::JsonWriter(OutputBuffer *out, const ElementTracker &tracker)
    : m_out(out)
    , m_tracker(tracker)
{}

void JsonWriter::writeString(const QString &text)
{
    const auto *units = reinterpret_cast<const char16_t *>(text.constData());
    m_out->commit(Escape::jsonQuoted(m_out->reserve(jsonSize(text)), units, text.size()));
}

void JsonWriter::beginFile(const QString &fileName, quint64 size)
{
    m_takesRows = false;
    *m_out << "{\"file\": ";
    writeString(fileName);
    *m_out << ", \"size\": " << size << ",\n \"elements\": [";
}

void JsonWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    // The element is open: its parent, if any, is the one before it.
    if (const OpenElement *parent = m_tracker.parent()) {
        if (parent->children == 1)
            *m_out << "], \"children\": [";
        else
            *m_out << ", ";
    } else {
        if (m_pendingTopLevel) // a top-level node whose status never came
            topLevelParsed(0);
        if (m_elementWritten)
            *m_out << ',';
        *m_out << "\n  ";
        m_elementWritten = true;
    }
    *m_out << "{\"name\": ";
    char *p = m_out->reserve(64 + jsonSize(name) + Strings::Slack);
    p = OutputBuffer::writeNumber(putLiteral(m_strings.put(p, name), ", \"offset\": "), offset);
    m_out->commit(OutputBuffer::writeNumber(putLiteral(p, ", \"size\": "), size));
    if (m_marks & PastFileEnd)
        *m_out << ", \"past_end\": true";
    m_marks = 0;
    *m_out << ", \"rows\": [";
    m_rowsWritten = false;
    m_takesRows = true;
}

void JsonWriter::addField(bool, quint64 offset, quint8, quint64 length, const QString &name,
                          const QString &value, const QString &, const QString &meaning, qint64)
{
    // This plug-in adds every row of a node before its first child.
    if (!m_takesRows)
        return;
    // One bounds check for the whole row.
    char *p = m_out->reserve(128 + Strings::Slack + jsonSize(name) + jsonSize(value)
                             + jsonSize(meaning));
    if (m_rowsWritten)
        p = putLiteral(p, ", ");
    m_rowsWritten = true;
    p = m_strings.put(putLiteral(p, "{\"name\": "), name);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"offset\": "), offset);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"length\": "), length);
    // Most rows have no meaning, and data rows no value either.
    if (value.isEmpty())
        p = putLiteral(p, ", \"value\": \"\"");
    else
        p = m_strings.put(putLiteral(p, ", \"value\": "), value);
    if (meaning.isEmpty()) {
        p = putLiteral(p, ", \"meaning\": \"\"}");
    } else {
        p = m_strings.put(putLiteral(p, ", \"meaning\": "), meaning);
        *p++ = '}';
    }
    m_out->commit(p);
}

JsonWriter::Pending &JsonWriter::pending()
{
    const size_t depth = m_tracker.depth() - 1;
    if (m_pending.empty() || m_pending.back().depth != depth)
        m_pending.push_back(Pending {depth, false, CrcVerdict::None, QString()});
    return m_pending.back();
}

void JsonWriter::annotateElement(const QString &text)
{
    if (m_tracker.empty())
        return;
    Pending &node = pending();
    node.annotation = text;
    node.annotated = true;
}

void JsonWriter::crcChecked(CrcVerdict verdict)
{
    if (!m_tracker.empty())
        pending().crc = verdict;
}

void JsonWriter::endElement()
{
    m_takesRows = false; // the node around it, if any, has a child now
    if (!m_tracker.empty())
        closeElement(m_tracker.depth() - 1);
}

void JsonWriter::closeElement(size_t depth)
{
    if (m_tracker.at(depth).children == 0)
        *m_out << "], \"children\": [";
    *m_out << ']';
    if (!m_pending.empty() && m_pending.back().depth == depth) {
        const Pending &node = m_pending.back();
        if (node.annotated) {
            *m_out << ", \"annotation\": ";
            writeString(node.annotation);
        }
        if (node.crc == CrcVerdict::Ok)
            *m_out << ", \"crc\": \"ok\"";
        else if (node.crc == CrcVerdict::Mismatch)
            *m_out << ", \"crc\": \"mismatch\"";
        m_pending.pop_back();
    }
    // A top-level node stays open for its status.
    if (depth == 0)
        m_pendingTopLevel = true;
    else
        *m_out << '}';
}

void JsonWriter::topLevelParsed(int status)
{
    if (!m_pendingTopLevel)
        return;
    *m_out << ", \"status\": " << quint64(quint32(status)) << '}';
    m_pendingTopLevel = false;
}

void JsonWriter::writeFrame(const FrameRecord &frame)
{
    char *p = m_out->reserve(160);
    if (m_frameWritten)
        *p++ = ',';
    p = OutputBuffer::writeNumber(putLiteral(p, "\n  {\"stream\": "), frame.stream);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"number\": "), frame.number);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"offset\": "), frame.offset);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"size\": "), frame.size);
    p = frame.keyframe ? putLiteral(p, ", \"keyframe\": true}")
                       : putLiteral(p, ", \"keyframe\": false}");
    m_out->commit(p);
    m_frameWritten = true;
}

void JsonWriter::endFile()
{
    // A walk that ends inside elements: they are closed here.
    for (size_t depth = m_tracker.depth(); depth > 0; --depth)
        closeElement(depth - 1);
    if (m_pendingTopLevel)
        topLevelParsed(0);
    *m_out << "],\n \"frames\": [";
    m_frames.drain([this](const FrameRecord &frame) { writeFrame(frame); });
    *m_out << "]}\n";
    m_out->flush();
}
