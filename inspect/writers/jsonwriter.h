// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "encodingcache.h"
#include "escape.h"
#include "framespool.h"
#include "outputbuffer.h"
#include "sink.h"

#include <vector>

// Writes the tree as one JSON document while the walk goes. The open nodes
// are the tracker's; frames are spooled and appended at the end, so memory
// stays flat however large the file.
class JsonWriter : public Sink
{
public:
    JsonWriter(OutputBuffer *out, const ElementTracker &tracker);

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override { m_frames.add(frame); }
    void topLevelParsed(int status) override;
    void beginFile(const QString &fileName, quint64 size) override;
    void endFile() override;
    void mark(unsigned marks) override { m_marks |= marks; }
    void crcChecked(CrcVerdict verdict) override;

protected:
    // What an open node still has to write after its children: its
    // annotation and the verdict on its CRC-32, which come after its rows,
    // and whether its size is unknown, which its Size row says.
    struct Pending
    {
        size_t depth;
        bool annotated = false;
        CrcVerdict crc = CrcVerdict::None;
        QString annotation;
        bool sizeUnknown = false;
    };
    Pending &pending();
    // The node's object up to its size.
    char *openNode(quint64 offset, quint64 size, const QString &name);
    // Closes the nodes that are still open and begins the frames.
    void endElements();
    void closeElement(size_t depth);
    void writeString(const QString &text);
    void writeFrame(const FrameRecord &frame);
    // A row's object, from the comma before it up to its meaning, without
    // the closing brace, at p, which has room for rowRoom() bytes.
    char *putRow(char *p, quint64 offset, quint64 length, const QString &name, const QString &value,
                 const QString &meaning);
    // The room putRow needs beyond the texts' own.
    static qsizetype rowRoom(const QString &name, const QString &value, const QString &meaning);

    using Strings = EncodingCache<&Escape::jsonQuoted>;
    OutputBuffer *m_out;
    Strings m_strings;

    const ElementTracker &m_tracker;
    bool m_rowsWritten = false; // of the node that opened last
    // The innermost open node takes rows: it has no child yet. Kept here
    // rather than asked of the tracker on every row: --json of many-blocks
    // from 1,368.8M to 1,351.0M instructions.
    bool m_takesRows = false;
    std::vector<Pending> m_pending; // of open nodes, the innermost last
    unsigned m_marks = 0;
    bool m_elementWritten = false;
    bool m_pendingTopLevel = false;
    FrameSpool<FrameRecord> m_frames;
    bool m_frameWritten = false;
};

// The tree of a walk whose calls are typed (the modern one), with what they
// say beside the texts: each node's ID ("id": "0x1F43B675"), whether its
// size is unknown and whether it ends past its parent; each row of numbers
// its number ("number"), exact to 2^64 - 1; each row whose meaning is a
// time, and a Cluster's Timestamp, that time in seconds ("seconds");
// each frame its block's track and time, as the frames CSV has them.
class ModernJsonWriter : public JsonWriter
{
public:
    using JsonWriter::JsonWriter;

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void addFrame(const FrameRecord &frame) override;
    void frameFacts(const FrameFacts &facts) override { m_facts = facts; }
    void endFile() override;

private:
    struct TimedFrame
    {
        FrameRecord frame;
        FrameFacts facts;
    };
    char *numbers(char *p, RowKind kind, qint64 tag);
    void writeTimedFrame(const TimedFrame &f);

    FrameFacts m_facts; // of the frame whose addFrame comes next
    FrameSpool<TimedFrame> m_timedFrames;
    quint64 m_timestampScale = 1000000;
    bool m_clusterTimed = false; // the innermost Cluster's Timestamp came
    quint64 m_clusterTimestamp = 0;
};
