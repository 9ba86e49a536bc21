#include "jsonwriter.h"

#include <cstdio>

JsonWriter::JsonWriter(OutputBuffer *out)
    : StreamWriter(out)
{
}

void JsonWriter::writeString(OutputBuffer *out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    *out << '"';
    const char *p = utf8.constData();
    const char *end = p + utf8.size();
    const char *run = p;
    for (; p != end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out->append(run, p - run);
        run = p + 1;
        switch (c) {
        case '"': *out << "\\\""; break;
        case '\\': *out << "\\\\"; break;
        case '\n': *out << "\\n"; break;
        case '\r': *out << "\\r"; break;
        case '\t': *out << "\\t"; break;
        default: {
            const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            out->append(escape, 6);
        }
        }
    }
    out->append(run, end - run);
    *out << '"';
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
        *m_out << (m_elementWritten ? ",\n  " : "\n  ");
        m_elementWritten = true;
    } else {
        Open &parent = m_open.back();
        openChildren(parent);
        if (parent.childWritten)
            *m_out << ", ";
        parent.childWritten = true;
    }
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
    *m_out << (node.rowsWritten ? ", {\"name\": " : "{\"name\": ");
    node.rowsWritten = true;
    writeString(m_out, name);
    *m_out << ", \"offset\": " << offset << ", \"length\": " << length << ", \"value\": ";
    writeString(m_out, value);
    *m_out << ", \"meaning\": ";
    writeString(m_out, meaning);
    *m_out << '}';
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
    QByteArray line = (m_frameCount++ ? ",\n  " : "\n  ");
    line += "{\"stream\": " + QByteArray::number(frame.stream)
        + ", \"number\": " + QByteArray::number(frame.number)
        + ", \"offset\": " + QByteArray::number(frame.offset)
        + ", \"size\": " + QByteArray::number(frame.size)
        + ", \"keyframe\": " + (frame.keyframe ? "true" : "false") + '}';
    if (m_frameOut)
        *m_frameOut << line;
    else
        m_framesInMemory += line;
}

void JsonWriter::endFile()
{
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
            m_out->append(chunk, qsizetype(n));
        std::fclose(m_frameFile);
        m_frameFile = nullptr;
    }
    *m_out << m_framesInMemory << "]}\n";
    m_out->flush();
}

JsonWriter::~JsonWriter()
{
    m_frameOut.reset();
    if (m_frameFile)
        std::fclose(m_frameFile);
}
