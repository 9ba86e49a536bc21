// Parsers on several threads at once give the trees they give one after the
// other; run alone (the thread sanitizer build does), these walks are also
// the first calls of the handlers that create shared texts.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A walk as text: what two walks of a file must agree on.
QString dump(const QString &name)
{
    const auto walk = e2e::walkFile(e2e::samplePath(name));
    QString s;
    e2e::forEachNode(walk->tree.roots, [&](const ElementNode &n, int depth) {
        s += QStringLiteral("%1 %2 @%3+%4 %5 %6\n")
                 .arg(depth)
                 .arg(n.name)
                 .arg(n.offset)
                 .arg(n.size)
                 .arg(n.status)
                 .arg(n.annotation);
        for (const ElementRow &r : n.rows)
            s += QStringLiteral(" %1=%2 (%3) @%4+%5\n")
                     .arg(r.name, r.value, r.meaning)
                     .arg(r.offset)
                     .arg(r.length);
    });
    for (const FrameRecord &f : walk->tree.frames)
        s += QStringLiteral("frame %1.%2 @%3+%4 %5\n")
                 .arg(f.stream)
                 .arg(f.number)
                 .arg(f.offset)
                 .arg(f.size)
                 .arg(f.keyframe);
    return s;
}

} // namespace

// Four files and one of them twice, on five threads that start together.
TEST(Threads, ParsersAtOnceGiveTheSequentialTrees)
{
    const QStringList files
        = {"clip.webm", "laced-audio.mkv", "two-video.mkv", "subs-chapters.mkv", "laced-audio.mkv"};
    std::vector<QString> together(size_t(files.size()));
    std::atomic<int> ready {0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < together.size(); ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < int(together.size()))
                std::this_thread::yield();
            together[i] = dump(files[qsizetype(i)]);
        });
    }
    for (std::thread &t : threads)
        t.join();
    for (size_t i = 0; i < together.size(); ++i) {
        const QString alone = dump(files[qsizetype(i)]);
        EXPECT_TRUE(alone.contains(QLatin1String("\nframe ")));
        EXPECT_EQ(together[i], alone) << files[qsizetype(i)].toStdString();
    }
}
