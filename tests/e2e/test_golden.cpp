// Whole outputs of vantorel-inspect, against files in tests/e2e/golden/ that
// a person has read. After a deliberate change of an output,
//   VANTOREL_GOLDEN_UPDATE=1 build/bin/e2e-tests --gtest_filter='Golden.*'
// writes them anew: read the diff before committing it.
#include "e2e_support.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Golden, WholeOutputs)
{
    QTemporaryDir dir;
    const QString cut = dir.filePath(QStringLiteral("cut.webm"));
    ASSERT_TRUE(e2e::writeFile(cut, e2e::readFile(e2e::samplePath("clip.webm")).left(20000)));
    const struct
    {
        const char *golden;
        QStringList arguments;
    } cases[] = {
        {"clip.txt", {e2e::samplePath("clip.webm")}},        // the text tree
        {"cut.txt", {cut}},                                  // elements past the end
        {"h264-aac.txt", {e2e::samplePath("h264-aac.mkv")}}, // CRC-32 verdicts
        {"two-video.csv", {"--frames", e2e::samplePath("two-video.mkv")}},
    };
    const bool update = qEnvironmentVariableIsSet("VANTOREL_GOLDEN_UPDATE");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.golden);
        const e2e::ToolResult r = e2e::inspect(c.arguments);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QString path = QStringLiteral(GOLDEN_DIR "/") + QLatin1String(c.golden);
        if (update) {
            ASSERT_TRUE(e2e::writeFile(path, r.out));
        }
        const QByteArray golden = e2e::readFile(path);
        ASSERT_FALSE(golden.isEmpty()) << "no golden file; see the top of this file";
        // The first line that differs, for a readable failure.
        const QList<QByteArray> got = r.out.split('\n'), want = golden.split('\n');
        for (qsizetype i = 0; i < qMax(got.size(), want.size()); ++i)
            ASSERT_EQ(got.value(i).toStdString(), want.value(i).toStdString()) << "line " << i + 1;
    }
}
