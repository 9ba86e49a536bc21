// Parsers on several threads at once give the trees they give one after the
// other. Each test runs in a process of its own, so these walks are also the
// first calls of the block and track handlers, which create shared texts.
#include "containermkv.h"
#include "elementtree.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const char *const Files[] = {"clip.webm", "laced-audio.mkv", "two-video.mkv", "subs-chapters.mkv"};

QString samplePath(const char *name)
{
    return QDir(QStringLiteral(SAMPLES_DIR)).filePath(QString::fromLatin1(name));
}

void walk(const QString &path, ElementTree *tree)
{
    ContainerMKV parser;
    InputDevice device;
    ASSERT_TRUE(device.openFile(path));
    parser.parseFile(path, &device, tree);
}

bool sameRows(const ElementRow &a, const ElementRow &b)
{
    return a.offset == b.offset && a.length == b.length && a.name == b.name && a.value == b.value
        && a.meaning == b.meaning;
}

bool sameNode(const ElementNode &a, const ElementNode &b)
{
    if (a.offset != b.offset || a.size != b.size || a.name != b.name || a.status != b.status
        || a.annotation != b.annotation || a.rows.size() != b.rows.size()
        || a.children.size() != b.children.size())
        return false;
    for (qsizetype i = 0; i < a.rows.size(); ++i)
        if (!sameRows(a.rows[i], b.rows[i]))
            return false;
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!sameNode(a.children[i], b.children[i]))
            return false;
    return true;
}

bool sameTree(const ElementTree &a, const ElementTree &b)
{
    if (a.roots.size() != b.roots.size() || a.frames.size() != b.frames.size())
        return false;
    for (size_t i = 0; i < a.roots.size(); ++i)
        if (!sameNode(a.roots[i], b.roots[i]))
            return false;
    for (qsizetype i = 0; i < a.frames.size(); ++i) {
        const FrameRecord &x = a.frames[i];
        const FrameRecord &y = b.frames[i];
        if (x.stream != y.stream || x.number != y.number || x.offset != y.offset || x.size != y.size
            || x.keyframe != y.keyframe)
            return false;
    }
    return true;
}

} // namespace

TEST(Threads, ParsersOnFourThreadsAtOnceGiveTheSequentialTrees)
{
    constexpr size_t count = sizeof Files / sizeof Files[0];
    std::vector<ElementTree> together(count);
    std::atomic<int> ready {0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            // Start together, so the first calls meet.
            ++ready;
            while (ready.load() < int(count))
                std::this_thread::yield();
            walk(samplePath(Files[i]), &together[i]);
        });
    }
    for (std::thread &t : threads)
        t.join();

    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(Files[i]);
        ElementTree alone;
        walk(samplePath(Files[i]), &alone);
        ASSERT_FALSE(alone.roots.empty());
        EXPECT_FALSE(alone.frames.isEmpty());
        EXPECT_TRUE(sameTree(alone, together[i]));
    }
}

TEST(Threads, TwoParsersOnTheSameFileAtOnceAgree)
{
    ElementTree first, second;
    std::thread a([&] { walk(samplePath("laced-audio.mkv"), &first); });
    std::thread b([&] { walk(samplePath("laced-audio.mkv"), &second); });
    a.join();
    b.join();
    EXPECT_TRUE(sameTree(first, second));
}
