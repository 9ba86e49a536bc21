// SPDX-License-Identifier: MIT
#include "jsonwriter.h"

#include "modernfacts.h"

#include <cmath>

namespace {

// Most bytes a text takes as a JSON string.
size_t jsonSize(const QString &text)
{
    return size_t(text.size()) * Escape::MaxBytesPerUnit + 2;
}

// Nanoseconds as seconds with 9 decimals, as the frames CSV has them. p has
// room for 32 bytes.
char *seconds(char *p, qint64 ns)
{
    if (ns < 0)
        *p++ = '-';
    const quint64 magnitude = ns < 0 ? 0 - quint64(ns) : quint64(ns);
    p = OutputBuffer::writeNumber(p, magnitude / 1000000000);
    *p++ = '.';
    const auto fraction = unsigned(magnitude % 1000000000);
    *p++ = char('0' + fraction / 100000000);
    return OutputBuffer::write4(OutputBuffer::write4(p, fraction / 10000 % 10000),
                                fraction % 10000);
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

Q_ALWAYS_INLINE char *JsonWriter::openNode(quint64 offset, quint64 size, const QString &name)
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
    return OutputBuffer::writeNumber(putLiteral(p, ", \"size\": "), size);
}

void JsonWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    m_out->commit(openNode(offset, size, name));
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
    char *p = putRow(m_out->reserve(rowRoom(name, value, meaning)), offset, length, name, value,
                     meaning);
    *p++ = '}';
    m_out->commit(p);
}

qsizetype JsonWriter::rowRoom(const QString &name, const QString &value, const QString &meaning)
{
    return 128 + Strings::Slack + jsonSize(name) + jsonSize(value) + jsonSize(meaning);
}

// Inline in both row paths: on 100,000 blocks, --json takes 379.3M
// instructions so, 390.0M with a call.
Q_ALWAYS_INLINE char *JsonWriter::putRow(char *p, quint64 offset, quint64 length,
                                         const QString &name, const QString &value,
                                         const QString &meaning)
{
    if (m_rowsWritten)
        p = putLiteral(p, ", ");
    m_rowsWritten = true;
    p = m_strings.put(putLiteral(p, "{\"name\": "), name);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"offset\": "), offset);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"length\": "), length);
    // Most rows have no meaning, and data rows no value either.
    p = value.isEmpty() ? putLiteral(p, ", \"value\": \"\"")
                        : m_strings.put(putLiteral(p, ", \"value\": "), value);
    return meaning.isEmpty() ? putLiteral(p, ", \"meaning\": \"\"")
                             : m_strings.put(putLiteral(p, ", \"meaning\": "), meaning);
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
        if (node.sizeUnknown)
            *m_out << ", \"size_unknown\": true";
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

void JsonWriter::endElements()
{
    // A walk that ends inside elements: they are closed here.
    for (size_t depth = m_tracker.depth(); depth > 0; --depth)
        closeElement(depth - 1);
    if (m_pendingTopLevel)
        topLevelParsed(0);
    *m_out << "],\n \"frames\": [";
}

void JsonWriter::endFile()
{
    endElements();
    m_frames.drain([this](const FrameRecord &frame) { writeFrame(frame); });
    *m_out << "]}\n";
    m_out->flush();
}

void ModernJsonWriter::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    m_out->commit(openNode(offset, size, name));
    char *p = m_out->reserve(96);
    if (tag >= 0)
        p = putLiteral(ModernFacts::hexId(putLiteral(p, ", \"id\": \""), tag), "\"");
    if (m_marks & PastFileEnd)
        p = putLiteral(p, ", \"past_end\": true");
    if (m_marks & PastParentEnd)
        p = putLiteral(p, ", \"past_parent\": true");
    m_marks = 0;
    m_out->commit(putLiteral(p, ", \"rows\": ["));
    m_rowsWritten = false;
    if (tag == MatroskaSchema::Id::Cluster)
        m_clusterTimed = false;
}

void ModernJsonWriter::addField(bool, quint64 offset, quint8 code, quint64 length,
                                const QString &name, const QString &value, const QString &,
                                const QString &meaning, qint64 tag)
{
    if (m_tracker.empty() || m_tracker.current().children)
        return;
    const RowKind kind = rowKind(code);
    if (kind == RowKind::Size && ModernFacts::unknownSize(m_tracker, length, tag))
        pending().sizeUnknown = true;
    // numbers() writes 64 bytes at most.
    char *p = putRow(m_out->reserve(rowRoom(name, value, meaning) + 64), offset, length, name,
                     value, meaning);
    p = numbers(p, kind, tag);
    *p++ = '}';
    m_out->commit(p);
}

// ", \"number\": N" for a row of numbers, and ", \"seconds\": S" for a row
// whose meaning is a time: the Timestamps of Clusters and blocks, the times
// in ticks of TimestampScale nanoseconds (Duration, CueTime, CueDuration,
// CueRefTime, BlockDuration, ReferenceBlock) and in nanoseconds
// (DefaultDuration, CodecDelay, SeekPreRoll, ChapterTimeStart...), as the
// walk reads them. p has room for 64 bytes.
char *ModernJsonWriter::numbers(char *p, RowKind kind, qint64 tag)
{
    namespace Schema = MatroskaSchema;
    namespace Id = MatroskaSchema::Id;
    bool signedTag = false;
    bool integer = true;
    enum { NoTime, Nanoseconds, Ticks } unit = NoTime;
    long double amount = 0;
    switch (kind) {
    case RowKind::Size:
    case RowKind::TrackNumber:
    case RowKind::Flags:
    case RowKind::LaceCount:
    case RowKind::LaceSize:
    case RowKind::Frame: break;
    case RowKind::Timecode:
        signedTag = true;
        // A block's time counts from its Cluster's.
        if (m_clusterTimed) {
            unit = Ticks;
            amount = (long double)m_clusterTimestamp + tag;
        }
        break;
    case RowKind::Value: {
        const qint64 id = m_tracker.current().id;
        const Schema::Element *e = id >= 0 ? Schema::find(quint32(id)) : nullptr;
        if (!e)
            return p;
        integer
            = e->type == Schema::UInteger || e->type == Schema::SInteger || e->type == Schema::Date;
        signedTag = e->type != Schema::UInteger;
        const long double value = e->type == Schema::Float ? (long double)valueAsDouble(tag)
            : signedTag                                    ? (long double)tag
                                                           : (long double)quint64(tag);
        switch (id) {
        case Id::TimestampScale: m_timestampScale = quint64(tag); break;
        case Id::Timestamp:
            if (m_tracker.parentId() != Id::Cluster)
                break;
            m_clusterTimed = true;
            m_clusterTimestamp = quint64(tag);
            unit = Ticks;
            break;
        case Id::Duration:
        case Id::CueTime:
        case Id::CueDuration:
        case Id::CueRefTime:
        case Id::BlockDuration:
        case Id::ReferenceBlock: unit = Ticks; break;
        case Id::DefaultDuration:
        case Id::CodecDelay:
        case Id::SeekPreRoll:
        case Id::DefaultDecodedFieldDuration:
        case Id::ChapterTimeStart:
        case Id::ChapterTimeEnd:
        case Id::DiscardPadding: unit = Nanoseconds; break;
        default: break;
        }
        if (!integer && (e->type != Schema::Float || unit == NoTime))
            return p;
        amount = value;
        break;
    }
    default: return p;
    }
    if (integer) {
        p = putLiteral(p, ", \"number\": ");
        if (signedTag && tag < 0) {
            *p++ = '-';
            p = OutputBuffer::writeNumber(p, 0 - quint64(tag));
        } else {
            p = OutputBuffer::writeNumber(p, quint64(tag));
        }
    }
    if (unit == NoTime)
        return p;
    FrameFacts time;
    time.timed = true;
    time.nanoseconds = unit == Ticks ? roundl(amount * (long double)m_timestampScale) : amount;
    qint64 ns = 0;
    return time.wholeNanoseconds(&ns) ? seconds(putLiteral(p, ", \"seconds\": "), ns) : p;
}

void ModernJsonWriter::addFrame(const FrameRecord &frame)
{
    m_timedFrames.add(TimedFrame {frame, m_facts});
    m_facts = FrameFacts();
}

void ModernJsonWriter::endFile()
{
    endElements();
    m_timedFrames.drain([this](const TimedFrame &f) { writeTimedFrame(f); });
    *m_out << "]}\n";
    m_out->flush();
}

void ModernJsonWriter::writeTimedFrame(const TimedFrame &f)
{
    char *p = m_out->reserve(224);
    if (m_frameWritten)
        *p++ = ',';
    p = OutputBuffer::writeNumber(putLiteral(p, "\n  {\"stream\": "), f.frame.stream);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"number\": "), f.frame.number);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"offset\": "), f.frame.offset);
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"size\": "), f.frame.size);
    p = f.frame.keyframe ? putLiteral(p, ", \"keyframe\": true")
                         : putLiteral(p, ", \"keyframe\": false");
    p = OutputBuffer::writeNumber(putLiteral(p, ", \"track\": "), f.facts.track);
    qint64 ns = 0;
    p = f.facts.wholeNanoseconds(&ns) ? seconds(putLiteral(p, ", \"time\": "), ns)
                                      : putLiteral(p, ", \"time\": null");
    *p++ = '}';
    m_out->commit(p);
    m_frameWritten = true;
}
