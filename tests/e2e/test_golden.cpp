// vantorel-inspect run as a separate process, each run held against golden
// files in tests/e2e/golden/ (see golden.h): runs.txt has every run's
// command, exit status and standard error, and the standard output of runs
// that have no file of their own. Paths show as $S (the samples) and $T (the
// files this test makes). Of an HTML report the golden file has what the page
// embeds: its meta, summary, node and frame lines; "summary" keeps only the
// first two, for reports too large to read.
#include "e2e_support.h"
#include "golden.h"

#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

// Makes the inputs in dir. odd.webm is clip.webm with same-length texts that
// terminals, HTML and the report's lines must escape: the muxing and writing
// applications and the encoders' tags. cut.webm is odd.webm cut short;
// flipped.mkv is h264-aac.mkv with one byte of its first Cluster's last block
// changed, under that Cluster's CRC-32.
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
    QByteArray flipped = e2e::readFile(e2e::samplePath("h264-aac.mkv"));
    const auto walk = e2e::walkFile(e2e::samplePath("h264-aac.mkv"));
    const ElementNode *cluster = walk->tree.roots.at(1).child("Cluster");
    ASSERT_TRUE(cluster && cluster->children.at(0).name == "CRC-32");
    const qsizetype flip = qsizetype(cluster->offset + cluster->size - 1);
    flipped[flip] = char(flipped[flip] ^ 0x10);
    ASSERT_TRUE(e2e::writeFile(dir.filePath("odd.webm"), odd)
                && e2e::writeFile(dir.filePath("cut.webm"), odd.left(20000))
                && e2e::writeFile(dir.filePath("flagless.webm"), odd.left(4040))
                && e2e::writeFile(dir.filePath("flipped.mkv"), flipped)
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
    for (qsizetype at = html.indexOf(open); at >= 0; at = html.indexOf(open, at)) {
        const qsizetype type = at + open.size(), start = html.indexOf('>', at) + 1;
        const QByteArray name = html.mid(type, html.indexOf('"', type) - type);
        at = html.indexOf("</script>", start);
        if (name == "application/json" || (!summaryOnly && name.startsWith("text/x-vantorel-")))
            out += "-- " + name + '\n' + html.mid(start, at - start) + '\n';
    }
    return out;
}

} // namespace

TEST(Golden, EveryRunAsTheGoldenFilesHaveIt)
{
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(makeInputs(dir.path()));
    const struct
    {
        const char *golden; // nullptr: the output is in runs.txt; "-": only its size
        QString arguments;
    } cases[] = {
        {"odd.txt", "$T/odd.webm"},
        {"cut.txt", "$T/cut.webm"}, // elements past the end
        {"flagless.txt", "$T/flagless.webm"},
        {"cut.json", "--json $T/cut.webm"},
        {"h264-aac.txt", "$S/h264-aac.mkv"}, // CRC-32 verdicts
        {"flipped.txt", "$T/flipped.mkv"},
        {"-", "--no-crc $T/flipped.mkv"},
        {"options.txt", "--base 16 --binary-limit 4 --show-junk --hide-unknown $S/vp9-opus.webm"},
        {"two-video.csv", "--frames $S/two-video.mkv"},
        {"-", "--json --binary-limit 18446744073709551615 $T/huge.mkv"},
        {"odd.html", "--html $T/r.html --html-max-nodes 40 --html-hex-limit 8 $T/odd.webm"},
        {"cut.html", "--html $T/r.html $T/cut.webm"},
        {"h264-aac.html", "--html $T/r.html --html-hex-limit 8 $S/h264-aac.mkv"},
        {"summary", "--html $T/r.html $T/odd.webm"},
        {"summary", "--html $T/r.html $T/blocks.mkv"},
        {"summary", "--html $T/r.html --html-hex-limit 100000000 $T/one.mkv"},
        {nullptr, "--help"},
        {nullptr, "--version"},
        // Bad invocations and files the plug-in does not take (.mkv and
        // .webm names only) or that are no file to read, refused at once.
        {nullptr, ""},
        {nullptr, "--no-such-option $S/clip.webm"},
        {nullptr, "--base 1 $S/clip.webm"},
        {nullptr, "--base 37 $S/clip.webm"},
        {nullptr, "--base ten $S/clip.webm"},
        {nullptr, "--binary-limit -1 $S/clip.webm"},
        {nullptr, "--json --base"},
        {nullptr, "$S/clip.webm $S/clip.webm"},
        {nullptr, "$T/missing.mkv"},
        {nullptr, "$T/clip.mp4"},
        {nullptr, "--json $T/clip.mp4"},
        {nullptr, "$T/folder.mkv"},
        {nullptr, "$T/fifo.mkv"},
        {nullptr, "--plugin-dir $T $S/clip.webm"},
        {nullptr, "--plugin-dir $T/nowhere $S/clip.webm"},
        {nullptr, "--html $T/x.html --json $S/clip.webm"},
        {nullptr, "--html $T/x.html --frames $S/clip.webm"},
        {nullptr, "--html $T/x.html --html-hex-limit lots $S/clip.webm"},
        {nullptr, "--html $T/x.html --html-max-nodes -1 $S/clip.webm"},
        {nullptr, "--html $T/no/such/dir.html $S/clip.webm"},
        {nullptr, "--html $T/x.html $T/missing.webm"},
        {nullptr, "--html $S/clip.webm $S/clip.webm"}, // the report would overwrite its input
    };
    const auto shown = [&](QString text) {
        return text.replace(dir.path(), "$T")
            .replace(SAMPLES_DIR, "$S")
            .replace(INSPECT_PATH, "vantorel-inspect");
    };
    QString runs;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.toStdString());
        const QString arguments
            = QString(c.arguments).replace("$T", dir.path()).replace("$S", SAMPLES_DIR);
        const e2e::ToolResult r = e2e::inspect(arguments.split(' ', Qt::SkipEmptyParts));
        ASSERT_TRUE(r.finished);
        runs += "$ vantorel-inspect " + c.arguments + "\nexit " + QString::number(r.exitCode) + '\n'
            + shown(QString::fromUtf8(r.err));
        const QString golden = QString::fromLatin1(c.golden);
        if (!c.golden) {
            runs += shown(QString::fromUtf8(r.out));
        } else if (golden == "-") {
            runs += QStringLiteral("(%1 bytes on stdout)\n").arg(r.out.size());
        } else if (c.arguments.startsWith("--html")) {
            // Whole; that it fetches nothing is for the browser test to show.
            const QByteArray html = e2e::readFile(dir.filePath("r.html"));
            EXPECT_TRUE(html.startsWith("<!DOCTYPE html>") && html.endsWith("</html>\n"));
            EXPECT_TRUE(r.out.isEmpty()) << "--html replaces the printed tree";
            if (golden == "summary")
                runs += reportData(html, true);
            else
                golden::expect(golden, reportData(html, false));
        } else {
            golden::expect(golden, r.out);
        }
        runs += '\n';
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x.html"))) << "a refused invocation leaves no report";
    golden::expect("runs.txt", runs.toUtf8());
}
