// SPDX-License-Identifier: MIT
#include "elementtree.h"

const ElementRow *ElementNode::row(const QString &rowName) const
{
    for (const ElementRow &r : rows)
        if (r.name == rowName)
            return &r;
    return nullptr;
}

const ElementNode *ElementNode::child(const QString &childName) const
{
    for (const ElementNode &c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

void ElementTree::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    // Only the innermost open node's children grow, so the pointers to its
    // ancestors on the stack stay valid.
    std::vector<ElementNode> &siblings = m_open.empty() ? roots : m_open.back()->children;
    siblings.emplace_back();
    ElementNode &node = siblings.back();
    node.offset = offset;
    node.size = size;
    node.name = name;
    node.tag = tag;
    m_open.push_back(&node);
}

void ElementTree::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                           const QString &name, const QString &value, const QString &extra,
                           const QString &meaning, qint64 tag)
{
    ElementNode *node = current();
    if (!node) {
        ++strayCalls;
        return;
    }
    node->rows.append(ElementRow {flag, offset, code, length, name, value, extra, meaning, tag});
}

void ElementTree::annotateElement(const QString &text)
{
    ElementNode *node = current();
    if (!node) {
        ++strayCalls;
        return;
    }
    node->annotation = text;
    ++node->annotations;
}

void ElementTree::endElement()
{
    if (m_open.empty()) {
        ++strayCalls;
        return;
    }
    m_open.pop_back();
}

void ElementTree::addFrame(const FrameRecord &frame)
{
    frames.append(frame);
}

void ElementTree::topLevelParsed(int status)
{
    if (!roots.empty())
        roots.back().status = status;
}

void ElementTree::clear()
{
    roots.clear();
    frames.clear();
    m_open.clear();
    strayCalls = 0;
}
