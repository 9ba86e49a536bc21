// SPDX-License-Identifier: MIT
#include "elementtracker.h"

#include "ebmldecoder.h"
#include "matroskaids.h"
#include "matroskaschema.h"

QString ElementTracker::step(const QString &name, quint64 index)
{
    QString text = QLatin1Char('/') + name;
    if (index > 1)
        text += QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
    return text;
}

QString ElementTracker::pathTo(size_t depth) const
{
    const size_t count = depth + 1; // steps of the whole path
    const bool elided = count > PathComponents;
    QString text;
    for (size_t i = 0; i < depth; ++i) {
        if (elided && i == PathEnds) {
            text += QStringLiteral("/...[%1 more]...").arg(count - 2 * PathEnds);
            i = count - PathEnds;
        }
        text += step(m_open[i].name, m_open[i].index);
    }
    return text;
}

void ElementTracker::beginFile(quint64 size, bool modern)
{
    m_depth = 0;
    m_current = &m_top;
    m_top = OpenElement();
    m_top.end = ~quint64(0);
    m_fileSize = size;
    m_modern = modern;
}

quint64 ElementTracker::countChild(OpenElement &parent, const QString &name, qint64 id)
{
    std::vector<OpenElement::ChildCount> &counts = parent.m_childCounts;
    if (parent.m_lastChild < counts.size()) {
        OpenElement::ChildCount &last = counts[parent.m_lastChild];
        if (id >= 0 ? last.id == id : last.id < 0 && last.name == name)
            return ++last.count;
    }
    // Only "Unknown" stands for several IDs: they are counted as one name.
    for (size_t i = 0; i < counts.size(); ++i) {
        if (counts[i].name == name) {
            parent.m_lastChild = i;
            return ++counts[i].count;
        }
    }
    parent.m_lastChild = counts.size();
    counts.push_back(OpenElement::ChildCount {id, name, 1});
    return 1;
}

void ElementTracker::openNamed(quint64 offset, quint64 size, const QString &name, qint64 id)
{
    if (m_depth == m_open.size())
        m_open.emplace_back();
    OpenElement &parent = m_depth ? m_open[m_depth - 1] : m_top;
    ++parent.children;
    OpenElement &e = m_open[m_depth];
    m_current = &e;
    if (m_paths) {
        e.index = nextIndex(parent, name, id);
        // Elements of one depth mostly share their name: the same
        // characters need not be taken again.
        if (e.name.constData() != name.constData() || e.name.size() != name.size())
            e.name = name;
        e.m_childCounts.clear();
        e.m_lastChild = 0;
    }
    fill(e, parent, offset, size, id);
    ++m_depth;
}

void ElementTracker::sizeRow(OpenElement &e, quint64 offset, quint64 length, qint64 tag)
{
    e.sizeLength = quint8(qMin<quint64>(length, 255));
    e.dataOffset = offset + length;
    // The node's length is its header and its payload: for an unknown size,
    // the extent the walk found, which its size field does not say (an
    // element of another kind keeps its size field, all ones or not).
    const quint64 header = quint64(e.idLength) + e.sizeLength;
    e.dataSize = e.size > header ? e.size - header : 0;
    if (m_modern && EbmlDecoder::unknownSize(quint64(tag), e.sizeLength)) {
        const MatroskaSchema::Element *schema
            = e.id >= 0 ? MatroskaSchema::find(quint32(e.id)) : nullptr;
        e.unknownSize
            = (schema && schema->type == MatroskaSchema::Master) || e.dataSize != quint64(tag);
    }
}
