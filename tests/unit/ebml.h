#pragma once

// A small EBML writer for building test inputs in memory, so that no size
// field is ever counted by hand.

#include <QByteArray>

#include <cstring>
#include <initializer_list>
#include <utility>

namespace ebml {

// Literal bytes: bytes({0x1A, 0x45, 0xDF, 0xA3}).
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(quint8(v)));
    return out;
}

// An unsigned integer payload of exactly n bytes, big-endian.
inline QByteArray uintN(quint64 value, int n)
{
    QByteArray out;
    for (int i = n - 1; i >= 0; --i)
        out.append(char(quint8(i < 8 ? value >> (8 * i) : 0)));
    return out;
}

// An unsigned integer payload in as few bytes as it needs (one for 0).
inline QByteArray uinteger(quint64 value)
{
    int n = 1;
    while (n < 8 && (value >> (8 * n)) != 0)
        ++n;
    return uintN(value, n);
}

// An element ID as stored in the file: its bytes big-endian, marker included.
inline QByteArray id(quint32 value)
{
    int length = 1;
    while (length < 4 && (value >> (8 * length)) != 0)
        ++length;
    return uintN(value, length);
}

// A size field. With length 0 the shortest one whose value bits are not all
// ones (all ones would mean "unknown size").
inline QByteArray size(quint64 value, int length = 0)
{
    if (length == 0) {
        length = 1;
        while (length < 8 && value >= (quint64(1) << (7 * length)) - 1)
            ++length;
    }
    QByteArray out = uintN(value, length);
    out[0] = char(quint8(out[0]) | quint8(0x80u >> (length - 1)));
    return out;
}

// The ID and size field of an element whose payload follows separately.
inline QByteArray header(quint32 elementId, quint64 payloadSize, int sizeLength = 0)
{
    return id(elementId) + size(payloadSize, sizeLength);
}

// A whole element.
inline QByteArray el(quint32 elementId, const QByteArray &payload)
{
    return header(elementId, quint64(payload.size())) + payload;
}

inline QByteArray uel(quint32 elementId, quint64 value)
{
    return el(elementId, uinteger(value));
}

inline QByteArray f64(double value)
{
    quint64 raw = 0;
    std::memcpy(&raw, &value, 8);
    return uintN(raw, 8);
}

// Element IDs the tests use by name.
enum : quint32 {
    EBML = 0x1A45DFA3,
    EBMLVersion = 0x4286,
    DocType = 0x4282,
    Void = 0xEC,
    Segment = 0x18538067,
    Info = 0x1549A966,
    TimecodeScale = 0x2AD7B1,
    Duration = 0x4489,
    DateUTC = 0x4461,
    Title = 0x7BA9,
    SegmentUID = 0x73A4,
    Cluster = 0x1F43B675,
    Timecode = 0xE7,
    SimpleBlock = 0xA3,
    BlockGroup = 0xA0,
    Block = 0xA1,
    ReferenceBlock = 0xFB,
    Tracks = 0x1654AE6B,
    TrackEntry = 0xAE,
    TrackNumber = 0xD7,
    TrackType = 0x83,
    CodecID = 0x86,
    CodecPrivate = 0x63A2,
    DefaultDuration = 0x23E383,
    TrackTimecodeScale = 0x23314F,
    PixelWidth = 0xB0,
    PixelHeight = 0xBA,
    DisplayUnit = 0x54B2,
    Attachments = 0x1941A469,
    AttachedFile = 0x61A7,
    FileData = 0x465C,
    Chapters = 0x1043A770,
    EditionEntry = 0x45B9,
    EditionFlagHidden = 0x45BD,
    ChapterAtom = 0xB6,
    ChapterTimeStart = 0x91,
    ChapterDisplay = 0x80,
    Crc32 = 0xBF,
    Unknown = 0x4321, // not in the catalogue
};

// A Tracks master with one TrackEntry per (number, type) pair.
inline QByteArray tracks(std::initializer_list<std::pair<quint64, quint64>> entries)
{
    QByteArray payload;
    for (const auto &e : entries)
        payload += el(TrackEntry, uel(TrackNumber, e.first) + uel(TrackType, e.second));
    return el(Tracks, payload);
}

// A SimpleBlock of a one-byte track number, timecode 0, the given flags and
// dataBytes bytes of frame data.
inline QByteArray simpleBlock(int track, int flags, int dataBytes = 1)
{
    return el(SimpleBlock, bytes({0x80 | track, 0x00, 0x00, flags}) + QByteArray(dataBytes, 'x'));
}

} // namespace ebml
