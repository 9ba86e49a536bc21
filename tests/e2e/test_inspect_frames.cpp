// vantorel-inspect's frame list and progress line.
#include "e2e_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using e2e::inspect;

// The CSV holds the frames of the JSON document, line for line.
TEST(InspectFrames, CsvListsTheRegisteredFrames)
{
    for (const QString &name : {QStringLiteral("clip.webm"), QStringLiteral("two-video.mkv")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = e2e::samplePath(name);
        const e2e::ToolResult csv = inspect({QStringLiteral("--frames"), path});
        const e2e::ToolResult json = inspect({QStringLiteral("--json"), path});
        ASSERT_EQ(csv.exitCode, 0);
        QStringList lines = QString::fromUtf8(csv.out).split('\n');
        ASSERT_EQ(lines.takeFirst(), QStringLiteral("stream,number,offset,size,keyframe"));
        ASSERT_EQ(lines.takeLast(), QString());
        const QJsonArray frames
            = QJsonDocument::fromJson(json.out).object().value("frames").toArray();
        ASSERT_FALSE(frames.isEmpty());
        ASSERT_EQ(lines.size(), frames.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QJsonObject f = frames[i].toObject();
            EXPECT_EQ(lines[i],
                      QStringLiteral("%1,%2,%3,%4,%5")
                          .arg(f.value("stream").toInteger())
                          .arg(f.value("number").toInteger())
                          .arg(f.value("offset").toInteger())
                          .arg(f.value("size").toInteger())
                          .arg(f.value("keyframe").toBool() ? 1 : 0));
        }
    }
}

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
