// SPDX-License-Identifier: MIT
#pragma once

#include "abstractglobal.h"

#include <QString>

#include <cstring>

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
//
// A parser that says the kind also passes, in addField's tag, the number
// that a row of numbers holds, so that no host parses a displayed text:
//   Id            the element's ID
//   Size          the size field's value as stored; an unknown size is all
//                 ones in its length (EbmlDecoder::unknownSize)
//   TrackNumber, Timecode (signed), Flags, LaceCount, LaceSize: the field
//   Frame         the frame's index in its block
//   Value         of an unsigned integer, its 64 bits (quint64(tag)); of a
//                 signed integer or a date (nanoseconds from 2001-01-01),
//                 its value; of a float, its value as a double's 64 bits
//                 (valueAsDouble); of any other type, -1
// A row whose bytes hold no number of its kind (an integer longer than 8
// bytes, a field that the file's end cuts) is passed as a Data row, so that
// a Value row of a numeric element always carries its number.
enum class RowKind : quint8 {
    Unsaid = 0,
    Id,          // the element's ID
    Size,        // its size field
    Value,       // the payload's value
    TrackNumber, // a block's track number, timecode and flags
    Timecode,
    Flags,
    Data,      // a block's frame data, bytes skipped as no element, or
               // bytes that hold no number
    LaceCount, // a laced block's frame count, each lace size, each frame
    LaceSize,
    Frame,
};
constexpr quint8 RowKindCount = quint8(RowKind::Frame) + 1;

// The kind of a row from addField's code; Unsaid for a code it does not know.
inline RowKind rowKind(quint8 code)
{
    return code < RowKindCount ? RowKind(code) : RowKind::Unsaid;
}

// A float Value row's tag as its double.
inline double valueAsDouble(qint64 tag)
{
    double value;
    static_assert(sizeof value == sizeof tag, "a double is 64 bits");
    std::memcpy(&value, &tag, sizeof value);
    return value;
}

// What an annotation says, as a parser that says so passes it with the
// text in noteElement: the facts that hosts act on, so that none compares
// annotation texts. Any other annotation is Unsaid.
enum class NoteKind : quint8 {
    Unsaid = 0,
    UnknownElement, // no table the parser reads by has the element's ID
    DamagedData,    // the node is bytes that begin no element, skipped
    ShortBlock,     // a block's data is shorter than its header
    LacesMisfit,    // a laced block's lace sizes do not fit its data
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
    // An annotation that the parser says the kind of; a sink that does not
    // look at kinds gets the text alone.
    virtual void noteElement(NoteKind kind, const QString &text)
    {
        Q_UNUSED(kind);
        annotateElement(text);
    }
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
