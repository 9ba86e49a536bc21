#include "jsonwriter.h"

#include <cstdio>
#include <cstring>

JsonWriter::JsonWriter(OutputBuffer *out)
    : StreamWriter(out)
{
}

namespace {

// Copies a literal; the compiler turns the fixed-size copy into a few moves.
template <size_t N>
char *put(char *p, const char (&literal)[N])
{
    std::memcpy(p, literal, N - 1);
    return p + N - 1;
}

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

char *putString(char *p, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    const char16_t *u = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *end = u + text.size();
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

} // namespace

void JsonWriter::writeString(OutputBuffer *out, const QString &text)
{
    out->commit(putString(out->reserve(jsonSize(text)), text));
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
    writeString(m_out, name);
    *m_out << ", \"offset\": " << offset << ", \"size\": " << size;
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
    char *p = m_out->reserve(96 + jsonSize(name) + jsonSize(value) + jsonSize(meaning));
    if (node.rowsWritten)
        p = put(p, ", ");
    node.rowsWritten = true;
    p = putString(put(p, "{\"name\": "), name);
    p = OutputBuffer::writeNumber(put(p, ", \"offset\": "), offset);
    p = OutputBuffer::writeNumber(put(p, ", \"length\": "), length);
    p = putString(put(p, ", \"value\": "), value);
    p = putString(put(p, ", \"meaning\": "), meaning);
    *p++ = '}';
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
    if (m_frameCount == 0) {
        m_frameFile = std::tmpfile();
        if (m_frameFile)
            m_frameOut = std::make_unique<OutputBuffer>(m_frameFile);
    }
    char line[192];
    char *p = line;
    auto put = [&p](const char *text) {
        const size_t n = std::strlen(text);
        std::memcpy(p, text, n);
        p += n;
    };
    put(m_frameCount++ ? ",\n  {\"stream\": " : "\n  {\"stream\": ");
    p = OutputBuffer::writeNumber(p, frame.stream);
    put(", \"number\": ");
    p = OutputBuffer::writeNumber(p, frame.number);
    put(", \"offset\": ");
    p = OutputBuffer::writeNumber(p, frame.offset);
    put(", \"size\": ");
    p = OutputBuffer::writeNumber(p, frame.size);
    put(frame.keyframe ? ", \"keyframe\": true}" : ", \"keyframe\": false}");
    if (m_frameOut)
        m_frameOut->append(line, size_t(p - line));
    else
        m_framesInMemory.append(line, p - line);
}

void JsonWriter::endFile()
{
    m_progress.stop();
    while (!m_open.empty())
        endElement();
    if (m_pendingTopLevel)
        topLevelParsed(0);
    *m_out << "],\n \"frames\": [";
    if (m_frameOut) {
        m_frameOut->flush();
        m_frameOut.reset();
        std::rewind(m_frameFile);
        char chunk[1 << 16];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, m_frameFile)) > 0)
            m_out->append(chunk, n);
        std::fclose(m_frameFile);
        m_frameFile = nullptr;
    }
    m_out->append(m_framesInMemory.constData(), size_t(m_framesInMemory.size()));
    *m_out << "]}\n";
    m_out->flush();
}

JsonWriter::~JsonWriter()
{
    m_frameOut.reset();
    if (m_frameFile)
        std::fclose(m_frameFile);
}
