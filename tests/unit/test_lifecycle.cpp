// Entry points, construction and teardown, and the host driver's use of the
// parser's file-level operations.

#include "ebml.h"
#include "probe.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace ebml;

namespace {

TEST(FileNames, MatroskaAndWebmSuffixesInAnyCase)
{
    Probe p;
    for (const char *name : {"clip.mkv", "clip.webm", "clip.MKV", "clip.Mkv", "clip.WEBM",
                             "/tmp/some dir/clip.mkv", "archive.tar.webm"})
        EXPECT_EQ(p.verifyContainerFormat(QString::fromUtf8(name)), 0) << name;
}

TEST(FileNames, OtherNamesAreRefused)
{
    Probe p;
    for (const char *name : {"clip.mkv.part", "clip.mka", "clip.mk3d", "clip", "clip.",
                             "movies.mkv/clip", "mkv", "clip.webmx", ""})
        EXPECT_EQ(p.verifyContainerFormat(QString::fromUtf8(name)), Probe::StatusFileRefused)
            << name;
}

TEST(EntryPoints, SupportedExtensions)
{
    EXPECT_EQ(supportedExtensions(), (QStringList{QStringLiteral("mkv"), QStringLiteral("webm")}));
}

TEST(EntryPoints, FindBeginOfContainerIsTheFileStart)
{
    Probe p;
    qint64 offset = 1234;
    EXPECT_EQ(p.findBeginOfContainer(&offset), 0);
    EXPECT_EQ(offset, 0);
}

TEST(EntryPoints, CreateParserGivesIndependentMatroskaParsers)
{
    ContainerAbstract *a = createParser();
    ContainerAbstract *b = createParser();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(dynamic_cast<ContainerMKV *>(a), nullptr);

    bool destroyed = false;
    QObject::connect(a, &QObject::destroyed, [&] { destroyed = true; });
    delete a; // through the base class
    EXPECT_TRUE(destroyed);

    // The other parser still works after the first one is gone.
    InputDevice device;
    ElementTree tree;
    EXPECT_EQ(b->parseFile(QStringLiteral("x.webm"), &device, &tree), 0);
    device.openBuffer(el(EBML, el(DocType, "webm")));
    EXPECT_EQ(b->parseFile(QStringLiteral("x.webm"), &device, &tree), 0);
    EXPECT_EQ(valueOf(tree.roots, "DocType"), "webm");
    delete b;
}

// A tree that also records the driver's file-level calls.
class FileTree : public ElementTree
{
public:
    void beginFile(const QString &fileName, quint64 size) override
    {
        ++begins;
        name = fileName;
        fileSize = size;
    }
    void endFile() override { ++ends; }
    int begins = 0;
    int ends = 0;
    QString name;
    quint64 fileSize = 0;
};

TEST(HostDriver, RefusedNameWalksNothing)
{
    Probe p;
    FileTree tree;
    InputDevice device;
    device.openBuffer(el(EBML, uel(EBMLVersion, 1)));
    EXPECT_EQ(p.parseFile(QStringLiteral("clip.avi"), &device, &tree), Probe::StatusFileRefused);
    EXPECT_TRUE(tree.roots.empty());
    EXPECT_EQ(tree.begins, 0);
    EXPECT_EQ(tree.ends, 0);
    EXPECT_EQ(p.sink(), &p.tree) << "the refused walk does not take the sink";
    EXPECT_TRUE(p.tree.roots.empty());
}

TEST(HostDriver, AcceptedNameFramesTheWalk)
{
    Probe p;
    FileTree tree;
    InputDevice device;
    const QByteArray file = el(EBML, uel(EBMLVersion, 1)) + el(Void, "xx");
    device.openBuffer(file);
    EXPECT_EQ(p.parseFile(QStringLiteral("/media/clips/clip.mkv"), &device, &tree), 0);
    EXPECT_EQ(tree.begins, 1);
    EXPECT_EQ(tree.ends, 1);
    EXPECT_EQ(tree.name, "clip.mkv");
    EXPECT_EQ(tree.fileSize, quint64(file.size()));
    ASSERT_EQ(tree.roots.size(), 2u);
    EXPECT_EQ(tree.openNodes(), 0);
}

TEST(HostDriver, EmptyInputHasNoElements)
{
    Probe p;
    EXPECT_EQ(p.walkFile(QByteArray()), 0);
    EXPECT_TRUE(p.tree.roots.empty());
    EXPECT_EQ(p.tree.strayCalls, 0);
}

TEST(HostDriver, WalkWithoutSinkIsQuiet)
{
    Probe p;
    InputDevice device;
    device.openBuffer(el(Segment, tracks({{1, 1}}) +
                                      el(Cluster, el(SimpleBlock, bytes({0x81, 0, 0, 0x80, 1})))));
    EXPECT_EQ(p.parseFile(QStringLiteral("x.mkv"), &device, nullptr), 0);
    EXPECT_EQ(p.videoTracks, QVector<quint64>{1});
    EXPECT_EQ(p.frameCounters.value(0), 1u) << "the frame was counted all the same";
}

// A parser keeps its track tables for its whole life: a second walk
// continues from the first one's.
TEST(HostDriver, SecondWalkContinuesFromTheFirstWalksTracks)
{
    auto cluster = [](int track) {
        return el(Cluster, el(SimpleBlock, bytes({0x80 | track, 0, 0, 0x80, 0x11})));
    };
    Probe p;
    p.walkFile(el(Segment, tracks({{1, 1}, {2, 2}}) + cluster(1)));
    p.tree.clear();
    p.walkFile(el(Segment, tracks({{2, 1}}) + cluster(2)));
    EXPECT_EQ(p.trackTypes, (QHash<quint64, quint64>{{1, 1}, {2, 1}}));
    EXPECT_EQ(p.videoTracks, (QVector<quint64>{1, 2}));
    // Track 2 is the second video track the parser has seen.
    ASSERT_EQ(p.tree.frames.size(), 1);
    EXPECT_EQ(p.tree.frames[0].stream, 1u);
    EXPECT_EQ(p.tree.frames[0].number, 0u);
}

} // namespace
