#pragma once

// Probe: the Matroska parser with its protected members opened up for tests,
// an in-memory input that counts what is read from it, and an ElementTree
// that collects what the parser reports.

#include "containermkv.h"
#include "elementtree.h"
#include "inputdevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

// Readable QStrings in assertion messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

class CountingDevice : public InputDevice
{
public:
    qint64 readBytes(char *buffer, qint64 count) override
    {
        requested += quint64(qMax<qint64>(count, 0));
        largestRequest = qMax(largestRequest, count);
        return InputDevice::readBytes(buffer, count);
    }
    quint64 requested = 0;
    qint64 largestRequest = 0;
};

class Probe : public ContainerMKV
{
public:
    using ContainerMKV::elements, ContainerMKV::trackTypes, ContainerMKV::videoTracks;
    using ContainerMKV::getEBMLelement, ContainerMKV::getID, ContainerMKV::verifyContainerFormat;
    using ContainerMKV::parseBlock, ContainerMKV::parseData, ContainerMKV::parseJunk,
        ContainerMKV::reportValue;

    CountingDevice device;
    ElementTree tree;

    Probe() { setSink(&tree); }

    // Serves bytes as the input, the device at 0.
    void load(const QByteArray &bytes)
    {
        device.openBuffer(bytes);
        dataSource = &device;
        device.seek(0);
    }

    // One parseElement call for the element at position.
    int walkAt(quint64 position, quint64 *length = nullptr)
    {
        currentPosition = position;
        device.seek(qint64(position));
        quint64 l = 0;
        const int status = parseElement(&l);
        if (length)
            *length = l;
        return status;
    }

    // Loads bytes and walks the top-level elements one after the other, as
    // the host does but keeping the frame counters the test has set.
    std::vector<int> walkAll(const QByteArray &bytes)
    {
        load(bytes);
        std::vector<int> statuses;
        for (quint64 position = 0, length = 0; position < quint64(bytes.size());
             position += length) {
            statuses.push_back(walkAt(position, &length));
            if (length == 0)
                break;
        }
        return statuses;
    }

    // The host driver over bytes served under a file name.
    int walkFile(const QByteArray &bytes, const QString &fileName = QStringLiteral("x.mkv"))
    {
        device.openBuffer(bytes);
        return parseFile(fileName, &device, &tree);
    }

    // Calls a handler or reporter directly on a payload of dataSize bytes at
    // offset, inside an open node; the rows are then in the last root.
    int call(ElementHandler handler, int type, quint64 offset, quint64 dataSize)
    {
        ElementMKV r(type, nullptr, QString(), QString());
        r.elementOffset = r.dataOffset = offset;
        r.elementSize = r.dataSize = dataSize;
        device.seek(qint64(offset));
        tree.beginElement(0, 0, QStringLiteral("t"), -1);
        const int status = (this->*handler)(&r);
        tree.endElement();
        return status;
    }

    const ElementNode &root(size_t i = 0) const { return tree.roots.at(i); }
};

inline void forEachNode(const std::vector<ElementNode> &nodes,
                        const std::function<void(const ElementNode &)> &visit)
{
    for (const ElementNode &n : nodes) {
        visit(n);
        forEachNode(n.children, visit);
    }
}

inline int countNodes(const std::vector<ElementNode> &nodes)
{
    int count = 0;
    forEachNode(nodes, [&](const ElementNode &) { ++count; });
    return count;
}

// The walk ended with every node closed, made no call outside one and
// reported nothing at or past end.
inline void expectBalanced(const ElementTree &tree, quint64 end)
{
    EXPECT_EQ(tree.openNodes(), 0);
    EXPECT_EQ(tree.strayCalls, 0);
    forEachNode(tree.roots, [&](const ElementNode &n) { EXPECT_LT(n.offset, end); });
}

// The first node with this name, depth first, or null.
inline const ElementNode *findNode(const std::vector<ElementNode> &nodes, const QString &name)
{
    const ElementNode *hit = nullptr;
    forEachNode(nodes, [&](const ElementNode &n) {
        if (!hit && n.name == name)
            hit = &n;
    });
    return hit;
}

// The value row's text of the first node with this name.
inline QString valueOf(const std::vector<ElementNode> &nodes, const QString &name)
{
    const ElementNode *n = findNode(nodes, name);
    const ElementRow *r = n ? n->row(QStringLiteral("value")) : nullptr;
    return !n ? QStringLiteral("<no node>") : r ? r->value : QStringLiteral("<no row>");
}

// A node in one line, for comparing whole walks:
//   Name@offset+size:status[row row]{child child}<annotation>
// with each row as name@offset+length=value(meaning). The status shows when
// it is not 0, brackets and meanings when not empty, the annotation when
// annotateElement reached the node (xN when it did N > 1 times).
inline QString outline(const ElementNode &n)
{
    QString s = n.name + '@' + QString::number(n.offset) + '+' + QString::number(n.size);
    if (n.status)
        s += ':' + QString::number(n.status);
    for (int i = 0; i < n.rows.size(); ++i) {
        const ElementRow &r = n.rows[i];
        s += (i ? " " : "[") + r.name + '@' + QString::number(r.offset) + '+'
            + QString::number(r.length) + '=' + r.value;
        if (!r.meaning.isEmpty())
            s += '(' + r.meaning + ')';
    }
    if (!n.rows.isEmpty())
        s += ']';
    for (size_t i = 0; i < n.children.size(); ++i)
        s += (i ? " " : "{") + outline(n.children[i]);
    if (!n.children.empty())
        s += '}';
    if (n.annotations)
        s += '<' + n.annotation + '>';
    if (n.annotations > 1)
        s += 'x' + QString::number(n.annotations);
    return s;
}

inline QString outline(const std::vector<ElementNode> &nodes)
{
    QStringList parts;
    for (const ElementNode &n : nodes)
        parts << outline(n);
    return parts.join(' ');
}

// The value rows of a walk, depth first: "Name=value(meaning) ...".
inline QString values(const std::vector<ElementNode> &nodes)
{
    QStringList parts;
    forEachNode(nodes, [&](const ElementNode &n) {
        if (const ElementRow *r = n.row(QStringLiteral("value")))
            parts << n.name + '=' + r->value + (r->meaning.isEmpty() ? "" : '(' + r->meaning + ')');
    });
    return parts.join(' ');
}
