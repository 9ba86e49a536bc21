// SPDX-License-Identifier: MIT
// vantorel-inspect run as a separate process, on the samples and on files
// made from them, each run held against tests/e2e/golden/runs.txt and the
// golden files it names (see golden.h and the top of runs.txt).
#include "e2e_support.h"
#include "golden.h"

#include <QTemporaryDir>

#include <functional>

#include <sys/stat.h>

namespace {

// Makes the inputs in dir. odd.webm is clip.webm with same-length texts that
// terminals, HTML and the report's lines must escape: the muxing and writing
// applications and the encoders' tags. cut.webm is odd.webm cut short;
// flipped.mkv is h264-aac.mkv with one byte of its first Cluster's last block
// changed, under that Cluster's CRC-32. two.mkv is two samples one after the
// other. skewed.webm is clip.webm with a Segment of unknown size, the last
// SeekPosition one byte past its Seek and the Void after them of an ID that
// no schema has.
void makeInputs(const QDir &dir)
{
    QByteArray odd = e2e::readFile(e2e::samplePath("clip.webm"));
    for (const auto &[text, replacement] : {std::pair {"Lavf", "\xc2\x9b\x7fx"},
                                            {"Lavf", "\xe2\x80\xaey"},
                                            {"Lavc libvpx", "</script>\t^"},
                                            {"Lavc libvorbis", "\xf0\x9f\x98\x80 ^\\\n< vorb"}}) {
        const qsizetype at = odd.indexOf(text);
        ASSERT_TRUE(at > 0 && qstrlen(text) == qstrlen(replacement)) << text;
        odd.replace(at, qsizetype(qstrlen(text)), replacement);
    }
    // The first Cluster's last byte is the one before the second Cluster's ID.
    QByteArray flipped = e2e::readFile(e2e::samplePath("h264-aac.mkv"));
    const qsizetype flip
        = flipped.indexOf("\x1f\x43\xb6\x75", flipped.indexOf("\x1f\x43\xb6\x75") + 4) - 1;
    ASSERT_GT(flip, 0);
    flipped[flip] = char(flipped[flip] ^ 0x10);
    QByteArray skewed = e2e::readFile(e2e::samplePath("clip.webm"));
    ASSERT_EQ(skewed.mid(106, 6).toHex(), "53ac828314ec");
    skewed.replace(40, 8, QByteArray::fromHex("01ffffffffffffff"));
    skewed[108] = '\x83';
    skewed[111] = '\xc2';
    ASSERT_TRUE(e2e::writeFile(dir.filePath("odd.webm"), odd)
                && e2e::writeFile(dir.filePath("cut.webm"), odd.left(20000))
                && e2e::writeFile(dir.filePath("flagless.webm"), odd.left(4040))
                && e2e::writeFile(dir.filePath("flipped.mkv"), flipped)
                && e2e::writeFile(dir.filePath("skewed.webm"), skewed)
                && e2e::writeFile(dir.filePath("two.mkv"),
                                  e2e::readFile(e2e::samplePath("subs-chapters.mkv"))
                                      + e2e::readFile(e2e::samplePath("vp9-opus.webm")))
                && e2e::writeFile(dir.filePath("clip.mp4"), odd) && dir.mkpath("folder.mkv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo.mkv")).constData(), 0600), 0);
    // A CodecPrivate of 2^30 bytes, sparse.
    QFile huge(dir.filePath("huge.mkv"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly)
                && huge.write(QByteArray::fromHex("63a2010000004"
                                                  "0000000"))
                && huge.resize(10 + (qint64(1) << 30)));
    // Past the report's 32 MiB budget: 9000 blocks of 5000 bytes, or one block
    // of 40 MB under a hex limit above the budget.
    for (const auto &[name, count, size] :
         {std::tuple {"blocks.mkv", "9000", "5000"}, {"one.mkv", "1", "40000000"}})
        ASSERT_EQ(e2e::runTool(SYNTH_PATH, {"blocks", dir.filePath(name), count, size}).exitCode,
                  0);
}

// The scripts of a report that hold data, each after a line naming its type.
QByteArray reportData(const QByteArray &html, bool summaryOnly)
{
    QByteArray out;
    const QByteArray open = "<script type=\"";
    for (qsizetype at = html.indexOf(open); at >= 0; at = at < 0 ? at : html.indexOf(open, at)) {
        const qsizetype type = at + open.size(), start = html.indexOf('>', at) + 1;
        const QByteArray name = html.mid(type, html.indexOf('"', type) - type);
        at = html.indexOf("</script>", start);
        if (name == "application/json" || (!summaryOnly && name.startsWith("text/x-vantorel-")))
            out += "-- " + name + '\n' + html.mid(start, at - start) + '\n';
    }
    return out;
}

// Runs one command of runs.txt, appending its exit status, standard error
// and output (or, with a golden file, checking that file) to runs.
void run(const QString &command, const QString &golden, const QString &dir,
         const std::function<QString(const QByteArray &)> &shown, QString *runs)
{
    const bool count = command.endsWith(" | wc -c");
    const QString grep = command.section(" | grep ", 1); // keeps the lines holding it
    const QStringList arguments = command.section(" > ", 0, 0)
                                      .section(" | ", 0, 0)
                                      .mid(18)
                                      .replace("$T", dir)
                                      .replace("$S", SAMPLES_DIR)
                                      .split(' ', Qt::SkipEmptyParts);
    const e2e::ToolResult r = e2e::inspect(arguments);
    ASSERT_TRUE(r.finished);
    *runs += "exit " + QString::number(r.exitCode) + '\n' + shown(r.err);
    QByteArray out = r.out;
    if (arguments.value(0) == "--html" && r.exitCode == 0) {
        const QByteArray html = e2e::readFile(arguments[1]);
        EXPECT_TRUE(html.startsWith("<!DOCTYPE html>") && html.endsWith("</html>\n"));
        EXPECT_TRUE(r.out.isEmpty()) << "--html replaces the printed tree";
        out = reportData(html, golden.isEmpty());
    }
    if (!grep.isEmpty()) {
        QByteArrayList kept = out.split('\n');
        kept.removeIf([&](const QByteArray &l) { return !l.contains(grep.toUtf8()); });
        out = kept.join('\n') + '\n';
    }
    if (!golden.isEmpty())
        golden::expect(golden, out);
    else
        *runs += count ? QString::number(out.size()) + '\n' : shown(out);
}

} // namespace

// The commands of runs.txt, run again: their outputs make the file anew.
TEST(Golden, EveryRunAsTheGoldenFilesHaveIt)
{
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(makeInputs(dir.path()));
    const auto shown = [&](const QByteArray &text) {
        return QString::fromUtf8(text)
            .replace(dir.path(), "$T")
            .replace(SAMPLES_DIR, "$S")
            .replace(INSPECT_PATH, "vantorel-inspect");
    };
    QString runs, previous;
    for (const QString &line :
         QString::fromUtf8(e2e::readFile(GOLDEN_DIR "/runs.txt")).split('\n')) {
        if (line.startsWith('#') || (line.isEmpty() && previous.startsWith('#')))
            runs += line + '\n';
        previous = line;
        if (!line.startsWith("$ vantorel-inspect"))
            continue;
        runs += line + '\n';
        // "[--classic]" runs the command in both readings: today's Matroska
        // first, its golden file named NAME-modern.EXT, then the classic one.
        const bool twin = line.contains(" [--classic]");
        for (const bool classic : {false, true}) {
            if (classic && !twin)
                break;
            QString command = line;
            command.replace(" [--classic]", classic ? " --classic" : "");
            QString golden = command.section(" > ", 1);
            if (twin && !classic && !golden.isEmpty())
                golden.insert(golden.lastIndexOf('.'), "-modern");
            SCOPED_TRACE(command.toStdString());
            runs += classic ? "--classic:\n" : "";
            run(command, golden, dir.path(), shown, &runs);
        }
        runs += '\n';
    }
    ASSERT_TRUE(runs.contains("$ vantorel-inspect")) << "no commands in runs.txt";
    EXPECT_FALSE(QFile::exists(dir.filePath("x.html"))) << "a refused invocation leaves no report";
    golden::expect("runs.txt", runs.toUtf8());
}
