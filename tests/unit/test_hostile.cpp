// Damaged and hostile inputs: overlong integers, sizes far beyond the input,
// cut blocks, missing frame counters, deep nesting, overreaching masters,
// overlong IDs and half-declared tracks.

#include "ebml.h"
#include "probe.h"

#include <QElapsedTimer>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <random>

using namespace ebml;

namespace {

// Integers hold at most 8 bytes.

TEST(OverlongIntegers, AreRefusedWithoutAValueRow)
{
    const quint32 ids[] = {EBMLVersion, TimecodeScale, 0xFB /* ReferenceBlock, signed */,
                           DateUTC,     TrackNumber,   TrackType,
                           DisplayUnit, PixelWidth,    PixelHeight,
                           DefaultDuration};
    for (quint32 elementId : ids) {
        for (int n : {9, 16, 200}) {
            Probe p;
            p.load(el(elementId, QByteArray(n, '\x01')) + uel(EBMLVersion, 2));
            quint64 length = 0;
            EXPECT_EQ(p.walkAt(0, &length), Probe::StatusLengthRefused) << std::hex << elementId;
            EXPECT_EQ(length, quint64(id(elementId).size() + size(quint64(n)).size() + n));
            const ElementNode &node = p.root();
            EXPECT_EQ(node.rows.size(), 2) << std::hex << elementId << " has a value row";
            EXPECT_EQ(node.row("value"), nullptr);
        }
    }
}

TEST(OverlongIntegers, RegisterNoTrack)
{
    Probe p;
    p.load(el(Tracks, el(TrackEntry, uel(TrackType, 1) + el(TrackNumber, QByteArray(9, '\x02'))) +
                          el(TrackEntry, uel(TrackNumber, 3) + el(TrackType, QByteArray(9, '\0')))));
    p.walkAt(0);
    EXPECT_TRUE(p.trackTypes.isEmpty());
    EXPECT_TRUE(p.videoTracks.isEmpty());
}

// A size field may claim far more than the input holds.

struct HugeCase
{
    const char *what;
    quint32 elementId;
    QByteArray tail;     // the bytes that are there
    const char *value;   // the value row's text
};

class HugeClaim : public ::testing::TestWithParam<quint64>
{
};

TEST_P(HugeClaim, ShowsTheBytesThatAreThereWithoutAllocatingTheClaim)
{
    const quint64 claim = GetParam();
    const HugeCase cases[] = {
        {"ASCII string", DocType, QByteArray("matroska\0junk", 13), "matroska"},
        {"UTF-8 string", Title, QByteArray("caf\xC3\xA9"), "caf\xC3\xA9"},
        {"binary", 0x73A4 /* SegmentUID */, bytes({0xDE, 0xAD, 0xBE, 0xEF}), "deadbeef"},
        {"Void", Void, QByteArray("pad"), "pad"},
        {"unknown", 0x4321, QByteArray("xyz\x01"), "xyz."},
    };
    for (const HugeCase &c : cases) {
        Probe p;
        p.binaryLimit = ~quint64(0);
        p.showJunk = true;
        const QByteArray head = el(EBML, uel(EBMLVersion, 1) + el(DocType, "webm"));
        const QByteArray input = head + header(c.elementId, claim) + c.tail;
        ASSERT_LT(input.size(), 64);
        QElapsedTimer timer;
        timer.start();
        const std::vector<int> statuses = p.walkAll(input);
        EXPECT_LT(timer.elapsed(), 2000) << c.what;

        ASSERT_EQ(statuses.size(), 2u) << c.what;
        EXPECT_EQ(statuses[1], 0) << c.what;
        const ElementNode &node = p.root(1);
        const ElementRow *row = node.row("value");
        ASSERT_NE(row, nullptr) << c.what;
        EXPECT_EQ(row->value, QString::fromUtf8(c.value)) << c.what;
        EXPECT_EQ(row->offset, quint64(input.size() - c.tail.size())) << c.what;
        EXPECT_EQ(row->length, claim) << c.what;
        EXPECT_LE(p.device.largestRequest, qint64(input.size())) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Hostile, HugeClaim,
                         ::testing::Values(quint64(1) << 40,        // 1 TiB
                                           (quint64(1) << 56) - 2)); // the largest size

// An unknown element cut by the end of input.

TEST(CutUnknownElement, ShowsOnlyTheDeliveredBytes)
{
    Probe p;
    p.load(header(0x4321, 50) + "abcdef");
    EXPECT_EQ(p.walkAt(0), 0);
    const ElementRow *row = p.root().row("value");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->value, "abcdef");
    EXPECT_EQ(row->value.size(), 6);
    EXPECT_EQ(row->length, 16u) << "the row spans binaryLimit bytes of the claim";
}

// Blocks shorter than their header.

TEST(ShortBlock, ShowsOnlyTheFieldsInsideItAndIsNoFrame)
{
    const QByteArray payloads[] = {
        QByteArray(),               // nothing at all
        bytes({0x81}),              // track number only
        bytes({0x81, 0x00}),        // half a timecode
        bytes({0x81, 0x00, 0x00}),  // no flags
        bytes({0x40}),              // half a two-byte track number
        bytes({0x40, 0x01, 0x00, 0x00}),
    };
    for (const QByteArray &payload : payloads) {
        Probe p;
        const QByteArray block = el(SimpleBlock, payload);
        const QByteArray trackTable = tracks({{1, 1}});
        const std::vector<int> statuses = p.walkAll(trackTable + block + uel(Timecode, 5));
        ASSERT_EQ(statuses.size(), 3u);
        EXPECT_EQ(statuses[1], Probe::StatusLengthRefused) << payload.toHex().constData();
        EXPECT_TRUE(p.tree.frames.isEmpty()) << payload.toHex().constData();

        const ElementNode &node = p.root(1);
        EXPECT_EQ(node.annotation, "Block is shorter than its header!");
        EXPECT_EQ(node.row("data"), nullptr);
        EXPECT_EQ(node.row("Flags"), nullptr);
        const quint64 dataOffset = quint64(trackTable.size() + block.size() - payload.size());
        for (const ElementRow &row : node.rows) {
            if (row.name == "id" || row.name == "size")
                continue;
            EXPECT_GE(row.offset, dataOffset);
            EXPECT_LE(row.offset + row.length, dataOffset + quint64(payload.size()))
                << row.name.toStdString() << " in " << payload.toHex().constData();
        }
        EXPECT_EQ(p.root(2).name, "Timecode") << "the walk goes on";
    }
}

TEST(ShortBlock, RowsOfATwoByteBlock)
{
    Probe p;
    p.walkAll(tracks({{1, 1}}) + el(SimpleBlock, bytes({0x81, 0x00})));
    const ElementNode &node = p.root(1);
    ASSERT_EQ(node.rows.size(), 3);
    EXPECT_EQ(node.rows[2].name, "TrackNumber");
    EXPECT_EQ(node.rows[2].value, "1");
}

// The host may hand over fewer frame counters than there are streams.

QByteArray threeVideoTracks(std::initializer_list<int> blockTracks)
{
    QByteArray blocks;
    for (int t : blockTracks)
        blocks += el(SimpleBlock, bytes({0x80 | t, 0x00, 0x00, 0x80, 0x00}));
    return tracks({{1, 1}, {2, 1}, {3, 1}}) + el(Cluster, blocks);
}

TEST(FrameCounters, MissingCountersAreAdded)
{
    Probe p;
    p.frameCounters = {0};
    p.walkAll(threeVideoTracks({1, 2, 3, 1, 2, 3, 3}));
    ASSERT_EQ(p.tree.frames.size(), 7);
    const std::pair<uint, quint64> expected[] = {{0, 0}, {1, 0}, {2, 0}, {0, 1},
                                                 {1, 1}, {2, 1}, {2, 2}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(p.tree.frames[i].stream, expected[i].first) << i;
        EXPECT_EQ(p.tree.frames[i].number, expected[i].second) << i;
    }
}

TEST(FrameCounters, NoCountersNumbersEveryFrameZero)
{
    Probe p;
    p.frameCounters.clear();
    p.walkAll(threeVideoTracks({1, 1, 2, 3, 3}));
    ASSERT_EQ(p.tree.frames.size(), 5);
    for (const FrameRecord &f : p.tree.frames)
        EXPECT_EQ(f.number, 0u);
    EXPECT_EQ(p.tree.frames[4].stream, 2u);
}

// Nesting depth.

// count masters, each holding the next, around inner; 8-byte size fields.
QByteArray nested(quint32 masterId, int count, const QByteArray &inner)
{
    const int headerSize = id(masterId).size() + 8;
    QByteArray out;
    out.reserve(count * headerSize + inner.size());
    for (int i = 0; i < count; ++i)
        out += header(masterId, quint64(count - 1 - i) * quint64(headerSize) +
                                    quint64(inner.size()), 8);
    return out + inner;
}

constexpr int kMasters = 200000;

// Walks kMasters nested masters; the one at depth MaxNesting has a sibling.
void walkDeepNesting(quint32 masterId)
{
    const int depth = ContainerMKV::MaxNesting;
    const QByteArray sibling = uel(EBMLVersion, 7);
    const QByteArray input =
        nested(masterId, depth, nested(masterId, kMasters - depth, uel(EBMLVersion, 1)) + sibling);

    Probe p;
    const std::vector<int> statuses = p.walkAll(input);
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(p.tree.openNodes(), 0);
    EXPECT_EQ(p.tree.strayCalls, 0);

    const ElementNode *node = &p.root();
    for (int level = 0; level < depth - 1; ++level) {
        ASSERT_EQ(node->children.size(), 1u) << "level " << level;
        node = &node->children[0];
    }
    ASSERT_EQ(node->children.size(), 2u);
    const ElementNode &tooDeep = node->children[0];
    EXPECT_EQ(tooDeep.rows.size(), 2);
    EXPECT_NE(tooDeep.row("id"), nullptr);
    EXPECT_NE(tooDeep.row("size"), nullptr);
    EXPECT_EQ(tooDeep.annotation, "Nesting too deep!");
    EXPECT_EQ(tooDeep.annotations, 1);
    EXPECT_TRUE(tooDeep.children.empty());
    EXPECT_EQ(node->children[1].name, "EBMLVersion");
    EXPECT_EQ(valueOf(node->children, "EBMLVersion"), "7");
    EXPECT_EQ(countNodes(p.tree.roots), depth + 2);
}

TEST(DeepNesting, StopsAtTheBoundAndGoesOn)
{
    walkDeepNesting(EBML);
}

TEST(DeepNesting, FitsA1MiBThreadStack)
{
    for (quint32 masterId : {quint32(EBML), quint32(Cluster)}) {
        bool done = false;
        QThread *thread = QThread::create([&] {
            walkDeepNesting(masterId);
            done = true;
        });
        thread->setStackSize(1 << 20);
        thread->start();
        ASSERT_TRUE(thread->wait(60000));
        delete thread;
        EXPECT_TRUE(done);
    }
}

// Masters that claim more than their parent holds.

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
    for (int k = 0; k < levels; ++k) {
        const quint64 start = quint64(k * headerSize);
        const quint64 claimedEnd = firstEnd + quint64(k) * 30; // deeper ones reach further
        body += header(Cluster, claimedEnd - start - headerSize, 8);
    }
    for (int i = 0; i < leaves; ++i)
        body += leaf;
    const QByteArray input = el(Segment, body);

    Probe p;
    QElapsedTimer timer;
    timer.start();
    p.walkFile(input);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(p.tree.openNodes(), 0);

    QSet<quint64> offsets;
    int duplicates = 0;
    forEachNode(p.tree.roots, [&](const ElementNode &n, int) {
        if (offsets.contains(n.offset))
            ++duplicates;
        offsets.insert(n.offset);
    });
    EXPECT_EQ(duplicates, 0);
    EXPECT_EQ(countNodes(p.tree.roots), 1 + levels + leaves);
}

TEST(OverreachingMasters, RandomTowersStayLinear)
{
    std::mt19937 random(20240601);
    for (int round = 0; round < 20; ++round) {
        // A tower of masters each claiming a random size, over random leaves.
        const int levels = 40;
        QByteArray leaves;
        const int leafCount = 500 + int(random() % 500);
        for (int i = 0; i < leafCount; ++i)
            leaves += uel(Timecode, random() % 200);
        QByteArray towers;
        for (int k = 0; k < levels; ++k)
            towers += header(k % 2 ? Cluster : BlockGroup,
                             random() % quint64(levels * 12 + leaves.size() * 2), 8);
        const QByteArray input = el(Segment, towers + leaves);

        Probe p;
        p.walkFile(input);
        // Every node starts at its own offset, so there are no more of them
        // than input bytes, plus the few that a claim puts past the end.
        EXPECT_LE(countNodes(p.tree.roots), input.size() + levels + 2) << round;
        QSet<quint64> offsets;
        forEachNode(p.tree.roots, [&](const ElementNode &n, int) {
            EXPECT_FALSE(offsets.contains(n.offset)) << "round " << round << " offset " << n.offset;
            offsets.insert(n.offset);
        });
    }
}

// An ID over four bytes.

TEST(OverlongId, IsUnknownAndNotThePreviousElement)
{
    Probe p;
    const QByteArray version = uel(EBMLVersion, 1);
    const QByteArray odd = bytes({
        0x08,                   // an ID of five bytes, or a five-byte size read in its place
        0x00, 0x00, 0x00, 0x02, // size 2
        0x41, 0x42,             // "AB"
    });
    p.load(el(EBML, version + odd));
    p.walkAt(0);
    const auto &kids = p.root().children;
    ASSERT_EQ(kids.size(), 2u);
    const ElementNode &n = kids[1];
    EXPECT_EQ(n.name, "Unknown");
    EXPECT_EQ(n.annotation, "Unknown element!");
    const quint64 at = 5 + quint64(version.size());
    EXPECT_EQ(n.offset, at);
    EXPECT_EQ(n.size, 7u);
    EXPECT_TRUE(hasRow(n, 0, "id", at, 0, "Unknown"));
    EXPECT_TRUE(hasRow(n, 1, "size", at, 5, "2"));
    EXPECT_TRUE(hasRow(n, 2, "value", at + 5, 2, "AB"));
}

TEST(OverlongId, EveryFirstByteBelow0x10)
{
    for (int first = 0x00; first < 0x10; ++first) {
        Probe p;
        const QByteArray input = uel(EBMLVersion, 1) + bytes({first}) + QByteArray(12, '\0');
        p.walkFile(input);
        ASSERT_GE(p.tree.roots.size(), 2u) << first;
        EXPECT_EQ(p.root(1).name, "Unknown") << first;
        EXPECT_EQ(p.tree.openNodes(), 0);
    }
}

// Track pairs with a number or a type of 0.

TEST(ZeroTrackFields, AreNeverRegistered)
{
    Probe p;
    p.load(el(Tracks, el(TrackEntry, uel(TrackType, 1) + uel(TrackNumber, 0))));
    p.walkAt(0);
    EXPECT_TRUE(p.trackTypes.isEmpty());
    EXPECT_TRUE(p.videoTracks.isEmpty());

    Probe q;
    q.load(el(Tracks, el(TrackEntry, uel(TrackNumber, 4) + uel(TrackType, 1) + uel(TrackType, 0))));
    q.walkAt(0);
    EXPECT_EQ(q.trackTypes, (QHash<quint64, quint64>{{4, 1}}));
    EXPECT_EQ(q.videoTracks, QVector<quint64>{4});

    Probe r;
    r.load(el(Tracks, el(TrackEntry, uel(TrackNumber, 0) + uel(TrackType, 1))));
    r.walkAt(0);
    EXPECT_TRUE(r.trackTypes.isEmpty());
}

// Random damage to a sound file never breaks the walk's structure.

TEST(RandomDamage, WalkStaysBalanced)
{
    const QByteArray sound =
        el(EBML, uel(EBMLVersion, 1) + el(DocType, "webm")) +
        el(Segment, el(Info, uel(TimecodeScale, 1000000) + el(Title, "t") +
                                 el(Duration, f64(40.0))) +
                        tracks({{1, 1}, {2, 2}}) +
                        el(Cluster, uel(Timecode, 0) +
                                        el(SimpleBlock, bytes({0x81, 0, 0, 0x80, 1, 2, 3})) +
                                        el(BlockGroup, el(Block, bytes({0x82, 0, 1, 0, 9})))));
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
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
        EXPECT_EQ(p.tree.openNodes(), 0) << round;
        EXPECT_EQ(p.tree.strayCalls, 0) << round;
        EXPECT_LE(p.device.largestRequest, qint64(input.size()) + 8) << round;
    }
}

// The walk does not know EBML unknown sizes: the unknown-size clusters of a
// live recording nest one in another, and only those within MaxNesting are
// entered.
TEST(UnknownSize, ClustersNestUpToTheBoundAndTheWalkEnds)
{
    const quint64 unknown = (quint64(1) << 56) - 1;
    QByteArray body = tracks({{1, 1}});
    for (int i = 0; i < 1200; ++i)
        body += header(Cluster, unknown, 8) + el(SimpleBlock, bytes({0x81, 0x00, 0x00, 0x80, 0x42}));
    Probe p;
    EXPECT_EQ(p.walkFile(header(Segment, unknown, 8) + body), 0);
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
    EXPECT_TRUE(hasRow(*cluster, 0, "id", cluster->offset, 4, "Cluster"));
    EXPECT_TRUE(hasRow(*cluster, 1, "size", cluster->offset + 4, 8, QString::number(unknown)));
    EXPECT_EQ(cluster->rows.size(), 2);
    EXPECT_EQ(cluster->annotation, "Nesting too deep!");
    EXPECT_TRUE(cluster->children.empty());
}

} // namespace
