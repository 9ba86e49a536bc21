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

TEST(OverlongIntegers, AreRefusedWithoutAValueRow)
{
    // Every integer reporter and handler; integers hold at most 8 bytes.
    for (quint32 elementId : {EBMLVersion, ReferenceBlock, DateUTC, TrackNumber, TrackType,
                              DisplayUnit, PixelWidth, PixelHeight, DefaultDuration}) {
        // 256 and 264 hold 0 and 8 in their low byte.
        for (int n : {9, 255, 256, 264, 300}) {
            SCOPED_TRACE(testing::Message() << std::hex << elementId << " of " << std::dec << n);
            const QByteArray element = el(elementId, QByteArray(n, '\x01'));
            Probe p;
            p.load(element + uel(EBMLVersion, 2));
            quint64 length = 0;
            EXPECT_EQ(p.walkAt(0, &length), Probe::StatusLengthRefused);
            EXPECT_EQ(length, quint64(element.size()));
            EXPECT_EQ(p.root().rows.size(), 2);
        }
    }
}

TEST(HugeClaim, ShowsTheBytesThatAreThereWithoutAllocatingTheClaim)
{
    // The bytes that are there after the size field, and the value shown.
    const struct
    {
        quint32 elementId;
        QByteArray tail;
        const char *value;
    } cases[] = {
        {DocType, QByteArray("matroska\0junk", 13), "matroska"},
        {Title, QByteArray("caf\xC3\xA9"), "caf\xC3\xA9"},
        {SegmentUID, bytes({0xDE, 0xAD, 0xBE, 0xEF}), "deadbeef"},
        {Void, QByteArray("pad"), "pad"},
        {Unknown, QByteArray("xyz\x01"), "xyz."},
    };
    for (const quint64 claim : {quint64(1) << 40, (quint64(1) << 56) - 2}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << std::hex << c.elementId << " claiming " << claim);
            Probe p;
            p.binaryLimit = ~quint64(0);
            p.showJunk = true;
            const QByteArray input = uel(EBMLVersion, 1) + header(c.elementId, claim) + c.tail;
            QElapsedTimer timer;
            timer.start();
            const std::vector<int> statuses = p.walkAll(input);
            EXPECT_LT(timer.elapsed(), 2000);
            ASSERT_EQ(statuses.size(), 2u);
            EXPECT_EQ(statuses[1], 0);
            const ElementRow *row = p.root(1).row("value");
            ASSERT_NE(row, nullptr);
            EXPECT_EQ(row->value, QString::fromUtf8(c.value));
            EXPECT_EQ(row->offset, quint64(input.size() - c.tail.size()));
            EXPECT_EQ(row->length, claim);
            EXPECT_LE(p.device.largestRequest, qint64(input.size()));
        }
    }

    // With the default binaryLimit, an unknown element's row spans the
    // 16 bytes shown of the claim; only those the input holds are shown.
    Probe p;
    p.load(header(Unknown, 50) + "abcdef");
    EXPECT_EQ(p.walkAt(0), 0);
    EXPECT_TRUE(hasRow(p.root(), 2, "value", 3, 16, "abcdef"));
}

TEST(ShortBlock, ShowsOnlyTheFieldsInsideItAndIsNoFrame)
{
    const std::pair<QByteArray, int> cases[] = {
        // payload, rows after id and size
        {QByteArray(), 0},              // nothing at all
        {bytes({0x81}), 1},             // track number only
        {bytes({0x81, 0x00}), 1},       // half a timecode
        {bytes({0x81, 0x00, 0x00}), 2}, // no flags
        {bytes({0x40}), 0},             // half a two-byte track number
        {bytes({0x40, 0x01, 0x00, 0x00}), 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first.toHex().toStdString());
        const QByteArray trackTable = tracks({{1, 1}});
        const QByteArray block = el(SimpleBlock, c.first);
        Probe p;
        const std::vector<int> statuses = p.walkAll(trackTable + block + uel(Timecode, 5));
        ASSERT_EQ(statuses.size(), 3u);
        EXPECT_EQ(statuses[1], Probe::StatusLengthRefused);
        EXPECT_TRUE(p.tree.frames.isEmpty());
        const ElementNode &node = p.root(1);
        EXPECT_EQ(node.annotation, "Block is shorter than its header!");
        ASSERT_EQ(node.rows.size(), 2 + c.second);
        const quint64 payloadAt = quint64(trackTable.size() + block.size() - c.first.size());
        for (int i = 2; i < node.rows.size(); ++i)
            EXPECT_LE(node.rows[i].offset + node.rows[i].length,
                      payloadAt + quint64(c.first.size()))
                << node.rows[i].name.toStdString();
        EXPECT_EQ(p.root(2).name, "Timecode") << "the walk goes on";
    }
}

// Eight-byte size fields at their largest (a first byte of 0 reads as 2^56 or
// more): nodes and rows do not wrap past 2^64, a block's frame is the claim
// less the block header, and the walk ends.
TEST(HugeClaim, EightByteSizesOnMastersAndBlocksDoNotWrap)
{
    const struct
    {
        QByteArray field;
        quint64 value;
    } sizes[] = {
        {bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), (quint64(1) << 56) - 1},
        {bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}), (quint64(1) << 56) - 2},
        {QByteArray(8, '\0'), quint64(1) << 56},
        {bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), (quint64(1) << 57) - 1},
    };
    for (const auto &s : sizes) {
        SCOPED_TRACE(s.field.toHex().toStdString());
        const QByteArray file = el(EBML, uel(EBMLVersion, 1)) + id(Segment) + s.field
            + tracks({{1, 1}}) + id(Cluster) + s.field + uel(Timecode, 0) + id(SimpleBlock)
            + s.field + bytes({0x81, 0, 0, 0x80}) + "frame";
        Probe p;
        p.walkFile(file);
        expectBalanced(p.tree, quint64(file.size()));
        forEachNode(p.tree.roots, [&](const ElementNode &n) {
            EXPECT_LE(n.size, ~quint64(0) - n.offset) << n.name.toStdString();
            for (const ElementRow &r : n.rows)
                EXPECT_LE(r.length, ~quint64(0) - r.offset) << r.name.toStdString();
        });
        ASSERT_EQ(p.tree.roots.size(), 2u);
        EXPECT_EQ(p.root(1).status, 0);
        EXPECT_EQ(p.root(1).size, 12 + s.value);
        ASSERT_NE(findNode(p.tree.roots, "SimpleBlock"), nullptr); // so inside a Cluster
        EXPECT_EQ(findNode(p.tree.roots, "Cluster")->size, 12 + s.value);
        EXPECT_EQ(findNode(p.tree.roots, "SimpleBlock")->size, 9 + s.value);
        ASSERT_EQ(p.tree.frames.size(), 1);
        EXPECT_EQ(p.tree.frames[0].offset, quint64(file.size()) - 5);
        EXPECT_EQ(p.tree.frames[0].size, s.value - 4);
    }
}

// The load of an ASCII string stops at StringLoadLimit, or at binaryLimit
// when that is larger; the row still spans the whole payload.
TEST(HugeClaim, AsciiStringLoadIsCapped)
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
        {CodecID, "V_VP9", 16, 5},        {DocType, "webm", 2, 4},
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
        EXPECT_EQ(quint64(row->value.size()), c.shown);
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
    EXPECT_EQ(cluster->rows.size(), 2);
    EXPECT_TRUE(hasRow(*cluster, 0, "id", cluster->offset, 4, "Cluster"));
    EXPECT_TRUE(hasRow(*cluster, 1, "size", cluster->offset + 4, 8, QString::number(unknown)));
    EXPECT_EQ(cluster->annotation, "Nesting too deep!");
    EXPECT_EQ(cluster->annotations, 1);
    EXPECT_TRUE(cluster->children.empty());
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
    QElapsedTimer timer;
    timer.start();
    p.walkFile(el(Segment, body));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(p.tree.openNodes(), 0);
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

// An ID over 4 bytes is an unknown element whose size field is read in the
// ID's place. A run of zero bytes is one such element, claiming 2^56, that
// ends the walk of its level.
TEST(OverlongId, IsUnknownWithItsBytesAsASizeField)
{
    const QByteArray zeros(64 * 1024, '\0');
    const QByteArray version = uel(EBMLVersion, 1), head = el(EBML, version);
    const QByteArray ab = bytes({0x08, 0x00, 0x00, 0x00, 0x02, 0x41, 0x42}); // "AB" in 5+2
    const QString huge = QString::number(quint64(1) << 56), dots(16, '.');
    const struct
    {
        QByteArray input;
        quint64 at;
        bool nested;
        int nodes, sizeLength;
        QString claim, value;
    } cases[] = {{zeros, 0, false, 1, 8, huge, dots},
                 {head + zeros, quint64(head.size()), false, 3, 8, huge, dots},
                 {el(Segment, zeros), 7, true, 2, 8, huge, dots},
                 {el(EBML, version + ab), 5 + quint64(version.size()), true, 3, 5, "2", "AB"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.at);
        Probe p;
        EXPECT_EQ(p.walkFile(c.input), 0);
        expectBalanced(p.tree, quint64(c.input.size()));
        EXPECT_EQ(countNodes(p.tree.roots), c.nodes);
        EXPECT_EQ(findNode(p.root().children, "Unknown") != nullptr, c.nested);
        const ElementNode *n = findNode(p.tree.roots, "Unknown");
        ASSERT_NE(n, nullptr);
        const quint64 length = c.claim.toULongLong();
        EXPECT_EQ(n->offset, c.at);
        EXPECT_EQ(n->size, quint64(c.sizeLength) + length);
        EXPECT_EQ(n->annotation, "Unknown element!");
        ASSERT_EQ(n->rows.size(), 3);
        EXPECT_TRUE(hasRow(*n, 0, "id", c.at, 0, "Unknown"));
        EXPECT_TRUE(hasRow(*n, 1, "size", c.at, c.sizeLength, c.claim));
        EXPECT_TRUE(
            hasRow(*n, 2, "value", c.at + c.sizeLength, qMin<quint64>(length, 16), c.value));
    }
}

// Counts what a walk reports without keeping it, for walks too large to keep.
struct CountingSink : ElementSink
{
    void beginElement(quint64, quint64, const QString &, qint64) override { ++nodes, ++open; }
    void addField(bool, quint64, quint8, quint64, const QString &, const QString &, const QString &,
                  const QString &, qint64) override
    {
        stray += open == 0;
    }
    void annotateElement(const QString &) override { stray += open == 0; }
    void endElement() override { open > 0 ? --open : ++stray; }
    void addFrame(const FrameRecord &) override {}
    void topLevelParsed(int) override {}
    int nodes = 0, open = 0, stray = 0;
};

TEST(ManyElements, AMillionVoidsAreReadOnce)
{
    const int count = 1000000;
    const QByteArray voids = QByteArray("\xEC\x80", 2).repeated(count);
    for (const QByteArray &input : {voids, el(Segment, voids)}) {
        Probe p;
        CountingSink sink;
        p.device.openBuffer(input);
        EXPECT_EQ(p.parseFile(QStringLiteral("x.mkv"), &p.device, &sink), 0);
        EXPECT_EQ(sink.nodes, count + (input.size() > voids.size()));
        EXPECT_EQ(sink.open, 0);
        EXPECT_EQ(sink.stray, 0);
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
        p.walkFile(input);
        expectBalanced(p.tree, quint64(input.size()));
        EXPECT_LE(p.device.largestRequest, qint64(input.size()) + 8);
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
