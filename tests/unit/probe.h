// SPDX-License-Identifier: MIT
#pragma once

// Probe: the Matroska parser with its protected members opened up for tests,
// an in-memory input that counts what is read from it, and an ElementTree
// that collects what the parser reports.

#include "containermkv.h"
#include "golden.h"
#include "inputdevice.h"

#include <QElapsedTimer>

#include <functional>
#include <utility>
#include <vector>

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

// An ElementTree that also keeps each annotation's kind with its text.
struct NotingTree : ElementTree
{
    std::vector<std::pair<NoteKind, QString>> notes;
    void annotateElement(const QString &text) override { noteElement(NoteKind::Unsaid, text); }
    void noteElement(NoteKind kind, const QString &text) override
    {
        notes.emplace_back(kind, text);
        ElementTree::annotateElement(text);
    }
};

class Probe : public ContainerMKV
{
public:
    using ContainerMKV::elements, ContainerMKV::trackTypes, ContainerMKV::videoTracks;

    // Walks take any bytes under any name, unless a test of what a walk
    // takes says otherwise.
    bool takesAnyInput = true;
    int verifyContainerFormat(const QString &name) override
    {
        return takesAnyInput ? StatusDone : ContainerMKV::verifyContainerFormat(name);
    }

    CountingDevice device;
    NotingTree tree;

    Probe() { setSink(&tree); }

    // Walks the top-level elements one after the other, as the host does
    // but keeping the frame counters the test has set.
    void walkAll(const QByteArray &bytes)
    {
        device.openBuffer(bytes);
        dataSource = &device;
        prepareParsing();
        for (quint64 position = 0, length = 1; length && position < quint64(bytes.size());
             position += length) {
            currentPosition = position;
            device.seek(qint64(position));
            parseElement(&length);
        }
    }

    // The host driver over bytes served under a file name.
    int walkFile(const QByteArray &bytes)
    {
        device.openBuffer(bytes);
        return parseFile(QStringLiteral("x.mkv"), &device, &tree);
    }
};

inline void forEachNode(const std::vector<ElementNode> &nodes,
                        const std::function<void(const ElementNode &)> &visit)
{
    for (const ElementNode &n : nodes) {
        visit(n);
        forEachNode(n.children, visit);
    }
}

// Walks input through the host driver and checks what holds for any input:
// the walk ends soon and balanced, no node or row lies at or past the end or
// wraps past 2^64, no read is much larger than the input, and every frame is
// the data row of a block.
inline int walkChecked(Probe &p, const QByteArray &input)
{
    QElapsedTimer timer;
    timer.start();
    const int status = p.walkFile(input);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(p.tree.openNodes(), 0);
    EXPECT_EQ(p.tree.strayCalls, 0);
    EXPECT_LE(p.device.largestRequest, qint64(input.size()) + 8);
    forEachNode(p.tree.roots, [&](const ElementNode &n) {
        EXPECT_LT(n.offset, quint64(input.size())) << n.name.toStdString();
        EXPECT_LE(n.size, ~quint64(0) - n.offset) << n.name.toStdString();
        for (const ElementRow &r : n.rows)
            EXPECT_LE(r.length, ~quint64(0) - r.offset) << r.name.toStdString();
    });
    for (const FrameRecord &f : p.tree.frames) {
        bool onData = false;
        forEachNode(p.tree.roots, [&](const ElementNode &n) {
            const ElementRow *data = n.row(QStringLiteral("data"));
            onData |= data && data->offset == f.offset && data->length == f.size;
        });
        EXPECT_TRUE(onData) << "frame at " << f.offset;
    }
    return status;
}
