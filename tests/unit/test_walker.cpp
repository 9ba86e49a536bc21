// The element walker: nodes with their id and size rows, children, unknown
// elements, descriptions, the host driver's walk, and the element catalogue.

#include "ebml.h"
#include "probe.h"

#include <QSet>

using namespace ebml;

namespace {

// One parseElement call per case, at the start of the input; what follows the
// first element must not become its child.
TEST(Walker, OneElementAndItsChildren)
{
    const struct
    {
        QByteArray input;
        quint64 length;
        const char *outline;
    } cases[] = {
        {bytes({0x1A, 0x45, 0xDF, 0xA3, 0x84, 0x42, 0x86, 0x81, 0x01}) + uel(EBMLVersion, 2), 9,
         "EBML@0+9[id@0+4=EBML size@4+1=4]"
         "{EBMLVersion@5+4[id@5+2=EBMLVersion size@7+1=1 value@8+1=1]}"},
        {el(EBML, QByteArray()) + uel(EBMLVersion, 1), 5, "EBML@0+5[id@0+4=EBML size@4+1=0]"},
        // Unknown IDs show their bytes as text: printable ASCII and DEL stay.
        {el(Unknown, bytes({0x41, 0x00, 0x7F, 0x80})) + uel(EBMLVersion, 1), 7,
         "Unknown@0+7[id@0+2=Unknown size@2+1=4 value@3+4=A.\x7F.]<Unknown element!>"},
        {el(Unknown, QByteArray()), 3, "Unknown@0+3[id@0+2=Unknown size@2+1=0]<Unknown element!>"},
    };
    for (const auto &c : cases) {
        Probe p;
        p.load(c.input);
        quint64 length = 0;
        EXPECT_EQ(p.walkAt(0, &length), 0);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(outline(p.tree.roots), c.outline);
        expectBalanced(p.tree, c.length);
    }

    // binaryLimit bytes of an unknown payload are shown, and the row spans
    // only those; hidden payloads keep the annotation.
    Probe p;
    p.binaryLimit = 5;
    p.load(el(Unknown, "abcdefghijklmnopqrst"));
    p.walkAt(0);
    p.showUnknown = false;
    p.walkAt(0);
    EXPECT_EQ(outline(p.tree.roots),
              "Unknown@0+23[id@0+2=Unknown size@2+1=20 value@3+5=abcde]"
              "<Unknown element!> "
              "Unknown@0+23[id@0+2=Unknown size@2+1=20]<Unknown element!>");
}

TEST(Walker, SizeRowFollowsNumberBaseButValuesStayDecimal)
{
    const QByteArray padding = el(Void, QByteArray(255, '\0'));
    // Bases no number can be written in fall back to decimal.
    for (const auto &c : {std::pair<int, const char *> {16, "ff"},
                          {2, "11111111"},
                          {36, "73"},
                          {0, "255"},
                          {1, "255"},
                          {37, "255"}}) {
        SCOPED_TRACE(c.first);
        Probe p;
        p.numberBase = c.first;
        p.walkAll(padding + uel(EBMLVersion, 255));
        EXPECT_EQ(p.root(0).rows.at(1).value, c.second);
        EXPECT_EQ(p.root(1).rows.at(2).value, "255");
    }
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
    expectBalanced(q.tree, quint64(file.size()));
}

TEST(Walker, WholeFileThroughTheHostDriver)
{
    const QByteArray file = el(EBML, uel(EBMLVersion, 1) + el(DocType, "matroska"))
        + el(Segment,
             el(Info, uel(TimecodeScale, 1000000) + el(Title, "clip") + uel(EBMLVersion, 1))
                 + tracks({{1, 1}, {2, 2}})
                 + el(Cluster,
                      uel(Timecode, 0) + simpleBlock(1, 0x80, 10) + simpleBlock(2, 0x80, 5)
                          + simpleBlock(1, 0x00, 7)))
        + el(Unknown, "zz") + uel(EBMLVersion, 1);
    Probe p;
    EXPECT_EQ(p.walkFile(file), 0);
    expectBalanced(p.tree, quint64(file.size()));
    // Top-level nodes follow each other; descriptions from the catalogue
    // annotate their elements once.
    QString spans;
    for (const ElementNode &n : p.tree.roots)
        spans += QStringLiteral("%1@%2+%3 ").arg(n.name).arg(n.offset).arg(n.size);
    EXPECT_EQ(spans, "EBML@0+20 Segment@20+97 Unknown@117+5 EBMLVersion@122+4 ");
    EXPECT_EQ(outline(p.root(1).children.at(0).children),
              "TimecodeScale@30+7[id@30+3=TimecodeScale size@33+1=3 value@34+3=1000000]"
              "<To scale of other time values (in nanoseconds).> "
              "Title@37+7[id@37+2=Title size@39+1=4 value@40+4=clip]<Title of segment> "
              "EBMLVersion@44+4[id@44+2=EBMLVersion size@46+1=1 value@47+1=1]");
    EXPECT_EQ(values(p.tree.roots),
              "EBMLVersion=1 DocType=matroska TimecodeScale=1000000 Title=clip EBMLVersion=1 "
              "TrackNumber=1 TrackType=1(video) TrackNumber=2 TrackType=2(audio) Timecode=0 "
              "Unknown=zz EBMLVersion=1");
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
