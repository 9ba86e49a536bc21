// vantorel-inspect's progress line.
#include "e2e_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using e2e::inspect;

// A progress line shows on a terminal for files over 64 MiB, never in a pipe,
// and not with --quiet; it is cleared before the inspector ends.
TEST(InspectFrames, ProgressOnlyOnATerminal)
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        GTEST_SKIP() << "script(1) is not there to give the inspector a terminal";
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.mkv"));
    // 4 million small blocks, 110 MiB: a walk long enough to draw the line.
    ASSERT_EQ(e2e::runTool(QStringLiteral(SYNTH_PATH),
                           {QStringLiteral("blocks"), big, QStringLiteral("4000000")})
                  .exitCode,
              0);
    const QString command
        = QStringLiteral("'%1' --frames %2 '%3' > /dev/null").arg(QStringLiteral(INSPECT_PATH));
    const e2e::ToolResult terminal = e2e::runTool(
        script, {QStringLiteral("-qc"), command.arg(QString(), big), QStringLiteral("/dev/null")});
    EXPECT_TRUE(terminal.out.contains(" MiB of 110.7 MiB (")) << terminal.out.toStdString();
    EXPECT_TRUE(terminal.out.contains("s left"));
    EXPECT_TRUE(terminal.out.trimmed().endsWith("\r\x1b[K")) << "the line is cleared at the end";

    const e2e::ToolResult quiet
        = e2e::runTool(script,
                       {QStringLiteral("-qc"), command.arg(QStringLiteral("--quiet"), big),
                        QStringLiteral("/dev/null")});
    EXPECT_FALSE(quiet.out.contains(" left"));
    const e2e::ToolResult pipe = inspect({QStringLiteral("--frames"), big});
    EXPECT_EQ(pipe.exitCode, 0);
    EXPECT_FALSE(pipe.err.contains(" left"));
}
