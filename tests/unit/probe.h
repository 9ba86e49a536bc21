#pragma once

// Probe: the Matroska parser with its protected members opened up for tests,
// an in-memory input and an ElementTree that collects what it reports.

#include "containermkv.h"
#include "elementtree.h"
#include "inputdevice.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

// Readable QStrings in assertion messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

// An in-memory input that counts what the parser asks of it.
class CountingDevice : public InputDevice
{
public:
    qint64 readBytes(char *buffer, qint64 count) override
    {
        ++calls;
        requested += quint64(count > 0 ? count : 0);
        largestRequest = qMax(largestRequest, count);
        return InputDevice::readBytes(buffer, count);
    }
    void resetCounts()
    {
        calls = 0;
        requested = 0;
        largestRequest = 0;
    }
    int calls = 0;
    quint64 requested = 0;
    qint64 largestRequest = 0;
};

class Probe : public ContainerMKV
{
public:
    using ContainerMKV::ElementHandler;
    using ContainerMKV::ElementMKV;

    using ContainerMKV::findBeginOfContainer;
    using ContainerMKV::parseElement;
    using ContainerMKV::verifyContainerFormat;

    using ContainerMKV::getEBMLelement;
    using ContainerMKV::getEBMLsize;
    using ContainerMKV::getID;

    using ContainerMKV::parseUnknownObject;
    using ContainerMKV::searchID;

    using ContainerMKV::parseData;
    using ContainerMKV::parseJunk;
    using ContainerMKV::reportValue;
    using ContainerMKV::reportValueBinary;
    using ContainerMKV::reportValueDate;
    using ContainerMKV::reportValueFloat;
    using ContainerMKV::reportValueSInteger;
    using ContainerMKV::reportValueString;
    using ContainerMKV::reportValueUInteger;
    using ContainerMKV::reportValueUTF8;

    using ContainerMKV::parseBlock;

    using ContainerMKV::parseCodecID;
    using ContainerMKV::parseCodecPrivate;
    using ContainerMKV::parseDefaultDuration;
    using ContainerMKV::parseDisplayUnit;
    using ContainerMKV::parsePixelHeight;
    using ContainerMKV::parsePixelWidth;
    using ContainerMKV::parseTrackEntry;
    using ContainerMKV::parseTrackNumber;
    using ContainerMKV::parseTrackTimecodeScale;
    using ContainerMKV::parseTrackType;
    using ContainerMKV::reset_stream;

    using ContainerMKV::elements;
    using ContainerMKV::stream;
    using ContainerMKV::trackTypes;
    using ContainerMKV::videoTracks;

    CountingDevice device;
    ElementTree tree;

    Probe() { setSink(&tree); }

    // Serves bytes as the input, the device at 0.
    void load(const QByteArray &bytes)
    {
        device.openBuffer(bytes);
        dataSource = &device;
        device.seek(0);
        currentPosition = 0;
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
        quint64 position = 0;
        const quint64 end = quint64(bytes.size());
        while (position < end) {
            quint64 length = 0;
            statuses.push_back(walkAt(position, &length));
            if (length == 0 || length > end - position)
                break;
            position += length;
        }
        return statuses;
    }

    // The host driver over bytes served under a file name.
    int walkFile(const QByteArray &bytes, const QString &fileName = QStringLiteral("x.mkv"))
    {
        device.openBuffer(bytes);
        return parseFile(fileName, &device, &tree);
    }

    // A record for a direct handler or reporter call, the device at its
    // payload.
    ElementMKV record(int type, quint64 dataOffset, quint64 dataSize)
    {
        ElementMKV r;
        r.type = type;
        r.elementOffset = dataOffset;
        r.dataOffset = dataOffset;
        r.dataSize = dataSize;
        r.elementSize = dataSize;
        device.seek(qint64(dataOffset));
        return r;
    }

    // Rows of the tree's first root, the usual target of a direct call.
    const ElementNode &root(size_t i = 0) const { return tree.roots.at(i); }
};

// Rows reported by a direct reporter call land in an open node.
struct OpenNode
{
    Probe &probe;
    explicit OpenNode(Probe &p) : probe(p) { probe.tree.beginElement(0, 0, QStringLiteral("t"), -1); }
    ~OpenNode() { probe.tree.endElement(); }
    const ElementNode &node() const { return probe.tree.roots.back(); }
};

// Tree walking helpers.
inline void forEachNode(const std::vector<ElementNode> &nodes,
                        const std::function<void(const ElementNode &, int)> &visit, int depth = 0)
{
    for (const ElementNode &n : nodes) {
        visit(n, depth);
        forEachNode(n.children, visit, depth + 1);
    }
}

inline int countNodes(const std::vector<ElementNode> &nodes)
{
    int count = 0;
    forEachNode(nodes, [&](const ElementNode &, int) { ++count; });
    return count;
}

// The first node with this name, depth first, or null.
inline const ElementNode *findNode(const std::vector<ElementNode> &nodes, const QString &name)
{
    for (const ElementNode &n : nodes) {
        if (n.name == name)
            return &n;
        if (const ElementNode *hit = findNode(n.children, name))
            return hit;
    }
    return nullptr;
}

// The value row's text of the first node with this name ("<none>" if absent).
inline QString valueOf(const std::vector<ElementNode> &nodes, const QString &name)
{
    const ElementNode *n = findNode(nodes, name);
    if (!n)
        return QStringLiteral("<no node>");
    const ElementRow *r = n->row(QStringLiteral("value"));
    return r ? r->value : QStringLiteral("<no row>");
}

// Checks row i of a node: name, offset, length and value text.
inline ::testing::AssertionResult hasRow(const ElementNode &node, int i, const QString &name,
                                         quint64 offset, quint64 length, const QString &value)
{
    if (i >= node.rows.size())
        return ::testing::AssertionFailure()
               << node.name.toStdString() << " has " << node.rows.size() << " rows, no row " << i;
    const ElementRow &r = node.rows.at(i);
    if (r.name != name || r.offset != offset || r.length != length || r.value != value)
        return ::testing::AssertionFailure()
               << node.name.toStdString() << " row " << i << " is (" << r.name.toStdString()
               << ", " << r.offset << ", " << r.length << ", \"" << r.value.toStdString()
               << "\"), expected (" << name.toStdString() << ", " << offset << ", " << length
               << ", \"" << value.toStdString() << "\")";
    return ::testing::AssertionSuccess();
}
