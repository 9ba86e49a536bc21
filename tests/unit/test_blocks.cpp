// Block and SimpleBlock headers, their rows, and frames of video tracks.

#include "ebml.h"
#include "probe.h"

#include <gtest/gtest.h>

using namespace ebml;

namespace {

constexpr quint64 kAt = 5; // where the block payload starts in the input

// parseBlock called directly on a payload; returns its status, the rows are
// in the probe's last root.
int blockAt(Probe &p, const QByteArray &payload)
{
    p.load(QByteArray(int(kAt), '\x77') + payload + QByteArray(4, '\x88'));
    Probe::ElementMKV r = p.record(Probe::Binary, kAt, quint64(payload.size()));
    OpenNode node(p);
    const int status = p.parseBlock(&r);
    EXPECT_EQ(p.device.pos(), qint64(kAt)) << "the device goes back to the payload";
    return status;
}

const ElementRow &row(const Probe &p, const char *name)
{
    static const ElementRow missing{};
    const ElementRow *r = p.tree.roots.back().row(QString::fromLatin1(name));
    EXPECT_NE(r, nullptr) << name;
    return r ? *r : missing;
}

TEST(BlockHeader, SimpleBlockRows)
{
    Probe p;
    EXPECT_EQ(blockAt(p, bytes({
                             0x81,       // track number 1
                             0x00, 0x00, // timecode 0
                             0x80,       // flags: keyframe
                         }) + QByteArray(100, '\xAA')),
              0);
    const ElementNode &n = p.tree.roots.back();
    ASSERT_EQ(n.rows.size(), 4);
    EXPECT_TRUE(hasRow(n, 0, "TrackNumber", kAt, 1, "1"));
    EXPECT_TRUE(hasRow(n, 1, "Timecode", kAt + 1, 2, "0"));
    EXPECT_TRUE(hasRow(n, 2, "Flags", kAt + 3, 1, "-128"));
    EXPECT_EQ(n.rows[2].meaning, "Keyframe. ");
    EXPECT_TRUE(hasRow(n, 3, "data", kAt + 4, 100, ""));
    EXPECT_TRUE(p.tree.frames.isEmpty()) << "track 1 is not a known video track";
    EXPECT_LE(p.device.requested, 4u) << "only the 4 header bytes are read, never the data";
}

TEST(BlockHeader, TimecodeIsSigned)
{
    const std::pair<QByteArray, const char *> cases[] = {
        {bytes({0xFF, 0xD8}), "-40"},
        {bytes({0x7F, 0xFF}), "32767"},
        {bytes({0x80, 0x00}), "-32768"},
        {bytes({0x01, 0x02}), "258"},
    };
    for (const auto &c : cases) {
        Probe p;
        blockAt(p, bytes({0x81}) + c.first + bytes({0x00}));
        EXPECT_EQ(row(p, "Timecode").value, c.second);
    }
}

TEST(BlockHeader, LongTrackNumberMovesTheOtherFields)
{
    Probe p;
    blockAt(p, bytes({
                   0x40, 0x02, // track number 2, two bytes
                   0x00, 0x10, // timecode 16
                   0x00,       // flags
                   0x01, 0x02, // data
               }));
    const ElementNode &n = p.tree.roots.back();
    EXPECT_TRUE(hasRow(n, 0, "TrackNumber", kAt, 2, "2"));
    EXPECT_TRUE(hasRow(n, 1, "Timecode", kAt + 2, 2, "16"));
    EXPECT_TRUE(hasRow(n, 2, "Flags", kAt + 4, 1, "0"));
    EXPECT_TRUE(hasRow(n, 3, "data", kAt + 5, 2, ""));

    Probe q;
    blockAt(q, bytes({0x01, 0, 0, 0, 0, 0, 0, 0x09, 0x00, 0x00, 0x00})); // 8-byte track number
    EXPECT_TRUE(hasRow(q.tree.roots.back(), 0, "TrackNumber", kAt, 8, "9"));
    EXPECT_TRUE(hasRow(q.tree.roots.back(), 3, "data", kAt + 11, 0, ""));
}

struct FlagsCase
{
    int flags;
    const char *value;
    const char *meaning;
};

class BlockFlags : public ::testing::TestWithParam<FlagsCase>
{
};

TEST_P(BlockFlags, ValueAndMeaning)
{
    Probe p;
    blockAt(p, bytes({0x81, 0x00, 0x00, GetParam().flags}));
    EXPECT_EQ(row(p, "Flags").value, GetParam().value);
    EXPECT_EQ(row(p, "Flags").meaning, GetParam().meaning);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockFlags,
    ::testing::Values(FlagsCase{0x80, "-128", "Keyframe. "},
                      FlagsCase{0x88, "-120", "Keyframe. Invisible. "},
                      FlagsCase{0x86, "-122", "Keyframe. EBML lacing. "},
                      FlagsCase{0x02, "2", "Xiph lacing. "},
                      FlagsCase{0x04, "4", "Fixed-size lacing. "},
                      FlagsCase{0x06, "6", "EBML lacing. "},
                      FlagsCase{0x01, "1", "Discardable."},
                      FlagsCase{0x83, "-125", "Keyframe. Xiph lacing. Discardable."},
                      FlagsCase{0x81, "-127", "Keyframe. Discardable."},
                      FlagsCase{0x70, "112", ""}, // reserved bits only
                      FlagsCase{0x00, "0", ""}));

// A file body: the tracks, then one cluster with the given blocks.
QByteArray withTracks(std::initializer_list<std::pair<quint64, quint64>> entries,
                      const QByteArray &blocks)
{
    return el(Segment, tracks(entries) + el(Cluster, uel(Timecode, 0) + blocks));
}

QByteArray simpleBlock(int track, int flags, int dataBytes)
{
    return el(SimpleBlock, bytes({0x80 | track, 0x00, 0x00, flags}) + QByteArray(dataBytes, 'x'));
}

TEST(BlockFrames, BlocksOfAudioOrUndeclaredTracksAreNotFrames)
{
    Probe p;
    p.walkFile(withTracks({{1, 2}, {2, 1}}, simpleBlock(1, 0x80, 20) + simpleBlock(7, 0x80, 5)));
    int blocks = 0;
    forEachNode(p.tree.roots, [&](const ElementNode &n, int) {
        if (n.name == "SimpleBlock") {
            ++blocks;
            EXPECT_EQ(n.rows.size(), 2 + 4);
        }
    });
    EXPECT_EQ(blocks, 2);
    EXPECT_TRUE(p.tree.frames.isEmpty());
}

TEST(BlockFrames, EachVideoTrackIsAStreamWithItsOwnNumbers)
{
    Probe p;
    const QByteArray blocks = simpleBlock(1, 0x80, 10) + simpleBlock(1, 0x00, 11) +
                              simpleBlock(2, 0x80, 12) + simpleBlock(3, 0x80, 13) +
                              simpleBlock(1, 0x00, 14);
    const QByteArray file = withTracks({{1, 1}, {2, 1}, {3, 2}}, blocks);
    p.walkFile(file);
    ASSERT_EQ(p.tree.frames.size(), 4);

    // Where each block's data lies, from the tree.
    std::vector<const ElementNode *> blockNodes;
    forEachNode(p.tree.roots, [&](const ElementNode &n, int) {
        if (n.name == "SimpleBlock")
            blockNodes.push_back(&n);
    });
    ASSERT_EQ(blockNodes.size(), 5u);

    const struct
    {
        uint stream;
        quint64 number;
        int block;
        int keyframe;
    } expected[] = {{0, 0, 0, 1}, {0, 1, 1, 0}, {1, 0, 2, 1}, {0, 2, 4, 0}};
    for (int i = 0; i < 4; ++i) {
        const FrameRecord &f = p.tree.frames[i];
        const ElementNode &b = *blockNodes[size_t(expected[i].block)];
        EXPECT_EQ(f.stream, expected[i].stream) << i;
        EXPECT_EQ(f.number, expected[i].number) << i;
        EXPECT_EQ(f.keyframe, expected[i].keyframe) << i;
        EXPECT_EQ(f.offset, b.row("data")->offset) << i;
        EXPECT_EQ(f.size, b.row("data")->length) << i;
        EXPECT_EQ(f.size, quint64(10 + expected[i].block)) << i;
        EXPECT_EQ(f.offset + f.size, b.offset + b.size) << i;
    }
}

TEST(BlockFrames, BlockInsideBlockGroupIsHandledAlike)
{
    Probe p;
    const QByteArray group =
        el(BlockGroup, el(Block, bytes({
                                     0x81,       // track number 1
                                     0xFF, 0xF6, // timecode -10
                                     0x00,       // flags
                                 }) + QByteArray(30, 'b')) +
                           el(ReferenceBlock, bytes({0xF6})));
    p.walkFile(withTracks({{1, 1}}, group + group));
    const ElementNode *block = findNode(p.tree.roots, "Block");
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(block->rows.size(), 6);
    EXPECT_EQ(block->rows[2].name, "TrackNumber");
    EXPECT_EQ(block->rows[3].value, "-10");
    EXPECT_EQ(block->rows[5].length, 30u);
    EXPECT_EQ(valueOf(p.tree.roots, "ReferenceBlock"), "-10");
    ASSERT_EQ(p.tree.frames.size(), 2);
    EXPECT_EQ(p.tree.frames[0].number, 0u);
    EXPECT_EQ(p.tree.frames[1].number, 1u);
    EXPECT_EQ(p.tree.frames[1].size, 30u);
    EXPECT_EQ(p.tree.frames[1].keyframe, 0);
}

TEST(BlockFrames, EveryWalkStartsItsFrameNumbersAgain)
{
    const QByteArray file = withTracks({{1, 1}}, simpleBlock(1, 0x80, 3) + simpleBlock(1, 0, 3));
    Probe p;
    p.walkFile(file);
    p.tree.clear();
    p.walkFile(file);
    ASSERT_GE(p.tree.frames.size(), 2);
    EXPECT_EQ(p.tree.frames[0].number, 0u);
    EXPECT_EQ(p.tree.frames[1].number, 1u);
}

} // namespace
