// Block and SimpleBlock headers, their rows, and frames of video tracks.

#include "ebml.h"
#include "probe.h"

using namespace ebml;

namespace {

constexpr quint64 kAt = 5; // where the block payload starts in the input

// parseBlock called directly on a payload; the rows are in the last root.
const ElementNode &blockAt(Probe &p, const QByteArray &payload, int *status = nullptr)
{
    p.load(QByteArray(int(kAt), '\x77') + payload + QByteArray(4, '\x88'));
    p.device.requested = 0;
    const int s = p.call(&Probe::parseBlock, Probe::Binary, kAt, quint64(payload.size()));
    if (status)
        *status = s;
    return p.tree.roots.back();
}

TEST(BlockHeader, Rows)
{
    // Only the header is read, never the data; track 1 is no known video
    // track, so there is no frame.
    const struct
    {
        QByteArray payload;
        const char *rows;
    } cases[] = {
        {bytes({0x81, 0x00, 0x00, 0x80}) + QByteArray(100, '\xAA'),
         "t@0+0[TrackNumber@5+1=1 Timecode@6+2=0 Flags@8+1=-128(Keyframe. ) data@9+100=]"},
        // A two-byte track number moves the other fields.
        {bytes({0x40, 0x02, 0x00, 0x10, 0x00, 0x01, 0x02}),
         "t@0+0[TrackNumber@5+2=2 Timecode@7+2=16 Flags@9+1=0 data@10+2=]"},
        // The timecode is signed.
        {bytes({0x81, 0xFF, 0xD8, 0x00}),
         "t@0+0[TrackNumber@5+1=1 Timecode@6+2=-40 Flags@8+1=0 data@9+0=]"},
    };
    for (const auto &c : cases) {
        Probe p;
        int status = -1;
        EXPECT_EQ(outline(blockAt(p, c.payload, &status)), c.rows);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(p.tree.frames.isEmpty());
        EXPECT_LE(p.device.requested, 6u) << "the data is never read";
    }
    for (const auto &[timecode, value] :
         {std::pair<QByteArray, const char *> {bytes({0x7F, 0xFF}), "32767"},
          {bytes({0x80, 0x00}), "-32768"},
          {bytes({0x01, 0x02}), "258"}}) {
        Probe p;
        EXPECT_EQ(blockAt(p, bytes({0x81}) + timecode + bytes({0x00})).rows[1].value, value);
    }
}

TEST(BlockHeader, FlagsValueAndMeaning)
{
    const struct
    {
        int flags;
        const char *value, *meaning;
    } cases[] = {
        {0x88, "-120", "Keyframe. Invisible. "},
        {0x02, "2", "Xiph lacing. "},
        {0x04, "4", "Fixed-size lacing. "},
        {0x06, "6", "EBML lacing. "},
        {0x01, "1", "Discardable."},
        {0x83, "-125", "Keyframe. Xiph lacing. Discardable."},
        {0x70, "112", ""}, // reserved bits only
    };
    for (const auto &c : cases) {
        Probe p;
        const ElementRow &flags = blockAt(p, bytes({0x81, 0x00, 0x00, c.flags})).rows[2];
        EXPECT_EQ(flags.value, c.value) << c.flags;
        EXPECT_EQ(flags.meaning, c.meaning) << c.flags;
    }
}

// A file body: the tracks, then one cluster with the given blocks.
QByteArray withTracks(std::initializer_list<std::pair<quint64, quint64>> entries,
                      const QByteArray &blocks)
{
    return el(Segment, tracks(entries) + el(Cluster, uel(Timecode, 0) + blocks));
}

TEST(BlockFrames, EachVideoTrackIsAStreamWithItsOwnNumbers)
{
    // Tracks 1 and 2 are video, 3 audio; track 7 is not declared.
    const QByteArray blocks = simpleBlock(1, 0x80, 10) + simpleBlock(1, 0x00, 11)
        + simpleBlock(2, 0x80, 12) + simpleBlock(3, 0x80, 13) + simpleBlock(7, 0x80, 14)
        + simpleBlock(1, 0x00, 15);
    Probe p;
    p.walkFile(withTracks({{1, 1}, {2, 1}, {3, 2}}, blocks));

    std::vector<const ElementNode *> nodes;
    forEachNode(p.tree.roots, [&](const ElementNode &n) {
        if (n.name == "SimpleBlock")
            nodes.push_back(&n);
    });
    ASSERT_EQ(nodes.size(), 6u);
    for (const ElementNode *n : nodes)
        EXPECT_EQ(n->rows.size(), 6) << "every block has its header rows";

    const struct
    {
        uint stream;
        quint64 number;
        size_t block;
        int keyframe;
    } expected[] = {{0, 0, 0, 1}, {0, 1, 1, 0}, {1, 0, 2, 1}, {0, 2, 5, 0}};
    ASSERT_EQ(p.tree.frames.size(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const FrameRecord &f = p.tree.frames[i];
        const ElementRow *data = nodes[expected[i].block]->row("data");
        EXPECT_EQ(f.stream, expected[i].stream);
        EXPECT_EQ(f.number, expected[i].number);
        EXPECT_EQ(f.keyframe, expected[i].keyframe);
        EXPECT_EQ(f.offset, data->offset);
        EXPECT_EQ(f.size, data->length);
        EXPECT_EQ(f.size, quint64(10 + expected[i].block));
    }
}

TEST(BlockFrames, BlockInsideBlockGroupIsHandledAlike)
{
    const QByteArray group = el(BlockGroup,
                                el(Block,
                                   bytes({
                                       0x81,       // track number 1
                                       0xFF, 0xF6, // timecode -10
                                       0x00,       // flags
                                   }) + QByteArray(30, 'b'))
                                    + el(ReferenceBlock, bytes({0xF6})));
    Probe p;
    p.walkFile(withTracks({{1, 1}}, group + group));
    const ElementNode *block = findNode(p.tree.roots, "Block");
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(block->rows.size(), 6);
    EXPECT_EQ(block->rows[2].name, "TrackNumber");
    EXPECT_EQ(block->rows[3].value, "-10");
    EXPECT_EQ(block->rows[5].length, 30u);
    EXPECT_EQ(valueOf(p.tree.roots, "ReferenceBlock"), "-10");
    ASSERT_EQ(p.tree.frames.size(), 2);
    EXPECT_EQ(p.tree.frames[1].number, 1u);
    EXPECT_EQ(p.tree.frames[1].size, 30u);
    EXPECT_EQ(p.tree.frames[1].keyframe, 0);
}

// Streams are numbered in the order their entries registered them, whatever
// the track numbers; the host's one counter grows to one per stream.
TEST(BlockFrames, HundredsOfVideoTracksEachCountTheirOwnFrames)
{
    const int count = 300;
    QByteArray entries, round;
    for (int i = 0; i < count; ++i) {
        entries += el(TrackEntry, uel(TrackNumber, 2 * i + 1) + uel(TrackType, 1));
        // Blocks in reverse order, with track numbers of one or two bytes.
        round.prepend(el(SimpleBlock, size(2 * i + 1) + bytes({0, 0, 0x80}) + "x"));
    }
    Probe p;
    p.walkFile(el(Segment, el(Tracks, entries) + el(Cluster, round + round)));
    ASSERT_EQ(p.tree.frames.size(), 2 * count);
    for (int k = 0; k < 2 * count; ++k) {
        EXPECT_EQ(p.tree.frames[k].stream, uint(count - 1 - k % count)) << k;
        EXPECT_EQ(p.tree.frames[k].number, quint64(k / count)) << k;
    }
}

// A number registered again keeps every place it takes in the list, and a
// track's stream is the place of its first registration.
TEST(BlockFrames, RepeatedRegistrationsTakePlacesButNotStreams)
{
    const int repeats = 3000;
    QByteArray entry = uel(TrackNumber, 2);
    for (int i = 0; i < repeats; ++i)
        entry += uel(TrackType, 1);
    entry += uel(TrackNumber, 1) + uel(TrackType, 1); // track 1 twice
    Probe p;
    p.walkFile(el(Segment,
                  el(Tracks, el(TrackEntry, entry))
                      + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(2, 0) + simpleBlock(1, 0))));
    EXPECT_EQ(p.videoTracks, (QVector<quint64>(repeats, 2) + QVector<quint64> {1, 1}));
    ASSERT_EQ(p.tree.frames.size(), 3);
    EXPECT_EQ(p.tree.frames[0].stream, uint(repeats));
    EXPECT_EQ(p.tree.frames[1].stream, 0u);
    EXPECT_EQ(p.tree.frames[2].stream, uint(repeats));
    EXPECT_EQ(p.tree.frames[2].number, 1u);
}

// A host that hands over no frame counters gets every frame numbered 0.
TEST(BlockFrames, NoFrameCounters)
{
    Probe p;
    p.frameCounters.clear();
    p.walkAll(tracks({{1, 1}, {2, 1}})
              + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(2, 0) + simpleBlock(2, 0)));
    ASSERT_EQ(p.tree.frames.size(), 3);
    for (const FrameRecord &f : p.tree.frames)
        EXPECT_EQ(f.number, 0u);
    EXPECT_EQ(p.tree.frames[2].stream, 1u);
}

} // namespace
