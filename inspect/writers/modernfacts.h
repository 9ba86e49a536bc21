// SPDX-License-Identifier: MIT
#pragma once

#include "ebmldecoder.h"
#include "elementtracker.h"
#include "matroskaschema.h"
#include "outputbuffer.h"

// What the modern walk's typed calls say beside their texts, read the same
// way by every writer that shows it: an element's ID as a tag, the bits of
// its size field in its Size row. The modern walk reads by the whole schema,
// so that an ID outside it is an unknown element.
namespace ModernFacts {

// Whether the element of ID id (-1: none could be read) is one the schema
// does not know.
inline bool unknownId(qint64 id)
{
    return id >= 0 && !MatroskaSchema::find(quint32(id));
}

// Whether a Size row of the innermost open element says an unknown size: a
// size field of all ones on a master, whose extent the walk found.
inline bool unknownSize(const ElementTracker &tracker, quint64 length, qint64 tag)
{
    if (tracker.empty() || length > 8 || !EbmlDecoder::unknownSize(quint64(tag), int(length)))
        return false;
    const qint64 id = tracker.current().id;
    const MatroskaSchema::Element *e = id >= 0 ? MatroskaSchema::find(quint32(id)) : nullptr;
    return e && e->type == MatroskaSchema::Master;
}

// An ID as stored, marker bits included: 0x1F43B675. p has room for 10 bytes.
inline char *hexId(char *p, qint64 id)
{
    static const char digits[] = "0123456789ABCDEF";
    const quint32 n = quint32(id);
    int count = 1;
    for (quint32 rest = n >> 4; rest; rest >>= 4)
        ++count;
    p = putLiteral(p, "0x");
    for (int i = count - 1, shift = 0; i >= 0; --i, shift += 4)
        p[i] = digits[(n >> shift) & 15];
    return p + count;
}

} // namespace ModernFacts
