// Damaged and hostile inputs: overlong integers, sizes far beyond the input,
// cut elements and blocks, deep nesting, unknown sizes, overreaching masters,
// overlong IDs and random damage.

#include "ebml.h"
#include "probe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>

#include <random>

using namespace ebml;

namespace {

// Walks input through the host driver and checks what holds for any input:
// the walk ends soon and balanced, no node or row lies at or past the end or
// wraps past 2^64, and no read is much larger than the input.
void walkHostile(Probe &p, const QByteArray &input)
{
    QElapsedTimer timer;
    timer.start();
    p.walkFile(input);
    EXPECT_LT(timer.elapsed(), 2000);
    expectBalanced(p.tree, quint64(input.size()));
    forEachNode(p.tree.roots, [&](const ElementNode &n) {
        EXPECT_LE(n.size, ~quint64(0) - n.offset) << n.name.toStdString();
        for (const ElementRow &r : n.rows)
            EXPECT_LE(r.length, ~quint64(0) - r.offset) << r.name.toStdString();
    });
    EXPECT_LE(p.device.largestRequest, qint64(input.size()) + 8);
}

// Damaged elements after a Tracks master that makes track 1 video (13 bytes,
// so that nothing lies at 0), and what the walk shows of them.
TEST(Damaged, ElementsShowOnlyWhatIsThere)
{
    struct Case
    {
        QByteArray input;
        quint64 binaryLimit;
        QString outline; // of the nodes after the Tracks master
    };
    std::vector<Case> cases;
    const auto n = [](quint64 v) { return QString::number(v); };
    // Claims far beyond the input, one per kind of reporter, show the bytes
    // that are there, and the row spans the claim; none of it is allocated.
    const quint64 huge = (quint64(1) << 56) - 2;
    const struct
    {
        quint32 elementId;
        QByteArray payload;
        const char *name, *shown, *annotation;
    } claims[] = {
        {DocType, QByteArray("matroska\0junk", 13), "DocType", "matroska", ""},
        {Title, "caf\xC3\xA9", "Title", "caf\xC3\xA9", "<Title of segment>"},
        {SegmentUID, bytes({0xDE, 0xAD, 0xBE, 0xEF}), "SegmentUID", "deadbeef", ""},
        {Void, "pad", "Void", "pad", ""},
        {Unknown, "xyz\x01", "Unknown", "xyz.", "<Unknown element!>"},
    };
    for (const auto &c : claims) {
        const int l = int(id(c.elementId).size());
        cases.push_back({header(c.elementId, huge) + c.payload, ~quint64(0),
                         QString("%1@13+%2[id@13+%3=%1 size@%4+8=%5 value@%6+%5=%7]%8")
                             .arg(c.name, n(huge + 8 + l), n(l), n(13 + l), n(huge), n(21 + l),
                                  QString::fromUtf8(c.shown), c.annotation)});
    }
    // With binaryLimit 16 the row spans 16 bytes, of which 6 are there.
    cases.push_back({header(Unknown, 50) + "abcdef", 16,
                     "Unknown@13+53[id@13+2=Unknown size@15+1=50 "
                     "value@16+16=abcdef]<Unknown element!>"});
    // Blocks shorter than their header show only the fields inside them, are
    // no frame, and the walk goes on.
    for (const auto &[payload, fields] :
         {std::pair<QByteArray, const char *> {QByteArray(), ""},
          {bytes({0x81, 0x00}), " TrackNumber@15+1=1"},
          {bytes({0x81, 0x00, 0x00}), " TrackNumber@15+1=1 Timecode@16+2=0"},
          {bytes({0x40}), ""}}) {
        const int next = 15 + int(payload.size());
        cases.push_back(
            {el(SimpleBlock, payload) + uel(Timecode, 5), 16,
             QString("SimpleBlock@13+%1:6[id@13+1=SimpleBlock size@14+1=%2%3]"
                     "<Block is shorter than its header!> Timecode@%4+3"
                     "[id@%4+1=Timecode size@%5+1=1 value@%6+1=5]")
                 .arg(n(next - 13), n(payload.size()), fields, n(next), n(next + 1), n(next + 2))});
    }
    // An ID over 4 bytes is an unknown element whose size field is read in
    // the ID's place. A run of zero bytes is one such element, claiming 2^56,
    // that ends the walk of its level.
    const QByteArray zeros(64 * 1024, '\0');
    const QString zeroRun = "+72057594037927944[id@%1+0=Unknown size@%1+8=72057594037927936 "
                            "value@%2+16=................]<Unknown element!>";
    cases.push_back({zeros, 16, "Unknown@13" + zeroRun.arg(n(13), n(21))});
    cases.push_back({el(Segment, zeros), 16,
                     "Segment@13+65543[id@13+4=Segment size@17+3=65536]{Unknown@20"
                         + zeroRun.arg(n(20), n(28)) + '}'});
    cases.push_back({el(EBML, uel(EBMLVersion, 1) + bytes({0x08, 0, 0, 0, 0x02, 'A', 'B'})), 16,
                     "EBML@13+16[id@13+4=EBML size@17+1=11]{EBMLVersion@18+4"
                     "[id@18+2=EBMLVersion size@20+1=1 value@21+1=1] Unknown@22+7"
                     "[id@22+0=Unknown size@22+5=2 value@27+2=AB]<Unknown element!>}"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input.left(16).toHex().toStdString());
        Probe p;
        p.binaryLimit = c.binaryLimit;
        p.showJunk = true;
        walkHostile(p, tracks({{1, 1}}) + c.input);
        p.tree.roots.erase(p.tree.roots.begin());
        EXPECT_EQ(outline(p.tree.roots), c.outline);
        EXPECT_TRUE(p.tree.frames.isEmpty());
    }
}

// Integers hold at most 8 bytes and floats 4 or 8: longer payloads are
// refused, with no value row, by every integer reporter and handler. 256 and
// 264 hold 0 and 8 in their low byte, 260 holds 4.
TEST(Damaged, OverlongNumbersAreRefused)
{
    std::vector<std::pair<quint32, int>> cases;
    for (quint32 elementId : {EBMLVersion, ReferenceBlock, DateUTC, TrackNumber, TrackType,
                              DisplayUnit, PixelWidth, PixelHeight, DefaultDuration})
        for (int n : {9, 256, 264})
            cases.push_back({elementId, n});
    for (quint32 elementId : {Duration, TrackTimecodeScale})
        for (int n : {0, 2, 3, 5, 9, 260, 264})
            cases.push_back({elementId, n});
    for (const auto &[elementId, n] : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << elementId << " of " << std::dec << n);
        const QByteArray element = el(elementId, QByteArray(n, '\x01'));
        Probe p;
        walkHostile(p, element + uel(EBMLVersion, 2));
        ASSERT_EQ(p.tree.roots.size(), 2u);
        EXPECT_EQ(p.root().status, Probe::StatusLengthRefused);
        EXPECT_EQ(p.root().rows.size(), 2);
        EXPECT_EQ(p.root(1).offset, quint64(element.size()));
        EXPECT_TRUE(p.trackTypes.isEmpty());
    }
}

// Eight-byte size fields at their largest (a first byte of 0 reads as 2^56 or
// more): a block's frame is the claim less the block header, and the walk
// ends.
TEST(Damaged, EightByteSizesOnMastersAndBlocksDoNotWrap)
{
    const std::pair<QByteArray, quint64> sizes[] = {
        {bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), (quint64(1) << 56) - 1},
        {QByteArray(8, '\0'), quint64(1) << 56},
        {bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), (quint64(1) << 57) - 1},
    };
    for (const auto &[field, value] : sizes) {
        SCOPED_TRACE(field.toHex().toStdString());
        const QByteArray file = el(EBML, uel(EBMLVersion, 1)) + id(Segment) + field
            + tracks({{1, 1}}) + id(Cluster) + field + uel(Timecode, 0) + id(SimpleBlock) + field
            + bytes({0x81, 0, 0, 0x80}) + "frame";
        Probe p;
        walkHostile(p, file);
        ASSERT_EQ(p.tree.roots.size(), 2u);
        EXPECT_EQ(p.root(1).size, 12 + value);
        ASSERT_NE(findNode(p.tree.roots, "SimpleBlock"), nullptr); // so inside a Cluster
        EXPECT_EQ(findNode(p.tree.roots, "Cluster")->size, 12 + value);
        EXPECT_EQ(findNode(p.tree.roots, "SimpleBlock")->size, 9 + value);
        ASSERT_EQ(p.tree.frames.size(), 1);
        EXPECT_EQ(p.tree.frames[0].offset, quint64(file.size()) - 5);
        EXPECT_EQ(p.tree.frames[0].size, value - 4);
    }
}

// The load of an ASCII string stops at StringLoadLimit, or at binaryLimit
// when that is larger; the row still spans the whole payload.
TEST(Damaged, AsciiStringLoadIsCapped)
{
    const QByteArray big(3 << 20, 'a');
    const quint64 cap = ContainerMKV::StringLoadLimit;
    const struct
    {
        quint32 elementId;
        QByteArray payload;
        quint64 binaryLimit, shown;
    } cases[] = {
        {DocType, big, 16, cap},          {CodecID, big, 16, cap},
        {DocType, big, 2 << 20, 2 << 20}, {CodecID, big, ~quint64(0), 3 << 20},
        {CodecID, "V_VP9", 16, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.elementId << " " << c.binaryLimit);
        const QByteArray element = el(c.elementId, c.payload);
        Probe p;
        p.binaryLimit = c.binaryLimit;
        p.load(element);
        EXPECT_EQ(p.walkAt(0), 0);
        const ElementRow *row = p.root().row("value");
        ASSERT_NE(row, nullptr);
        EXPECT_TRUE(row->value == QString::fromLatin1(c.payload.left(qsizetype(c.shown))));
        EXPECT_EQ(row->offset, quint64(element.size() - c.payload.size()));
        EXPECT_EQ(row->length, quint64(c.payload.size()));
        EXPECT_LE(quint64(p.device.largestRequest), c.shown);
    }
}

// Unknown-size clusters of a live recording nest one in another; only those
// within MaxNesting are entered, and the deepest walk fits a 1 MiB stack.
TEST(UnknownSize, ClustersNestUpToTheBoundAndTheWalkEnds)
{
    const quint64 unknown = (quint64(1) << 56) - 1;
    QByteArray body = tracks({{1, 1}});
    for (int i = 0; i < 1200; ++i)
        body += header(Cluster, unknown, 8) + simpleBlock(1, 0x80);
    Probe p;
    int status = -1;
    body.prepend(header(Segment, unknown, 8));
    QThread *thread = QThread::create([&] { status = p.walkFile(body); });
    thread->setStackSize(1 << 20);
    thread->start();
    ASSERT_TRUE(thread->wait(60000));
    delete thread;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(p.tree.openNodes(), 0);
    ASSERT_EQ(p.tree.roots.size(), 1u);

    // The Segment takes one level: clusters 1 to MaxNesting - 1 are entered.
    const int entered = ContainerMKV::MaxNesting - 1;
    ASSERT_EQ(p.tree.frames.size(), entered);
    EXPECT_EQ(p.tree.frames.last().number, quint64(entered - 1));
    const ElementNode *cluster = p.root().child("Cluster");
    for (int i = 0; cluster && i < entered; ++i)
        cluster = cluster->child("Cluster");
    ASSERT_NE(cluster, nullptr);
    const QString at = QString::number(cluster->offset), u = QString::number(unknown);
    EXPECT_EQ(outline(*cluster),
              "Cluster@" + at + "+" + QString::number(12 + unknown) + "[id@" + at
                  + "+4=Cluster size@" + QString::number(cluster->offset + 4) + "+8=" + u
                  + "]<Nesting too deep!>");
}

TEST(OverreachingMasters, EveryElementIsWalkedOnce)
{
    // Inside a Segment: 40 masters, each claiming further than the one that
    // holds it, then 2000 small elements. The first master's claim ends in
    // the middle of them.
    const int levels = 40;
    const int leaves = 2000;
    const QByteArray leaf = uel(Timecode, 1); // 3 bytes
    const int headerSize = 4 + 8;
    const quint64 firstEnd = quint64(levels * headerSize + leaves / 2 * leaf.size());
    QByteArray body;
    for (int k = 0; k < levels; ++k)
        body += header(Cluster, firstEnd + quint64(k) * 30 - quint64((k + 1) * headerSize), 8);
    for (int i = 0; i < leaves; ++i)
        body += leaf;

    Probe p;
    walkHostile(p, el(Segment, body));
    QSet<quint64> offsets;
    forEachNode(p.tree.roots, [&](const ElementNode &n) { offsets.insert(n.offset); });
    EXPECT_EQ(countNodes(p.tree.roots), 1 + levels + leaves);
    EXPECT_EQ(offsets.size(), 1 + levels + leaves) << "an element was walked twice";
}

// A sound file cut at every length: the walk ends balanced, reports and loads
// nothing beyond the cut, reads about as much as there is, and only blocks
// with a whole header are frames.
TEST(CutFile, EveryLengthWalksOnlyWhatIsThere)
{
    const QByteArray blocks[]
        = {simpleBlock(1, 0x80, 3), simpleBlock(1, 0, 4), simpleBlock(1, 0, 5)};
    const QByteArray file = el(EBML, uel(EBMLVersion, 1) + el(DocType, "webm"))
        + el(Segment,
             el(Tracks,
                el(TrackEntry,
                   uel(TrackNumber, 1) + uel(TrackType, 1) + el(CodecID, "V_MPEG4/ISO/AVC")))
                 + el(Cluster, uel(Timecode, 0) + blocks[0] + blocks[1] + blocks[2]));
    const int codecAt = file.indexOf("V_MPEG4");
    for (int cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE(cut);
        Probe p;
        p.walkFile(file.left(cut));
        expectBalanced(p.tree, quint64(cut));
        EXPECT_LE(p.device.requested, quint64(2 * cut + 16));
        EXPECT_LE(p.device.largestRequest, qMax(8, cut - codecAt));
        int whole = 0;
        for (const QByteArray &b : blocks)
            whole += file.indexOf(b) + 6 <= cut;
        EXPECT_EQ(p.tree.frames.size(), whole);
    }
}

// A million siblings are walked one after the other, each read once.
TEST(ManyElements, AMillionVoidsAreReadOnce)
{
    const QByteArray voids = QByteArray("\xEC\x80", 2).repeated(1000000);
    for (const QByteArray &input : {voids, el(Segment, voids)}) {
        Probe p;
        p.device.openBuffer(input);
        EXPECT_EQ(p.parseFile(QStringLiteral("x.mkv"), &p.device, nullptr), 0);
        EXPECT_LE(p.device.requested, 2 * quint64(input.size()));
    }
}

// Random damage to a sound file never breaks the walk's structure.
TEST(RandomDamage, WalkStaysBalanced)
{
    const QByteArray sound = el(EBML, uel(EBMLVersion, 1) + el(DocType, "webm"))
        + el(Segment,
             el(Info, uel(TimecodeScale, 1000000) + el(Title, "t") + el(Duration, f64(40.0)))
                 + tracks({{1, 1}, {2, 2}})
                 + el(Cluster,
                      uel(Timecode, 0) + el(SimpleBlock, bytes({0x81, 0, 0, 0x80, 1, 2, 3}))
                          + el(BlockGroup, el(Block, bytes({0x82, 0, 1, 0, 9})))));
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE(round);
        QByteArray input = sound;
        const int changes = 1 + int(random() % 4);
        for (int i = 0; i < changes; ++i)
            input[int(random() % quint32(input.size()))] = char(random());
        if (round % 5 == 0)
            input.truncate(int(random() % quint32(input.size())));
        Probe p;
        p.binaryLimit = round % 2 ? ~quint64(0) : 16;
        p.showJunk = true;
        walkHostile(p, input);
    }
}

// Inputs kept from fuzzing: a settings byte, read as fuzz_walk.cpp reads it,
// then the file.
TEST(FuzzRegressions, EveryKeptInputWalksBalanced)
{
    const quint64 limits[] = {0, 1, 16, 4096, ~quint64(0)};
    const QDir dir(QStringLiteral(FUZZ_REGRESSIONS_DIR));
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files)) {
        if (info.fileName() == QLatin1String("README"))
            continue;
        SCOPED_TRACE(info.fileName().toStdString());
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray input = file.readAll();
        if (input.isEmpty())
            continue;
        const auto settings = quint8(input[0]);
        Probe p;
        p.numberBase = 2 + settings % 35;
        p.binaryLimit = limits[(settings >> 1) % 5];
        p.showJunk = settings & 0x40;
        p.showUnknown = !(settings & 0x80);
        p.walkFile(input.mid(1));
        expectBalanced(p.tree, quint64(input.size() - 1));
    }
}

} // namespace
