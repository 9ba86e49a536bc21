// The element walker: nodes, their id/size rows, children, unknown elements,
// descriptions, and where the device is left.

#include "ebml.h"
#include "probe.h"

#include <gtest/gtest.h>

using namespace ebml;

namespace {

TEST(Walker, EbmlHeaderWithOneChild)
{
    Probe p;
    p.numberBase = 10;
    p.load(bytes({
        0x1A, 0x45, 0xDF, 0xA3, // EBML
        0x84,                   // size 4
        0x42, 0x86,             // EBMLVersion
        0x81,                   // size 1
        0x01,                   // version 1
    }));
    quint64 length = 0;
    EXPECT_EQ(p.walkAt(0, &length), 0);
    EXPECT_EQ(length, 9u);

    ASSERT_EQ(p.tree.roots.size(), 1u);
    const ElementNode &ebmlNode = p.root();
    EXPECT_EQ(ebmlNode.name, "EBML");
    EXPECT_EQ(ebmlNode.offset, 0u);
    EXPECT_EQ(ebmlNode.size, 9u);
    ASSERT_EQ(ebmlNode.rows.size(), 2);
    EXPECT_TRUE(hasRow(ebmlNode, 0, "id", 0, 4, "EBML"));
    EXPECT_TRUE(hasRow(ebmlNode, 1, "size", 4, 1, "4"));
    EXPECT_EQ(ebmlNode.annotations, 0);

    ASSERT_EQ(ebmlNode.children.size(), 1u);
    const ElementNode &version = ebmlNode.children[0];
    EXPECT_EQ(version.name, "EBMLVersion");
    EXPECT_EQ(version.offset, 5u);
    EXPECT_EQ(version.size, 4u);
    ASSERT_EQ(version.rows.size(), 3);
    EXPECT_TRUE(hasRow(version, 0, "id", 5, 2, "EBMLVersion"));
    EXPECT_TRUE(hasRow(version, 1, "size", 7, 1, "1"));
    EXPECT_TRUE(hasRow(version, 2, "value", 8, 1, "1"));
    EXPECT_TRUE(version.rows[2].meaning.isEmpty());
    EXPECT_EQ(version.annotations, 0);
    EXPECT_TRUE(version.children.empty());

    EXPECT_EQ(p.tree.openNodes(), 0);
    EXPECT_EQ(p.tree.strayCalls, 0);
}

TEST(Walker, EmptyMaster)
{
    Probe p;
    p.load(bytes({0x1A, 0x45, 0xDF, 0xA3, 0x80}) + uel(EBMLVersion, 1));
    quint64 length = 0;
    EXPECT_EQ(p.walkAt(0, &length), 0);
    EXPECT_EQ(length, 5u);
    ASSERT_EQ(p.tree.roots.size(), 1u);
    EXPECT_TRUE(p.root().children.empty()) << "the next element is not a child";
    EXPECT_TRUE(hasRow(p.root(), 1, "size", 4, 1, "0"));
}

TEST(Walker, ChildrenFollowEachOtherInOrder)
{
    Probe p;
    const QByteArray a = uel(EBMLVersion, 1);
    const QByteArray b = el(DocType, "webm");
    const QByteArray c = el(Void, QByteArray(3, '\0'));
    p.load(el(EBML, a + b + c));
    p.walkAt(0);
    const auto &kids = p.root().children;
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(kids[0].name, "EBMLVersion");
    EXPECT_EQ(kids[0].offset, 5u);
    EXPECT_EQ(kids[1].name, "DocType");
    EXPECT_EQ(kids[1].offset, 5u + a.size());
    EXPECT_EQ(kids[2].name, "Void");
    EXPECT_EQ(kids[2].offset, 5u + a.size() + b.size());
    EXPECT_EQ(kids[2].size, quint64(c.size()));
}

TEST(Walker, SizeRowFollowsNumberBaseButValuesStayDecimal)
{
    Probe p;
    p.numberBase = 16;
    const QByteArray bytes255 = el(Void, QByteArray(255, '\0'));
    p.load(bytes255 + uel(EBMLVersion, 255));
    p.walkAt(0);
    EXPECT_TRUE(hasRow(p.root(0), 1, "size", 1, 2, "ff"));
    p.walkAt(quint64(bytes255.size()));
    EXPECT_TRUE(hasRow(p.root(1), 1, "size", quint64(bytes255.size()) + 2, 1, "1"));
    EXPECT_TRUE(hasRow(p.root(1), 2, "value", quint64(bytes255.size()) + 3, 1, "255"));

    // A base no number can be written in falls back to decimal.
    for (int base : {0, 1, 37}) {
        Probe q;
        q.numberBase = base;
        q.load(bytes255);
        q.walkAt(0);
        EXPECT_TRUE(hasRow(q.root(), 1, "size", 1, 2, "255")) << base;
    }
}

TEST(Walker, UnknownElementShowsItsBytesAsText)
{
    Probe p;
    p.load(bytes({
        0x43, 0x21,             // an ID not in the catalogue
        0x84,                   // size 4
        0x41, 0x00, 0x7F, 0x80, // 'A', NUL, DEL, a byte over 0x7F
    }));
    quint64 length = 0;
    EXPECT_EQ(p.walkAt(0, &length), 0);
    EXPECT_EQ(length, 7u);
    const ElementNode &n = p.root();
    EXPECT_EQ(n.name, "Unknown");
    ASSERT_EQ(n.rows.size(), 3);
    EXPECT_TRUE(hasRow(n, 0, "id", 0, 2, "Unknown"));
    EXPECT_TRUE(hasRow(n, 1, "size", 2, 1, "4"));
    EXPECT_TRUE(hasRow(n, 2, "value", 3, 4, QString::fromLatin1("A.\x7F.")));
    EXPECT_EQ(n.annotation, "Unknown element!");
    EXPECT_EQ(n.annotations, 1);
}

TEST(Walker, UnknownElementDisplaySettings)
{
    Probe p;
    p.binaryLimit = 5;
    p.load(el(0x4321, "abcdefghijklmnopqrst") + el(0x4321, QByteArray()));
    p.walkAt(0);
    EXPECT_TRUE(hasRow(p.root(), 2, "value", 3, 5, "abcde"));
    p.walkAt(23);
    EXPECT_EQ(p.root(1).rows.size(), 2) << "an empty payload has no value row";

    // Hidden payloads keep the annotation.
    p.showUnknown = false;
    EXPECT_EQ(p.walkAt(0), 0);
    EXPECT_EQ(p.root(2).rows.size(), 2);
    EXPECT_EQ(p.root(2).row("value"), nullptr);
    EXPECT_EQ(p.root(2).annotation, "Unknown element!");
}

TEST(Walker, DescriptionsAreAttachedOnce)
{
    Probe p;
    p.load(el(Info, uel(TimecodeScale, 1000000) + el(Title, "x") + uel(EBMLVersion, 1)));
    p.walkAt(0);
    const auto &kids = p.root().children;
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(kids[0].annotation, "To scale of other time values (in nanoseconds).");
    EXPECT_EQ(kids[0].annotations, 1);
    EXPECT_EQ(kids[1].annotation, "Title of segment");
    EXPECT_EQ(kids[1].annotations, 1);
    EXPECT_EQ(kids[2].annotations, 0);
    EXPECT_EQ(p.root().annotations, 0);
}

TEST(Walker, DeviceAndCurrentPositionReturnToTheElementStart)
{
    const QByteArray prefix = el(Void, "zz");
    const QByteArray samples[] = {
        uel(EBMLVersion, 3),                                      // handled by a reporter
        el(EBML, uel(EBMLVersion, 1) + el(DocType, "matroska")), // master
        el(0x4321, "abc"),                                        // unknown
        el(SimpleBlock, bytes({0x81, 0x00, 0x00, 0x80, 0x11})),   // handler
        el(SimpleBlock, bytes({0x81})),                           // refused block
        el(Duration, bytes({0x00, 0x00})),                        // refused float
    };
    for (const QByteArray &sample : samples) {
        Probe p;
        p.load(prefix + sample + prefix);
        quint64 length = 0;
        p.walkAt(quint64(prefix.size()), &length);
        EXPECT_EQ(length, quint64(sample.size()));
        EXPECT_EQ(p.currentPosition, quint64(prefix.size())) << sample.toHex().constData();
        EXPECT_EQ(p.device.pos(), prefix.size()) << sample.toHex().constData();
        EXPECT_EQ(p.tree.openNodes(), 0);
        EXPECT_EQ(p.tree.strayCalls, 0);
    }
}

TEST(Walker, ChildRunningPastItsParentIsReportedWholeAndEndsTheParent)
{
    Probe p;
    // Info holds TimecodeScale and a Title whose size field reaches far past
    // Info's end; a Void follows Info.
    const QByteArray scale = uel(TimecodeScale, 1000000);
    const QByteArray titleHead = header(Title, 1000);
    const QByteArray info = header(Info, quint64(scale.size() + titleHead.size() + 2)) + scale +
                            titleHead + "ab";
    const QByteArray tail = el(Void, QByteArray(4, '\0'));
    p.load(info + tail);
    quint64 length = 0;
    p.walkAt(0, &length);
    EXPECT_EQ(length, quint64(info.size()));

    const auto &kids = p.root().children;
    ASSERT_EQ(kids.size(), 2u);
    EXPECT_EQ(kids[1].name, "Title");
    EXPECT_EQ(kids[1].size, quint64(titleHead.size()) + 1000);
    EXPECT_EQ(p.tree.openNodes(), 0);
}

QByteArray smallFile()
{
    const QByteArray ebmlHeader = el(EBML, uel(EBMLVersion, 1) + el(DocType, "matroska"));
    const QByteArray info = el(Info, uel(TimecodeScale, 1000000) + el(Title, "clip"));
    const QByteArray cluster =
        el(Cluster, uel(Timecode, 0) +
                        el(SimpleBlock, bytes({0x81, 0x00, 0x00, 0x80}) + QByteArray(10, 'v')) +
                        el(SimpleBlock, bytes({0x82, 0x00, 0x00, 0x80}) + QByteArray(5, 'a')) +
                        el(SimpleBlock, bytes({0x81, 0x00, 0x21, 0x00}) + QByteArray(7, 'v')));
    return ebmlHeader + el(Segment, info + tracks({{1, 1}, {2, 2}}) + cluster);
}

TEST(Walker, WholeFileThroughTheHostDriver)
{
    Probe p;
    const QByteArray file = smallFile() + el(0x4321, "zz") + uel(EBMLVersion, 1);
    EXPECT_EQ(p.walkFile(file), 0);
    ASSERT_EQ(p.tree.roots.size(), 4u);
    EXPECT_EQ(p.tree.roots[0].name, "EBML");
    EXPECT_EQ(p.tree.roots[1].name, "Segment");
    EXPECT_EQ(p.tree.roots[2].name, "Unknown");
    EXPECT_EQ(p.tree.roots[3].name, "EBMLVersion");
    for (const ElementNode &root : p.tree.roots)
        EXPECT_EQ(root.status, 0) << root.name.toStdString();
    EXPECT_EQ(p.tree.openNodes(), 0);
    EXPECT_EQ(p.tree.strayCalls, 0);

    // Every node lies inside the input, and the top level covers it all.
    quint64 covered = 0;
    for (const ElementNode &root : p.tree.roots)
        covered += root.size;
    EXPECT_EQ(covered, quint64(file.size()));
    forEachNode(p.tree.roots, [&](const ElementNode &n, int) {
        EXPECT_LE(n.offset + n.size, quint64(file.size())) << n.name.toStdString();
    });

    EXPECT_EQ(valueOf(p.tree.roots, "DocType"), "matroska");
    EXPECT_EQ(valueOf(p.tree.roots, "Title"), "clip");
    ASSERT_EQ(p.tree.frames.size(), 2);
    EXPECT_EQ(p.tree.frames[0].number, 0u);
    EXPECT_EQ(p.tree.frames[1].number, 1u);
    EXPECT_EQ(p.tree.frames[1].keyframe, 0);
}

TEST(Walker, TopLevelStatusesReachTheSink)
{
    Probe p;
    const QByteArray file = uel(EBMLVersion, 1)                      // fine
                            + el(EBMLVersion, QByteArray(9, '\1'))   // integer too long
                            + el(Duration, bytes({0x3F, 0x80}))      // float of 2 bytes
                            + el(SimpleBlock, bytes({0x81, 0x00}));  // block shorter than header
    p.walkFile(file);
    ASSERT_EQ(p.tree.roots.size(), 4u);
    EXPECT_EQ(p.tree.roots[0].status, 0);
    EXPECT_EQ(p.tree.roots[1].status, ContainerMKV::StatusLengthRefused);
    EXPECT_EQ(p.tree.roots[2].status, ContainerMKV::StatusLengthRefused);
    EXPECT_EQ(p.tree.roots[3].status, ContainerMKV::StatusLengthRefused);
}

TEST(Walker, MasterCutByEndOfInputReportsNothingPastTheInput)
{
    // A Segment of unknown size (all size bits set), as live recordings
    // write it, ends where the input ends.
    Probe p;
    const QByteArray file = header(Segment, (quint64(1) << 56) - 1, 8) +
                            el(Info, uel(TimecodeScale, 1000000)) + el(Void, "ab");
    p.walkFile(file);
    ASSERT_EQ(p.tree.roots.size(), 1u);
    EXPECT_EQ(p.root().children.size(), 2u);
    forEachNode(p.tree.roots, [&](const ElementNode &n, int) {
        EXPECT_LT(n.offset, quint64(file.size())) << n.name.toStdString();
    });
}

} // namespace
