// Entry points, file names, and the host driver's walk of a whole input.

#include "ebml.h"
#include "probe.h"

#include <QStringList>

using namespace ebml;

namespace {

TEST(FileNames, MatroskaAndWebmSuffixesInAnyCase)
{
    Probe p;
    for (const char *name : {"clip.mkv", "clip.webm", "clip.MKV", "clip.Mkv", "clip.WEBM",
                             "/tmp/some dir/clip.mkv", "archive.tar.webm"})
        EXPECT_EQ(p.verifyContainerFormat(QString::fromUtf8(name)), 0) << name;
    for (const char *name : {"clip.mkv.part", "clip.mka", "clip.mk3d", "clip", "clip.",
                             "movies.mkv/clip", "mkv", "clip.webmx", ""})
        EXPECT_EQ(p.verifyContainerFormat(QString::fromUtf8(name)), Probe::StatusFileRefused)
            << name;
    EXPECT_EQ(supportedExtensions(), (QStringList {QStringLiteral("mkv"), QStringLiteral("webm")}));
}

TEST(EntryPoints, CreateParserGivesIndependentMatroskaParsers)
{
    ContainerAbstract *a = createParser();
    ContainerAbstract *b = createParser();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(dynamic_cast<ContainerMKV *>(a), nullptr);
    delete a; // through the base class

    // The other parser still works after the first one is gone.
    InputDevice device;
    ElementTree tree;
    device.openBuffer(el(EBML, el(DocType, "webm")));
    EXPECT_EQ(b->parseFile(QStringLiteral("x.webm"), &device, &tree), 0);
    EXPECT_EQ(valueOf(tree.roots, "DocType"), "webm");
    delete b;
}

// A tree that also records the driver's file-level calls.
struct FileTree : ElementTree
{
    void beginFile(const QString &n, quint64 size) override
    {
        name = n;
        fileSize = size;
        ++begins;
    }
    void endFile() override { ++ends; }
    int begins = 0, ends = 0;
    QString name;
    quint64 fileSize = 0;
};

TEST(HostDriver, FramesTheWalkOfAnAcceptedNameOnly)
{
    const QByteArray file = el(EBML, uel(EBMLVersion, 1)) + el(Void, "xx");
    InputDevice device;
    device.openBuffer(file);
    Probe p;
    FileTree refused;
    EXPECT_EQ(p.parseFile(QStringLiteral("clip.avi"), &device, &refused), Probe::StatusFileRefused);
    EXPECT_TRUE(refused.roots.empty());
    EXPECT_EQ(refused.begins + refused.ends, 0);
    EXPECT_EQ(p.sink(), &p.tree) << "the refused walk does not take the sink";

    FileTree tree;
    EXPECT_EQ(p.parseFile(QStringLiteral("/media/clips/clip.mkv"), &device, &tree), 0);
    EXPECT_EQ(tree.begins, 1);
    EXPECT_EQ(tree.ends, 1);
    EXPECT_EQ(tree.name, "clip.mkv");
    EXPECT_EQ(tree.fileSize, quint64(file.size()));
    EXPECT_EQ(tree.roots.size(), 2u);

    Probe q;
    EXPECT_EQ(q.walkFile(QByteArray()), 0);
    EXPECT_TRUE(q.tree.roots.empty());
    EXPECT_EQ(q.tree.strayCalls, 0);
}

TEST(HostDriver, WalkWithoutSinkIsQuiet)
{
    Probe p;
    InputDevice device;
    device.openBuffer(el(Segment, tracks({{1, 1}}) + el(Cluster, simpleBlock(1, 0x80))));
    EXPECT_EQ(p.parseFile(QStringLiteral("x.mkv"), &device, nullptr), 0);
    EXPECT_EQ(p.videoTracks, QVector<quint64> {1});
    EXPECT_EQ(p.frameCounters.value(0), 1u) << "the frame was counted all the same";
}

// A parser keeps its track tables for its whole life: a second walk
// continues from the first one's. Frame numbers start again with each walk.
TEST(HostDriver, SecondWalkKeepsTheTracksButNumbersFramesAgain)
{
    Probe p;
    p.walkFile(el(
        Segment, tracks({{1, 1}, {2, 2}}) + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(1, 0))));
    ASSERT_EQ(p.tree.frames.size(), 2);
    p.tree.clear();
    p.walkFile(
        el(Segment, tracks({{2, 1}}) + el(Cluster, simpleBlock(2, 0x80) + simpleBlock(1, 0x80))));
    EXPECT_EQ(p.trackTypes, (QHash<quint64, quint64> {{1, 1}, {2, 1}}));
    EXPECT_EQ(p.videoTracks, (QVector<quint64> {1, 2}));
    ASSERT_EQ(p.tree.frames.size(), 2);
    EXPECT_EQ(p.tree.frames[0].stream, 1u) << "track 2 is the second video track seen";
    EXPECT_EQ(p.tree.frames[0].number, 0u);
    EXPECT_EQ(p.tree.frames[1].stream, 0u);
    EXPECT_EQ(p.tree.frames[1].number, 0u);
}

} // namespace
