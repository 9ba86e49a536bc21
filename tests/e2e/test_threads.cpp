// Parsers on several threads at once give the trees they give one after the
// other; run alone (the thread sanitizer build does), these walks are also
// the first calls of the handlers that create shared texts.
#include "e2e_support.h"

#include <atomic>
#include <thread>

namespace {

QString dump(const QString &name)
{
    return golden::text(e2e::walkFile(e2e::samplePath(name))->tree);
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
        EXPECT_TRUE(alone.contains(QLatin1String("\nframes ")));
        EXPECT_EQ(together[i], alone) << files[qsizetype(i)].toStdString();
    }
}
