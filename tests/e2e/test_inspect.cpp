// SPDX-License-Identifier: MIT
// vantorel-inspect where a run needs more than arguments: a file name made
// to attack a terminal, a report that cannot be written whole, and a
// terminal for the progress line.
#include "e2e_support.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

QString clipPath()
{
    return e2e::samplePath(QStringLiteral("clip.webm"));
}

// A name that sets a terminal's title, splits the header line and is not
// valid UTF-8 is opened as given and reaches stdout and stderr escaped (the
// file is cut short, for the message about its end).
TEST(Inspect, EscapesTheFileNameOnTheTerminal)
{
    QTemporaryDir dir;
    const QByteArray name = "a\x1b]0;owned\x07\nb\xff.webm";
    const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
    const QByteArray cut = e2e::readFile(clipPath()).left(20000);
    std::FILE *file = std::fopen(path.constData(), "wb");
    ASSERT_TRUE(file && std::fwrite(cut.constData(), 1, size_t(cut.size()), file) == 20000);
    std::fclose(file);
    const QByteArray command = "cd '" + QFile::encodeName(dir.path())
        + "' && '" INSPECT_PATH "' \"$(printf 'a\\033]0;owned\\007\\nb\\377.webm')\" >out 2>err";
    ASSERT_EQ(std::system(command.constData()), 0);
    const QByteArray out = e2e::readFile(dir.filePath(QStringLiteral("out")));
    const QByteArray err = e2e::readFile(dir.filePath(QStringLiteral("err")));
    EXPECT_TRUE(out.startsWith("a\\x1b]0;owned\\x07\\nb\xef\xbf\xbd.webm, 20000 bytes\n"))
        << out.left(80).toStdString();
    EXPECT_TRUE(err.contains("vantorel-inspect: a\\x1b]0;owned\\x07\\nb")) << err.toStdString();
    for (const QByteArray &text : {out, err}) {
        for (const char *raw : {"\x1b", "\x07"})
            EXPECT_FALSE(text.contains(raw)) << text.toStdString();
    }
}

// A report that cannot be written whole (the file size limit) leaves the old
// one as it was, and no part of the new one beside it.
TEST(Inspect, KeepsTheOldReportWhenTheNewOneCannotBeWritten)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("x.html");
    ASSERT_TRUE(e2e::writeFile(out, "old"));
    const QString limited
        = QStringLiteral("trap '' XFSZ; ulimit -f 16; exec '%1' --html '%2' '%3'");
    const e2e::ToolResult cut
        = e2e::runTool("sh", {"-c", limited.arg(INSPECT_PATH, out, clipPath())});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.err.contains("cannot write the output")) << cut.err.toStdString();
    EXPECT_EQ(e2e::readFile(out), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"x.html"});
}

// A progress line shows on a terminal for files over 64 MiB, never in a pipe,
// and not with --quiet; it is cleared before the inspector ends.
TEST(Inspect, ProgressOnlyOnATerminal)
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        GTEST_SKIP() << "script(1) is not there to give the inspector a terminal";
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.mkv"));
    // 4 million small blocks, 110 MiB: a walk long enough to draw the line.
    ASSERT_EQ(e2e::runTool(SYNTH_PATH, {"blocks", big, "4000000"}).exitCode, 0);
    const QString command
        = QStringLiteral("'%1' --frames %2 '%3' > /dev/null").arg(QStringLiteral(INSPECT_PATH));
    const e2e::ToolResult terminal = e2e::runTool(
        script, {QStringLiteral("-qc"), command.arg(QString(), big), QStringLiteral("/dev/null")});
    EXPECT_TRUE(terminal.out.contains(" MiB of 110.7 MiB (")) << terminal.out.toStdString();
    EXPECT_TRUE(terminal.out.contains("s left"));
    EXPECT_TRUE(terminal.out.trimmed().endsWith("\r\x1b[K")) << "the line is cleared at the end";

    const e2e::ToolResult quiet = e2e::runTool(
        script, {QStringLiteral("-qc"), command.arg("--quiet", big), QStringLiteral("/dev/null")});
    EXPECT_FALSE(quiet.out.contains(" left"));
    const e2e::ToolResult pipe = e2e::inspect({QStringLiteral("--frames"), big});
    EXPECT_FALSE(pipe.err.contains(" left"));
}

} // namespace

// The README's table of options is the one the options table gives, which
// --help and the man page read too.
TEST(Inspect, ReadmeTableOfOptionsIsTheProgramsOwn)
{
    const e2e::ToolResult docs = e2e::runTool(QStringLiteral(DOCS_PATH), {"--readme"});
    ASSERT_EQ(docs.exitCode, 0);
    const QByteArray readme = e2e::readFile(QStringLiteral(README_PATH));
    const qsizetype at = readme.indexOf("| option | effect |\n");
    ASSERT_GE(at, 0);
    EXPECT_EQ(readme.mid(at, readme.indexOf("\n\n", at) + 1 - at).toStdString(),
              docs.out.toStdString())
        << "after a change of inspect/options.cpp, put the output of "
           "vantorel-inspect-docs --readme in the README";
    const e2e::ToolResult man = e2e::runTool(QStringLiteral(DOCS_PATH), {"--man"});
    const e2e::ToolResult help = e2e::inspect({"--help"});
    for (const char *option : {"--check", "--jobs", "--element", "--color", "--crc"}) {
        EXPECT_TRUE(help.out.contains(option)) << option;
        EXPECT_TRUE(man.out.contains(QByteArray(option).replace("-", "\\-"))) << option;
    }
}
