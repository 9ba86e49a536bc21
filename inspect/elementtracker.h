// SPDX-License-Identifier: MIT
#pragma once

#include "elementsink.h"
#include "matroskaids.h"

#include <QString>

#include <vector>

constexpr size_t NoSegment = ~size_t(0);

// An open element as its node and its Id, Size and Value rows tell it. The
// facts from rows are filled in for a chain with a stage that reads them
// (the checks, the CRC stage; TrackerStage): rows are most of a walk's
// calls, and for other chains they pass the tracker by.
struct OpenElement
{
    qint64 id = -1; // its ID; -1 when none could be read
    QString name;   // for display and paths; kept by a tracker that keeps paths
    quint64 offset = 0;
    quint64 size = 0;           // the node's length, header included
    quint64 end = 0;            // offset + size, saturated
    quint64 index = 1;          // 1-based among its parent's children of its ID (name: no ID);
                                // counted by a tracker that keeps paths
    size_t segment = NoSegment; // the depth of the innermost open Segment
    bool pastFileEnd = false;   // it claims more bytes than the file holds from its offset
    bool pastParentEnd = false; // it ends after its parent

    quint8 idLength = 0;      // from the Id row
    quint8 sizeLength = 0;    // from the Size row
    quint64 dataOffset = 0;   // where the payload begins (after the size field)
    quint64 dataSize = 0;     // the size field's value; for an unknown size, the extent found
    bool unknownSize = false; // the walk found the extent of a master of unknown size

    bool hasValue = false; // a Value row came
    qint64 number = -1;    // the number it holds (elementsink.h); the classic
                           // walk's, when the chain reads row numbers

    quint64 children = 0; // opened so far

private:
    friend class ElementTracker;
    // How many of its children had each ID (name, without one) so far, and
    // which came last: runs of one ID, such as blocks, are the rule.
    struct ChildCount
    {
        qint64 id;
        QString name;
        quint64 count;
    };
    std::vector<ChildCount> m_childCounts;
    size_t m_lastChild = 0;
};

// The elements open in the walk, outermost first, as one stack that the
// chain's first stage keeps and every stage, check and writer reads. An
// element is open from just before its beginElement reaches the stages until
// just after its endElement has passed them all.
class ElementTracker
{
public:
    ElementTracker() { m_top.end = ~quint64(0); }
    Q_DISABLE_COPY_MOVE(ElementTracker)

    // Open elements: depth() of them, the innermost at depth() - 1.
    size_t depth() const { return m_depth; }
    bool empty() const { return m_depth == 0; }
    const OpenElement &at(size_t depth) const { return m_open[depth]; }
    const OpenElement &current() const { return *m_current; }
    // The element around the current one, or null at the top level.
    const OpenElement *parent() const { return m_depth >= 2 ? m_current - 1 : nullptr; }
    // The ID of the current element's parent: 0 at the top level, as the
    // schema writes it (MatroskaSchema::TopLevel).
    quint32 parentId() const { return parent() && parent()->id >= 0 ? quint32(parent()->id) : 0; }
    // The innermost open Segment, or null.
    const OpenElement *segment() const
    {
        return m_depth == 0 || current().segment == NoSegment ? nullptr
                                                              : &m_open[current().segment];
    }
    quint64 fileSize() const { return m_fileSize; }

    // /Segment/Cluster[3]/SimpleBlock[17] for the open element at depth.
    // Past PathComponents elements, the first and last PathEnds stay around
    // the count of those left out: /Segment/Cluster/Cluster/...[979 more].../
    // Cluster/BlockGroup/Block. It costs the same at any depth.
    QString path(size_t depth) const
    {
        return pathTo(depth) + step(at(depth).name, at(depth).index);
    }
    QString currentPath() const { return path(m_depth - 1); }
    // The path of the open element at depth up to its own step: what the
    // paths of its siblings share.
    QString pathTo(size_t depth) const;
    // "/Name" or "/Name[index]", a step of a path.
    static QString step(const QString &name, quint64 index);

    // Whether names and sibling indexes are kept, for paths (the checks
    // read them); on unless the chain says no sink reads them. Without
    // them an element opens in about half the instructions.
    void keepPaths(bool keep) { m_paths = keep; }
    bool keepsPaths() const { return m_paths; }

    static constexpr size_t PathComponents = 16;
    static constexpr size_t PathEnds = 3;

    // The walk's calls, from the chain's first stage. A modern walk finds
    // the extent of masters of unknown size; the classic one takes their
    // size fields as they are.
    void beginFile(quint64 size, bool modern);
    // Inline for a tracker without paths, which opens an element in a few
    // stores: the default walk of many-blocks from 1,212.8M to 1,195.6M
    // instructions.
    void open(quint64 offset, quint64 size, const QString &name, qint64 id)
    {
        if (m_paths || m_depth == m_open.size())
            return openNamed(offset, size, name, id);
        OpenElement &parent = *m_current;
        ++parent.children;
        m_current = &m_open[m_depth];
        fill(*m_current, parent, offset, size, id);
        ++m_depth;
    }
    // A row of the innermost element: its Id, Size and Value rows say its
    // header and value.
    void row(RowKind kind, quint64 offset, quint64 length, qint64 tag)
    {
        if (m_depth == 0)
            return;
        OpenElement &e = *m_current;
        switch (kind) {
        case RowKind::Id: e.idLength = quint8(qMin<quint64>(length, 255)); break;
        case RowKind::Size: sizeRow(e, offset, length, tag); break;
        case RowKind::Value:
            e.hasValue = true;
            e.number = tag;
            break;
        default: break;
        }
    }
    void close()
    {
        if (m_depth > 0)
            m_current = --m_depth ? m_current - 1 : &m_top;
    }

private:
    // The run of one ID goes on, else the counts are searched.
    quint64 nextIndex(OpenElement &parent, const QString &name, qint64 id)
    {
        if (id >= 0 && parent.m_lastChild < parent.m_childCounts.size()) {
            OpenElement::ChildCount &last = parent.m_childCounts[parent.m_lastChild];
            if (last.id == id)
                return ++last.count;
        }
        return countChild(parent, name, id);
    }
    Q_NEVER_INLINE quint64 countChild(OpenElement &parent, const QString &name, qint64 id);
    // Opens an element with its name and index, or past the entries kept.
    Q_NEVER_INLINE void openNamed(quint64 offset, quint64 size, const QString &name, qint64 id);
    // All of an element but its name and index. The top level's end is
    // past any, and it is in no Segment.
    void fill(OpenElement &e, const OpenElement &parent, quint64 offset, quint64 size, qint64 id)
    {
        e.id = id;
        e.offset = offset;
        e.size = size;
        e.end = size > ~quint64(0) - offset ? ~quint64(0) : offset + size;
        e.segment = id == MatroskaSchema::Id::Segment ? m_depth : parent.segment;
        e.pastFileEnd = size > (offset < m_fileSize ? m_fileSize - offset : 0);
        e.pastParentEnd = e.end > parent.end;
        e.idLength = 0;
        e.sizeLength = 0;
        e.dataOffset = offset;
        e.dataSize = 0;
        e.unknownSize = false;
        e.hasValue = false;
        e.number = -1;
        e.children = 0;
    }
    void sizeRow(OpenElement &e, quint64 offset, quint64 length, qint64 tag);

    // Entries past m_depth are kept for the next elements of their depth.
    std::vector<OpenElement> m_open;
    size_t m_depth = 0;
    // The innermost open element, m_open[m_depth - 1], or the top level:
    // the checks ask for it on every row (--check of many-blocks from
    // 1,280.2M to 1,236.3M instructions).
    OpenElement *m_current = &m_top;
    OpenElement m_top; // the top level, whose children are counted too
    quint64 m_fileSize = 0;
    bool m_modern = false;
    bool m_paths = true;
};
