// SPDX-License-Identifier: MIT
#pragma once

// The lines that the HTML report streams into its node and frame scripts.
// This is their one definition: the writer writes by it, the page's script
// reads the field positions from the "layout" that the writer puts into the
// page's meta block, and the tests read by it.
//
// Fields are separated by tabs. Texts are escaped as Escape::html does, so
// a field never holds a raw tab, newline, '<' or '^'.
//
// A node line: the node fields, then the row fields of each row. Its
// rowsOmitted is the number of its rows past the report's cap, which are
// only counted (empty for none); they are the last of its rows. A row
// offset is empty when the row starts where the previous one ended (the
// first row: at the node), else it is its distance from the node. The
// parent is the index of the parent's node line, -1 at the top level.
// A text line ('$' and a text) adds to a table of repeated texts, which a
// field refers to as '^' and the index. A late line ('!' and the late
// fields) adds what a node learns after its line went out.
namespace ReportFormat {

enum NodeField {
    NodeParent,
    NodeName,
    NodeOffset,
    NodeSize,
    NodeFlags,
    NodeBytes,
    NodeAnnotation,
    NodeCrc,
    NodeRowsOmitted,
    NodeFields
};
enum RowField { RowName, RowOffset, RowLength, RowValue, RowMeaning, RowFields };
enum LateField { LateIndex, LateAnnotation, LateCrc, LateOmitted, LateStatus, LateFields };
// A frame line; the time is in microseconds, empty when unknown, and the
// node is the index of the innermost embedded node open at the frame.
enum FrameField {
    FrameStream,
    FrameNumber,
    FrameOffset,
    FrameSize,
    FrameKeyframe,
    FrameTime,
    FrameNode,
    FrameFields
};

enum NodeFlag : unsigned {
    FlagPastFileEnd = 1,
    FlagPastParentEnd = 2,
    FlagHeadOnly = 4, // the byte budget was spent: only the first bytes are there
};

constexpr char TextLine = '$';
constexpr char LateLine = '!';
constexpr char Reference = '^';

// The names under which the page finds each field.
constexpr const char *NodeFieldNames[NodeFields]
    = {"parent", "name", "offset", "size", "flags", "bytes", "annotation", "crc", "rowsOmitted"};
constexpr const char *RowFieldNames[RowFields] = {"name", "offset", "length", "value", "meaning"};
constexpr const char *LateFieldNames[LateFields]
    = {"index", "annotation", "crc", "omitted", "status"};
constexpr const char *FrameFieldNames[FrameFields]
    = {"stream", "number", "offset", "size", "keyframe", "time", "node"};

} // namespace ReportFormat
