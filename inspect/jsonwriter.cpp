#include "jsonwriter.h"

#include <cstdio>
#include <cstring>

JsonWriter::JsonWriter(OutputBuffer *out)
    : StreamWriter(out)
{
}

namespace {

// ASCII characters that stand in a JSON string as they are.
constexpr struct PlainTable
{
    bool plain[128] = {};
    constexpr PlainTable()
    {
        for (int c = 0x20; c < 0x80; ++c)
            plain[c] = c != '"' && c != '\\';
    }
    constexpr bool operator[](int c) const { return plain[c]; }
} Plain;

// Most bytes a text of n UTF-16 units takes as a JSON string.
size_t jsonSize(const QString &text)
{
    return size_t(text.size()) * 6 + 2;
}

} // namespace

char *JsonWriter::encode(char *p, const char16_t *u, qsizetype size)
{
    static const char hex[] = "0123456789abcdef";
    const char16_t *end = u + size;
    *p++ = '"';
    while (u != end) {
        const char16_t c = *u;
        if (c < 0x80 && Plain[c]) {
            *p++ = char(c);
            ++u;
            continue;
        }
        if (c >= 0x80) {
            u += OutputBuffer::writeUtf8(u, end, &p);
            continue;
        }
        ++u;
        *p++ = '\\';
        switch (c) {
        case '"': *p++ = '"'; break;
        case '\\': *p++ = '\\'; break;
        case '\n': *p++ = 'n'; break;
        case '\r': *p++ = 'r'; break;
        case '\t': *p++ = 't'; break;
        default:
            *p++ = 'u';
            *p++ = '0';
            *p++ = '0';
            *p++ = hex[c >> 4];
            *p++ = hex[c & 15];
        }
    }
    *p++ = '"';
    return p;
}

void JsonWriter::writeString(OutputBuffer *out, const QString &text)
{
    const auto *units = reinterpret_cast<const char16_t *>(text.constData());
    out->commit(encode(out->reserve(jsonSize(text)), units, text.size()));
}

void JsonWriter::beginFile(const QString &fileName, quint64 size)
{
    noteFileSize(size);
    *m_out << "{\"file\": ";
    writeString(m_out, fileName);
    *m_out << ", \"size\": " << size << ",\n \"elements\": [";
}

void JsonWriter::openChildren(Open &node)
{
    if (!node.inChildren) {
        *m_out << "], \"children\": [";
        node.inChildren = true;
    }
}

void JsonWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    if (m_open.empty()) {
        if (m_pendingTopLevel) // a top-level node whose status never came
            topLevelParsed(0);
        if (m_elementWritten)
            *m_out << ',';
        *m_out << "\n  ";
        m_elementWritten = true;
    } else {
        Open &parent = m_open.back();
        openChildren(parent);
        if (parent.childWritten)
            *m_out << ", ";
        parent.childWritten = true;
    }
    m_crc.begin(offset, size, name);
    *m_out << "{\"name\": ";
    char *p = m_out->reserve(64 + jsonSize(name) + Strings::Slack + OffsetDigits::Slack);
    p = m_offsets.write(putLiteral(m_strings.put(p, name), ", \"offset\": "), offset);
    m_out->commit(OutputBuffer::writeNumber(putLiteral(p, ", \"size\": "), size));
    if (runsPastEnd(offset, size, name))
        *m_out << ", \"past_end\": true";
    *m_out << ", \"rows\": [";
    m_open.emplace_back();
}

void JsonWriter::addField(bool, quint64 offset, quint8, quint64 length, const QString &name,
                          const QString &value, const QString &, const QString &meaning, qint64)
{
    if (m_open.empty())
        return;
    Open &node = m_open.back();
    // This plug-in adds every row of a node before its first child.
    if (node.inChildren)
        return;
    m_crc.row(name, offset, length);
    // One bounds check for the whole row.
    char *p = m_out->reserve(128 + Strings::Slack + OffsetDigits::Slack + jsonSize(name)
                             + jsonSize(value) + jsonSize(meaning));
    if (node.rowsWritten)
        p = putLiteral(p, ", ");
    node.rowsWritten = true;
    p = m_strings.put(putLiteral(p, "{\"name\": "), name);
    p = m_offsets.write(putLiteral(p, ", \"offset\": "), offset);
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

void JsonWriter::annotateElement(const QString &text)
{
    if (m_open.empty())
        return;
    m_open.back().annotation = text;
    m_open.back().annotated = true;
}

void JsonWriter::endElement()
{
    if (m_open.empty())
        return;
    Open &node = m_open.back();
    openChildren(node);
    *m_out << ']';
    if (node.annotated) {
        *m_out << ", \"annotation\": ";
        writeString(m_out, node.annotation);
    }
    const CrcCheck::Verdict crc = m_crc.end();
    if (crc != CrcCheck::None)
        *m_out << ", \"crc\": \"" << CrcCheck::text(crc) << '"';
    m_open.pop_back();
    // A top-level node stays open for its status.
    if (m_open.empty())
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

void JsonWriter::addFrame(const FrameRecord &frame)
{
    m_frames.push_back(frame);
    if (m_frames.size() < FramesInMemory || m_spoolFailed)
        return;
    // A full batch waits in the spool file, as the records themselves.
    if (!m_frameFile)
        m_frameFile = std::tmpfile();
    if (m_frameFile
        && std::fwrite(m_frames.data(), sizeof(FrameRecord), m_frames.size(), m_frameFile)
            == m_frames.size()) {
        m_spooled += m_frames.size();
        m_frames.clear();
    } else {
        // The batches spooled so far stay good; the rest stays in memory.
        m_spoolFailed = true;
    }
}

void JsonWriter::writeFrames(const FrameRecord *frames, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const FrameRecord &frame = frames[i];
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
}

void JsonWriter::endFile()
{
    m_progress.stop();
    while (!m_open.empty())
        endElement();
    if (m_pendingTopLevel)
        topLevelParsed(0);
    *m_out << "],\n \"frames\": [";
    if (m_frameFile) {
        std::rewind(m_frameFile);
        std::vector<FrameRecord> batch(FramesInMemory);
        for (quint64 left = m_spooled; left > 0;) {
            const size_t n = std::fread(batch.data(), sizeof(FrameRecord),
                                        size_t(qMin<quint64>(left, batch.size())), m_frameFile);
            if (n == 0)
                break;
            writeFrames(batch.data(), n);
            left -= n;
        }
        std::fclose(m_frameFile);
        m_frameFile = nullptr;
    }
    writeFrames(m_frames.data(), m_frames.size());
    m_frames.clear();
    *m_out << "]}\n";
    m_out->flush();
}

JsonWriter::~JsonWriter()
{
    if (m_frameFile)
        std::fclose(m_frameFile);
}
