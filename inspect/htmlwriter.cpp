#include "htmlwriter.h"

#include "htmlassets.h"

#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr quint64 ChunkBytes = 4 << 20; // a script element holds about this much
constexpr int MaxTexts = 65536;          // entries of the table of repeated texts
constexpr int MaxTextChars = 64;         // longest text that goes into it
constexpr size_t MaxTracks = 1000;       // tracks listed in the summary
constexpr size_t MaxStreams = 4096;      // streams counted one by one

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

// A text as a JSON string that may stand inside a script element.
void putJson(std::string &s, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    const size_t start = s.size();
    s.resize(start + size_t(text.size()) * 6 + 2);
    char *p = &s[start];
    *p++ = '"';
    const char16_t *u = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *end = u + text.size();
    while (u != end) {
        const char16_t c = *u;
        if (c >= 0x80) {
            u += OutputBuffer::writeUtf8(u, end, &p);
            continue;
        }
        ++u;
        if (c < 0x20 || c == '<' || c == '"' || c == '\\') {
            *p++ = '\\';
            *p++ = 'u';
            *p++ = '0';
            *p++ = '0';
            *p++ = hex[c >> 4];
            *p++ = hex[c & 15];
        } else {
            *p++ = char(c);
        }
    }
    *p++ = '"';
    s.resize(size_t(p - s.data()));
}

void putHtml(OutputBuffer *out, const QString &text)
{
    QString escaped = text.toHtmlEscaped();
    *out << escaped;
}

HtmlWriter::Settings sane(HtmlWriter::Settings s)
{
    if (s.hexLimit > (1u << 30))
        s.hexLimit = 1u << 30;
    return s;
}

} // namespace

HtmlWriter::HtmlWriter(OutputBuffer *out, const QString &path, const Settings &settings)
    : StreamWriter(out)
    , m_settings(sane(settings))
{
    m_bytesOpen = m_bytes.openFile(path);
}

HtmlWriter::~HtmlWriter()
{
    m_frameOut.reset();
    if (m_frameFile)
        std::fclose(m_frameFile);
}

void HtmlWriter::beginFile(const QString &fileName, quint64 size)
{
    noteFileSize(size);
    m_size = size;
    *m_out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
              "<title>";
    putHtml(m_out, fileName);
    *m_out << " \xe2\x80\x94 vantorel-inspect</title>\n<style>\n";
    m_out->append(ReportCss, sizeof ReportCss - 1);
    *m_out << "</style></head>\n<body>\n";
    m_out->append(ReportBody, sizeof ReportBody - 1);
    std::string meta = "<script type=\"application/json\" id=\"vt-meta\">{\"file\": ";
    putJson(meta, fileName);
    meta += ", \"size\": ";
    putNumber(meta, size);
    meta += ", \"hexLimit\": ";
    putNumber(meta, m_settings.hexLimit);
    meta += ", \"maxNodes\": ";
    putNumber(meta, m_settings.maxNodes);
    meta += ", \"hexBudget\": ";
    putNumber(meta, m_settings.hexBudget);
    meta += ", \"headBytes\": ";
    putNumber(meta, HeadBytes);
    meta += ", \"maxFrames\": ";
    putNumber(meta, m_settings.maxFrames);
    meta += m_bytesOpen ? ", \"bytes\": true}" : ", \"bytes\": false}";
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
    static const char hex[] = "0123456789abcdef";
    bool cut = false;
    if (value.size() > MaxValueChars) {
        qsizetype keep = MaxValueChars;
        if (value.at(keep - 1).isHighSurrogate())
            --keep;
        value = value.left(keep);
        cut = true;
    }
    const size_t start = line.size();
    line.resize(start + size_t(value.size()) * 4 + 3);
    char *p = &line[start];
    const char16_t *u = reinterpret_cast<const char16_t *>(value.data());
    const char16_t *const first = u;
    const char16_t *end = u + value.size();
    while (u != end) {
        const char16_t c = *u;
        if (c >= 0x80) {
            u += OutputBuffer::writeUtf8(u, end, &p);
            continue;
        }
        if (c < 0x20 || c == '\\' || c == '<' || (c == '^' && u == first)) {
            *p++ = '\\';
            *p++ = 'x';
            *p++ = hex[c >> 4];
            *p++ = hex[c & 15];
        } else {
            *p++ = char(c);
        }
        ++u;
    }
    if (cut) {
        std::memcpy(p, "\xe2\x80\xa6", 3);
        p += 3;
    }
    line.resize(size_t(p - line.data()));
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
        std::string definition = "$";
        text(definition, value, false);
        writeLine(definition);
    }
    line += '^';
    putNumber(line, quint64(found.value()));
}

void HtmlWriter::writeBase64(std::string &line, quint64 offset, quint64 count)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (!m_bytesOpen || count == 0)
        return;
    m_read.resize(size_t(count));
    m_bytes.seek(qint64(offset));
    const qint64 n = m_bytes.readBytes(reinterpret_cast<char *>(m_read.data()), qint64(count));
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
    m_crc.begin(offset, size, name);
    ++m_elements;
    quint8 flags = 0;
    if (runsPastEnd(offset, size, name))
        flags |= PastFileEnd;
    const quint64 end =
        size > std::numeric_limits<quint64>::max() - offset ? std::numeric_limits<quint64>::max()
                                                            : offset + size;
    Open *parent = m_open.empty() ? nullptr : &m_open.back();
    if (parent && end > parent->end)
        flags |= PastParentEnd;
    m_pastFile += (flags & PastFileEnd) != 0;
    m_pastParent += (flags & PastParentEnd) != 0;
    m_pastEither += flags != 0;
    if (name == QLatin1String("Unknown"))
        ++m_unknown;

    const Kind above = parent ? parent->kind : Other;
    Kind kind = Other;
    if (name == QLatin1String("SimpleBlock") || name == QLatin1String("Block"))
        kind = Block;
    else if (name == QLatin1String("Cluster"))
        kind = Cluster;
    else if (name == QLatin1String("Timecode"))
        kind = above == Cluster ? ClusterTimecode : Other;
    else if (name == QLatin1String("SegmentInfo"))
        kind = SegmentInfo;
    else if (name == QLatin1String("TimecodeScale"))
        kind = above == SegmentInfo ? TimecodeScale : Other;
    else if (name == QLatin1String("TrackEntry"))
        kind = TrackEntry;
    else if (above == TrackEntry && name == QLatin1String("TrackNumber"))
        kind = TrackNumber;
    else if (above == TrackEntry && name == QLatin1String("TrackType"))
        kind = TrackType;
    else if (above == TrackEntry && name == QLatin1String("CodecID"))
        kind = CodecID;
    else if (above == TrackEntry && name == QLatin1String("Video"))
        kind = Video;
    else if (above == Video && name == QLatin1String("PixelWidth"))
        kind = PixelWidth;
    else if (above == Video && name == QLatin1String("PixelHeight"))
        kind = PixelHeight;
    switch (kind) {
    case Block:
        m_blockTimeKnown = false;
        m_blockTrack = 0;
        break;
    case Cluster: m_clusterTimeKnown = false; break;
    case TrackEntry: m_track = Track(); break;
    default: break;
    }

    if (parent) {
        parent->hasChildren = true;
        // A master's line goes out before its first child's, with the bytes
        // up to that child.
        if (!parent->flushed)
            flush(*parent, m_open.size() >= 2 ? m_open[m_open.size() - 2].index : -1, offset,
                  CrcCheck::None);
    }

    Open node;
    node.offset = offset;
    node.size = size;
    node.end = end;
    node.kind = kind;
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

void HtmlWriter::flush(Open &node, qint64 parentIndex, quint64 bytesTo, CrcCheck::Verdict crc)
{
    node.flushed = true;
    m_line.clear();
    putSigned(m_line, parentIndex);
    m_line += '\t';
    m_line += m_pendingName;
    m_line += '\t';
    putNumber(m_line, node.offset);
    m_line += '\t';
    putNumber(m_line, node.size);
    m_line += '\t';
    // The element's bytes up to bytesTo, the file's end and the limits.
    quint64 count = bytesTo > node.offset ? bytesTo - node.offset : 0;
    count = qMin(count, node.size);
    count = qMin(count, node.offset < m_size ? m_size - node.offset : 0);
    count = qMin(count, m_settings.hexLimit);
    quint8 flags = node.flags;
    if (m_hexBytes >= m_settings.hexBudget && count > HeadBytes) {
        count = HeadBytes;
        flags |= HeadOnly;
        ++m_headOnly;
    }
    putNumber(m_line, flags);
    m_line += '\t';
    writeBase64(m_line, node.offset, count);
    m_line += '\t';
    if (node.annotated) {
        text(m_line, node.annotation, false);
        node.annotated = false;
    }
    m_line += '\t';
    if (crc != CrcCheck::None)
        m_line += CrcCheck::text(crc);
    m_line += m_rows;
    m_rows.clear();
    writeLine(m_line);
}

void HtmlWriter::addField(bool, quint64 offset, quint8, quint64 length, const QString &name,
                          const QString &value, const QString &, const QString &meaning, qint64)
{
    if (m_open.empty())
        return;
    Open &node = m_open.back();
    // This plug-in adds every row of a node before its first child.
    if (node.hasChildren)
        return;
    m_crc.row(name, offset, length);

    if (node.kind == Block) {
        if (name == QLatin1String("Timecode")) {
            bool ok = false;
            m_blockTime = value.toLongLong(&ok);
            m_blockTimeKnown = ok;
        } else if (name == QLatin1String("TrackNumber")) {
            m_blockTrack = value.toULongLong();
        }
    } else if (node.kind != Other && name == QLatin1String("value")) {
        takeValue(node, value, meaning);
    }

    if (node.flushed)
        return;
    m_rows += '\t';
    reference(m_rows, name);
    m_rows += '\t';
    if (offset != m_rowEnd)
        putSigned(m_rows, qint64(offset - node.offset));
    m_rows += '\t';
    putNumber(m_rows, length);
    m_rows += '\t';
    // The id row names the element: a repeated text.
    text(m_rows, value, name == QLatin1String("id"));
    m_rows += '\t';
    reference(m_rows, meaning);
    m_rowEnd = offset + length;
}

void HtmlWriter::takeValue(const Open &node, const QString &value, const QString &meaning)
{
    bool ok = false;
    switch (node.kind) {
    case TimecodeScale:
        if (const quint64 scale = value.toULongLong(&ok); ok && scale != 0)
            m_timecodeScale = scale;
        break;
    case ClusterTimecode:
        m_clusterTime = value.toLongLong(&ok);
        m_clusterTimeKnown = ok;
        break;
    case TrackNumber: m_track.number = value.toULongLong(); break;
    case TrackType:
        m_track.type = value.toULongLong();
        m_track.typeName = meaning.left(MaxTextChars);
        break;
    case CodecID: m_track.codec = value.left(MaxTextChars); break;
    case PixelWidth: m_track.width = value.left(24); break;
    case PixelHeight: m_track.height = value.left(24); break;
    default: break;
    }
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

void HtmlWriter::endElement()
{
    if (m_open.empty())
        return;
    const CrcCheck::Verdict crc = m_crc.end();
    Open &node = m_open.back();
    const qint64 parentIndex = m_open.size() >= 2 ? m_open[m_open.size() - 2].index : -1;
    if (node.index >= 0) {
        if (!node.flushed) {
            flush(node, parentIndex, node.end, crc);
        } else if (node.annotated || crc != CrcCheck::None || node.omitted) {
            m_line = "!";
            putNumber(m_line, quint64(node.index));
            m_line += '\t';
            if (node.annotated)
                text(m_line, node.annotation, false);
            m_line += '\t';
            if (crc != CrcCheck::None)
                m_line += CrcCheck::text(crc);
            m_line += '\t';
            if (node.omitted)
                putNumber(m_line, node.omitted);
            writeLine(m_line);
        }
    }
    if (node.kind == TrackEntry) {
        if (m_tracks.size() < MaxTracks)
            m_tracks.push_back(m_track);
        else
            ++m_tracksOmitted;
    }
    if (m_open.size() == 1)
        m_lastTopLevel = node.index;
    m_open.pop_back();
}

void HtmlWriter::topLevelParsed(int status)
{
    if (status == 0 || m_lastTopLevel < 0)
        return;
    m_line = "!";
    putNumber(m_line, quint64(m_lastTopLevel));
    m_line += "\t\t\t\t";
    putSigned(m_line, status);
    writeLine(m_line);
}

void HtmlWriter::addFrame(const FrameRecord &frame)
{
    ++m_frames;
    auto stream = m_streams.find(frame.stream);
    if (stream == m_streams.end() && m_streams.size() < MaxStreams)
        stream = m_streams.emplace(frame.stream, Stream{m_blockTrack, 0}).first;
    if (stream != m_streams.end())
        ++stream->second.frames;
    else
        ++m_streamsOmitted;
    if (m_framesEmbedded >= m_settings.maxFrames)
        return;
    if (m_framesEmbedded++ == 0) {
        m_frameFile = std::tmpfile();
        if (m_frameFile)
            m_frameOut = std::make_unique<OutputBuffer>(m_frameFile);
    }
    std::string &line = m_frameLine;
    line.clear();
    putNumber(line, frame.stream);
    line += '\t';
    putNumber(line, frame.number);
    line += '\t';
    putNumber(line, frame.offset);
    line += '\t';
    putNumber(line, frame.size);
    line += frame.keyframe ? "\t1\t" : "\t0\t";
    // Presentation time in microseconds: cluster and block timecodes in
    // ticks of the timecode scale (nanoseconds).
    if (m_clusterTimeKnown && m_blockTimeKnown) {
        const long double us = ((long double)m_clusterTime + m_blockTime) * m_timecodeScale / 1000;
        if (us > -0x1p62L && us < 0x1p62L)
            putSigned(line, qint64(us));
    }
    line += '\t';
    putSigned(line, m_open.empty() ? -1 : m_open.back().index);
    line += '\n';
    m_frameBytes += line.size();
    if (m_frameBytes > ChunkBytes) {
        line += ScriptClose;
        line += FramesOpen;
        m_frameBytes = 0;
    }
    if (m_frameOut)
        m_frameOut->append(line.data(), line.size());
    else
        m_frameLines += line;
}

void HtmlWriter::appendFrames()
{
    *m_out << FramesOpen;
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
    m_out->append(m_frameLines.data(), m_frameLines.size());
    m_frameLines.clear();
    *m_out << ScriptClose;
}

void HtmlWriter::writeSummary()
{
    const std::pair<const char *, quint64> counts[] = {
        {"elements", m_elements},          {"embedded", m_embedded},
        {"unknown", m_unknown},            {"pastEnd", m_pastEither},
        {"pastFileEnd", m_pastFile},       {"pastParentEnd", m_pastParent},
        {"hexBytes", m_hexBytes},          {"headOnly", m_headOnly},
        {"timecodeScale", m_timecodeScale}, {"frames", m_frames},
        {"framesEmbedded", m_framesEmbedded},
    };
    std::string s = "<script type=\"application/json\" id=\"vt-summary\">{";
    for (const auto &count : counts) {
        if (count.first != counts[0].first)
            s += ", ";
        s += '"';
        s += count.first;
        s += "\": ";
        putNumber(s, count.second);
    }
    s += ", \"tracks\": [";
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        const Track &t = m_tracks[i];
        s += i ? ", {\"number\": " : "{\"number\": ";
        putNumber(s, t.number);
        s += ", \"type\": ";
        putNumber(s, t.type);
        s += ", \"typeName\": ";
        putJson(s, t.typeName);
        s += ", \"codec\": ";
        putJson(s, t.codec);
        s += ", \"width\": ";
        putJson(s, t.width);
        s += ", \"height\": ";
        putJson(s, t.height);
        s += '}';
    }
    s += "], \"tracksOmitted\": ";
    putNumber(s, m_tracksOmitted);
    s += ", \"streams\": [";
    bool first = true;
    for (const auto &[index, stream] : m_streams) {
        s += first ? "{\"stream\": " : ", {\"stream\": ";
        first = false;
        putNumber(s, index);
        s += ", \"track\": ";
        putNumber(s, stream.track);
        s += ", \"frames\": ";
        putNumber(s, stream.frames);
        s += '}';
    }
    s += "], \"streamFramesOmitted\": ";
    putNumber(s, m_streamsOmitted);
    const PastEnd &past = firstPastEnd();
    if (past.found) {
        s += ", \"firstPastEnd\": {\"name\": ";
        putJson(s, past.name);
        s += ", \"offset\": ";
        putNumber(s, past.offset);
        s += ", \"size\": ";
        putNumber(s, past.size);
        s += ", \"remaining\": ";
        putNumber(s, past.remaining);
        s += '}';
    }
    s += '}';
    s += ScriptClose;
    m_out->append(s.data(), s.size());
}

void HtmlWriter::endFile()
{
    m_progress.stop();
    while (!m_open.empty())
        endElement();
    *m_out << ScriptClose;
    appendFrames();
    writeSummary();
    *m_out << "<script>\n";
    m_out->append(ReportJs, sizeof ReportJs - 1);
    *m_out << "</script>\n</body></html>\n";
    m_out->flush();
}
