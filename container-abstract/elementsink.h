#pragma once

#include "abstractglobal.h"

#include <QString>

// One registered frame: the base's frame members as they stood at addFrame.
struct FrameRecord
{
    uint stream = 0;
    quint64 number = 0;
    quint64 offset = 0;
    quint64 size = 0;
    int keyframe = 0;
};

// What a row is, as a parser that says so passes it in addField's code: 0
// (Unsaid) from a parser that does not, so that hosts tell rows apart by this
// and never by their display names.
enum class RowKind : quint8 {
    Unsaid = 0,
    Id,          // the element's ID
    Size,        // its size field
    Value,       // the payload's value
    TrackNumber, // a block's track number, timecode and flags
    Timecode,
    Flags,
    Data,      // a block's frame data, or bytes skipped as no element
    LaceCount, // a laced block's frame count, each lace size, each frame
    LaceSize,
    Frame,
};

// Where a container parser's nodes, rows, annotations and frames go. The host
// picks one: an in-memory tree, or a writer that streams while the walk goes.
class VANTOREL_ABSTRACT_EXPORT ElementSink
{
public:
    virtual ~ElementSink();

    virtual void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) = 0;
    virtual void addField(bool flag, quint64 offset, quint8 code, quint64 length,
                          const QString &name, const QString &value, const QString &extra,
                          const QString &meaning, qint64 tag)
        = 0;
    virtual void annotateElement(const QString &text) = 0;
    virtual void endElement() = 0;
    virtual void addFrame(const FrameRecord &frame) = 0;

    // Called by the driver once a top-level element is closed, with the
    // parser's status for it.
    virtual void topLevelParsed(int status) = 0;
    // Called by the driver before the first and after the last element.
    virtual void beginFile(const QString &fileName, quint64 size)
    {
        Q_UNUSED(fileName);
        Q_UNUSED(size);
    }
    virtual void endFile() {}

    // Where this sink's rows go: itself, or, for a sink that only passes
    // rows on, the sink that takes them. Rows are most of the calls of a
    // walk, and the parser sends them there directly.
    virtual ElementSink *rowSink() { return this; }
};
