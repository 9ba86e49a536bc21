// SPDX-License-Identifier: MIT
#pragma once

// A small EBML writer for building test inputs in memory, so that no size
// field is ever counted by hand.

#include "matroskaids.h"

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

// Element IDs the tests use by name, some by their classic names.
namespace Id = MatroskaSchema::Id;
enum : quint32 {
    EBML = Id::Ebml,
    EBMLVersion = Id::EbmlVersion,
    DocType = Id::DocType,
    Void = Id::Void,
    Segment = Id::Segment,
    Info = Id::Info,
    TimecodeScale = Id::TimestampScale,
    Duration = Id::Duration,
    DateUTC = Id::DateUtc,
    Title = Id::Title,
    SegmentUID = Id::SegmentUuid,
    Cluster = Id::Cluster,
    Timecode = Id::Timestamp,
    SimpleBlock = Id::SimpleBlock,
    BlockGroup = Id::BlockGroup,
    Block = Id::Block,
    ReferenceBlock = Id::ReferenceBlock,
    Tracks = Id::Tracks,
    TrackEntry = Id::TrackEntry,
    TrackNumber = Id::TrackNumber,
    TrackType = Id::TrackType,
    CodecID = Id::CodecId,
    CodecPrivate = Id::CodecPrivate,
    DefaultDuration = Id::DefaultDuration,
    TrackTimecodeScale = Id::TrackTimestampScale,
    PixelWidth = Id::PixelWidth,
    PixelHeight = Id::PixelHeight,
    DisplayUnit = Id::DisplayUnit,
    Attachments = Id::Attachments,
    AttachedFile = Id::AttachedFile,
    FileData = Id::FileData,
    Chapters = Id::Chapters,
    EditionEntry = Id::EditionEntry,
    EditionFlagHidden = Id::EditionFlagHidden,
    ChapterAtom = Id::ChapterAtom,
    ChapterTimeStart = Id::ChapterTimeStart,
    ChapterDisplay = Id::ChapterDisplay,
    Crc32 = Id::Crc32,
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
