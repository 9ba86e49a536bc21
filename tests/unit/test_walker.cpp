// The element walker: nodes with their id and size rows, children, unknown
// elements, descriptions, the host driver's walk, and the element catalogue.

#include "ebml.h"
#include "probe.h"

#include <QSet>

using namespace ebml;

namespace {

TEST(Walker, MasterWithOneChild)
{
    Probe p;
    p.load(bytes({
        0x1A, 0x45, 0xDF, 0xA3, // EBML
        0x84,                   // size 4
        0x42, 0x86,             // EBMLVersion
        0x81,                   // size 1
        0x01,                   // version 1
        0x42, 0x86, 0x80,       // a sibling of EBML, not a child
    }));
    quint64 length = 0;
    EXPECT_EQ(p.walkAt(0, &length), 0);
    EXPECT_EQ(length, 9u);

    ASSERT_EQ(p.tree.roots.size(), 1u);
    const ElementNode &master = p.root();
    EXPECT_EQ(master.name, "EBML");
    EXPECT_EQ(master.offset, 0u);
    EXPECT_EQ(master.size, 9u);
    EXPECT_EQ(master.rows.size(), 2);
    EXPECT_TRUE(hasRow(master, 0, "id", 0, 4, "EBML"));
    EXPECT_TRUE(hasRow(master, 1, "size", 4, 1, "4"));
    ASSERT_EQ(master.children.size(), 1u);
    const ElementNode &version = master.children[0];
    EXPECT_EQ(version.name, "EBMLVersion");
    EXPECT_EQ(version.offset, 5u);
    EXPECT_EQ(version.size, 4u);
    EXPECT_EQ(version.rows.size(), 3);
    EXPECT_TRUE(hasRow(version, 0, "id", 5, 2, "EBMLVersion"));
    EXPECT_TRUE(hasRow(version, 1, "size", 7, 1, "1"));
    EXPECT_TRUE(hasRow(version, 2, "value", 8, 1, "1"));
    EXPECT_EQ(p.tree.openNodes(), 0);
    EXPECT_EQ(p.tree.strayCalls, 0);

    // An empty master has no children: what follows it is its sibling.
    p.load(bytes({0x1A, 0x45, 0xDF, 0xA3, 0x80}) + uel(EBMLVersion, 1));
    EXPECT_EQ(p.walkAt(0, &length), 0);
    EXPECT_EQ(length, 5u);
    EXPECT_TRUE(p.root(1).children.empty());
}

TEST(Walker, SizeRowFollowsNumberBaseButValuesStayDecimal)
{
    const QByteArray padding = el(Void, QByteArray(255, '\0'));
    const QByteArray input = padding + uel(EBMLVersion, 255);
    for (const auto &c : {std::pair<int, const char *> {16, "ff"},
                          {2, "11111111"},
                          {36, "73"},
                          // bases no number can be written in fall back to decimal
                          {0, "255"},
                          {1, "255"},
                          {37, "255"}}) {
        SCOPED_TRACE(c.first);
        Probe p;
        p.numberBase = c.first;
        p.walkAll(input);
        EXPECT_TRUE(hasRow(p.root(0), 1, "size", 1, 2, c.second));
        EXPECT_TRUE(hasRow(p.root(1), 2, "value", quint64(padding.size()) + 3, 1, "255"));
    }
}

TEST(Walker, UnknownElementShowsItsBytesAsText)
{
    Probe p;
    p.load(bytes({
               0x43, 0x21,             // an ID not in the catalogue
               0x84,                   // size 4
               0x41, 0x00, 0x7F, 0x80, // 'A', NUL, DEL, a byte over 0x7F
           })
           + el(Unknown, "abcdefghijklmnopqrst") + el(Unknown, QByteArray()));
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

    // binaryLimit bytes are shown, and the row spans only those.
    p.binaryLimit = 5;
    p.walkAt(7);
    EXPECT_TRUE(hasRow(p.root(1), 2, "value", 10, 5, "abcde"));
    p.walkAt(30);
    EXPECT_EQ(p.root(2).rows.size(), 2) << "an empty payload has no value row";

    // Hidden payloads keep the annotation.
    p.showUnknown = false;
    EXPECT_EQ(p.walkAt(0), 0);
    EXPECT_EQ(p.root(3).rows.size(), 2);
    EXPECT_EQ(p.root(3).annotation, "Unknown element!");
}

TEST(Walker, ChildrenEndWithTheirMasterAndWithTheInput)
{
    // Info holds TimecodeScale and a Title whose size field reaches far past
    // Info's end: the Title is reported whole and ends Info; the Void after
    // Info is Info's sibling.
    const QByteArray scale = uel(TimecodeScale, 1000000);
    const QByteArray titleHead = header(Title, 1000);
    const QByteArray info
        = header(Info, quint64(scale.size() + titleHead.size() + 2)) + scale + titleHead + "ab";
    Probe p;
    EXPECT_EQ(p.walkFile(info + el(Void, QByteArray(4, '\0'))), 0);
    ASSERT_EQ(p.tree.roots.size(), 2u);
    ASSERT_EQ(p.root().children.size(), 2u);
    EXPECT_EQ(p.root().children[1].size, quint64(titleHead.size()) + 1000);

    // A Segment of unknown size (all size bits set), as live recordings
    // write it, ends where the input ends: nothing is read past it.
    Probe q;
    const QByteArray file = header(Segment, (quint64(1) << 56) - 1, 8)
        + el(Info, uel(TimecodeScale, 1000000)) + el(Void, "ab");
    q.walkFile(file);
    ASSERT_EQ(q.tree.roots.size(), 1u);
    EXPECT_EQ(q.root().children.size(), 2u);
    forEachNode(q.tree.roots,
                [&](const ElementNode &n) { EXPECT_LT(n.offset, quint64(file.size())); });
}

TEST(Walker, WholeFileThroughTheHostDriver)
{
    const QByteArray cluster = el(Cluster,
                                  uel(Timecode, 0) + simpleBlock(1, 0x80, 10)
                                      + simpleBlock(2, 0x80, 5) + simpleBlock(1, 0x00, 7));
    const QByteArray file = el(EBML, uel(EBMLVersion, 1) + el(DocType, "matroska"))
        + el(Segment,
             el(Info, uel(TimecodeScale, 1000000) + el(Title, "clip") + uel(EBMLVersion, 1))
                 + tracks({{1, 1}, {2, 2}}) + cluster)
        + el(Unknown, "zz") + uel(EBMLVersion, 1) + el(EBMLVersion, QByteArray(9, '\1'))
        +                                     // an integer over 8 bytes
        el(Duration, bytes({0x3F, 0x80})) +   // a float of 2 bytes
        el(SimpleBlock, bytes({0x81, 0x00})); // a block shorter than its header
    Probe p;
    EXPECT_EQ(p.walkFile(file), 0);
    EXPECT_EQ(p.tree.openNodes(), 0);
    EXPECT_EQ(p.tree.strayCalls, 0);

    const char *names[]
        = {"EBML", "Segment", "Unknown", "EBMLVersion", "EBMLVersion", "Duration", "SimpleBlock"};
    const int refused = ContainerMKV::StatusLengthRefused;
    const int statuses[] = {0, 0, 0, 0, refused, refused, refused};
    ASSERT_EQ(p.tree.roots.size(), 7u);
    quint64 covered = 0;
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(p.root(i).name, names[i]);
        EXPECT_EQ(p.root(i).status, statuses[i]) << names[i];
        EXPECT_EQ(p.root(i).offset, covered) << names[i];
        covered += p.root(i).size;
    }
    EXPECT_EQ(covered, quint64(file.size()));

    EXPECT_EQ(valueOf(p.tree.roots, "DocType"), "matroska");
    EXPECT_EQ(valueOf(p.tree.roots, "Title"), "clip");
    // Descriptions from the catalogue annotate their elements, once.
    const ElementNode &info = p.root(1).children.at(0);
    EXPECT_EQ(info.annotations, 0);
    const char *descriptions[]
        = {"To scale of other time values (in nanoseconds).", "Title of segment", ""};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(info.children.at(size_t(i)).annotation, descriptions[i]);
        EXPECT_EQ(info.children.at(size_t(i)).annotations, i < 2 ? 1 : 0);
    }
    EXPECT_EQ(p.tree.frames.size(), 2);
}

TEST(Catalogue, IdsCarryTheirLengthMarkerAndNamesAreUnique)
{
    Probe p;
    EXPECT_EQ(p.elements.size(), 220);
    QSet<QString> names;
    for (auto it = p.elements.cbegin(); it != p.elements.cend(); ++it) {
        // An ID is looked up as it is stored: its first byte's marker tells
        // its length, or the walker never finds it.
        const unsigned key = it.key();
        const int length = key > 0xFFFFFF ? 4 : key > 0xFFFF ? 3 : key > 0xFF ? 2 : 1;
        const quint8 first = quint8(key >> (8 * (length - 1)));
        EXPECT_TRUE(first & (0x80 >> (length - 1)) && first < (0x100 >> (length - 1)))
            << it.value()->name.toStdString();
        names.insert(it.value()->name);
    }
    EXPECT_EQ(names.size(), 220) << "two entries share a name";
}

} // namespace
