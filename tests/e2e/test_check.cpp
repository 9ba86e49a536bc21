// --check on whole files: clean samples, the command line, the output.
#include "check_support.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

// No sample that independent muxers wrote has an error.
TEST(Check, CleanSamplesHaveNoErrors)
{
    for (const QString &name : e2e::sampleNames()) {
        SCOPED_TRACE(name.toStdString());
        const checks::Result r = checks::check(e2e::samplePath(name));
        EXPECT_EQ(r.exitCode, 0) << r.out.constData();
        EXPECT_EQ(r.errors, 0);
    }
}

// Many files on several threads (run under ThreadSanitizer in CI): the
// summaries come in the order of the arguments whatever
// finishes first, a file that cannot be read fails the run, and bad
// invocations exit with 2.
TEST(Threads, CheckOfManyFilesKeepsTheirOrder)
{
    QStringList files;
    for (const QString &name : e2e::sampleNames())
        files << e2e::samplePath(name);
    files.insert(3, e2e::samplePath(QStringLiteral("no-such.mkv")));
    const e2e::ToolResult r = e2e::inspect(QStringList {"--check", "-j", "3"} + files);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no-such.mkv")) << r.err.constData();
    QStringList summaries;
    const QRegularExpression summary(QStringLiteral("^(.*): \\d+ errors?, \\d+ warnings?"));
    for (const QString &line : QString::fromUtf8(r.out).split('\n'))
        if (const auto m = summary.match(line); m.hasMatch())
            summaries << m.captured(1);
    files.removeAt(3);
    EXPECT_EQ(summaries, files);

    for (const QStringList &bad :
         {QStringList {"--check", "-j", "0", files[0]}, QStringList {"-j", "2", files[0]},
          QStringList {"--check", "--frames", files[0]}}) {
        const e2e::ToolResult b = e2e::inspect(bad);
        EXPECT_EQ(b.exitCode, 2) << bad.join(' ').toStdString();
    }
}
