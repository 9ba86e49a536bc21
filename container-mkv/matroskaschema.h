// SPDX-License-Identifier: MIT
#pragma once

#include "matroskaids.h"

#include <QString>
#include <QtGlobal>

#include <limits>

// Every element of today's EBML and Matroska (RFC 8794, RFC 9559), one row
// each, sorted by ID, with the facts that the schemas give. Shared by the
// plug-in and the host, each of which compiles it in.
namespace MatroskaSchema {

// The same codes as the plug-in's element types.
enum Type : quint8 {
    SInteger = 1,
    UInteger = 2,
    Float = 3,
    String = 4,
    UTF8 = 5,
    Date = 6,
    Master = 7,
    Binary = 8,
};

enum Flag : quint8 {
    WebM = 1,               // WebM allows it
    NotWebM = 2,            // WebM does not (neither flag: WebM does not say)
    UnknownSizeAllowed = 4, // its size may be unknown
    Recursive = 8,          // it may stand in an element of its own ID
    Recurring = 16,         // it may recur in its parent if each copy is the same
};

constexpr quint32 TopLevel = 0;
constexpr quint32 Anywhere = 0xFFFFFFFF; // Void and CRC-32
constexpr quint8 NoMaxVersion = 0xFF;
constexpr quint64 NoMaxLength = ~quint64(0);
constexpr double Inf = std::numeric_limits<double>::infinity();

struct Label
{
    quint64 number;   // the value, for integer enumerations
    const char *text; // the value, for string enumerations (else null)
    const char *label;
};

// The values a number may take: from min to max, each bound in or out, and
// perhaps one value left out.
struct Range
{
    bool present; // the schema gives a range
    double min, max;
    bool minOpen, maxOpen;
    bool hasNot;
    double notValue;

    bool contains(double v) const
    {
        if (hasNot && v == notValue)
            return false;
        if (v < min || (minOpen && v == min))
            return false;
        return !(v > max || (maxOpen && v == max));
    }
};

// Rows of Children.
struct ChildList
{
    quint16 first;
    quint16 count;
};

struct Element
{
    quint32 id; // as stored, length-marker bits included
    const char16_t *name;
    const char16_t *classicName; // its name in the plug-in's classic catalogue, or null
    quint8 type;
    quint32 parent; // the ID of the element it stands in, TopLevel or Anywhere
    quint32 minOccurs;
    quint32 maxOccurs; // 0: unbounded
    Range range;
    const char *defaultValue;
    quint64 minLength, maxLength; // of a payload, in bytes; NoMaxLength: any
    quint8 minVersion;
    quint8 maxVersion; // NoMaxVersion when it is still part of the format
    quint8 flags;
    const char *path;
    quint16 firstLabel;
    quint16 labelCount;
    ChildList children; // a master's, its own row last when it is Recursive
    qint16 slot;        // its place among its parent's children; -1: Anywhere
    qint16 selfSlot;    // a Recursive master's place among its own; else -1

    bool mayStandIn(quint32 parentId) const
    {
        return parent == parentId || parent == Anywhere || ((flags & Recursive) && id == parentId);
    }
};

extern const Element Elements[];
extern const int ElementCount;
extern const Label Labels[];
extern const quint16 Children[]; // rows of Elements
extern const ChildList TopLevelChildren;

// The row of an ID, or null.
const Element *find(quint32 id);

// The element's name, as a text that points into the table.
QString name(const Element &element);

// The label of an integer value, or null.
const char *label(const Element &element, quint64 value);

} // namespace MatroskaSchema
