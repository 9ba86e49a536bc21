// SPDX-License-Identifier: MIT
// --check on whole files: clean samples, the command line, the output.
#include "check_support.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

// The samples that independent muxers wrote have nothing any check would
// tell, warnings included.
TEST(Check, CleanSamplesHaveNoFindings)
{
    for (const QString &name : e2e::sampleNames()) {
        SCOPED_TRACE(name.toStdString());
        const checks::Result r = checks::check(e2e::samplePath(name));
        EXPECT_EQ(r.exitCode, 0) << r.out.constData();
        EXPECT_TRUE(r.findings.empty()) << r.out.constData();
    }
}

// Many files on several threads (CI also runs this under ThreadSanitizer,
// outside the test, which forks): one record per argument, in the order of
// the arguments whatever finishes first, also for a file that cannot be
// checked (missing, a directory, text under any name); such a file fails
// the run, and bad invocations exit with 2.
TEST(Check, ManyFilesKeepTheirOrder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile text(dir.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("hello\n") == 6);
    text.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.mkv")));
    QStringList files;
    for (const QString &name : e2e::sampleNames())
        files << e2e::samplePath(name);
    const QStringList unchecked = {e2e::samplePath(QStringLiteral("no-such.mkv")),
                                   dir.filePath(QStringLiteral("folder.mkv")), text.fileName()};
    for (int k = 0; k < unchecked.size(); ++k)
        files.insert(1 + 3 * k, unchecked[k]);
    for (const bool json : {false, true}) {
        const e2e::ToolResult r
            = e2e::inspect(QStringList {"--check", "-j", "3"}
                           + (json ? QStringList {"--json"} : QStringList {}) + files);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("no-such.mkv")) << r.err.constData();
        QStringList records, failed;
        const QRegularExpression summary(
            QStringLiteral("^(.*): (\\d+ errors?, \\d+ warnings?|not checked: )"));
        for (const QByteArray &line : r.out.split('\n')) {
            if (json && !line.isEmpty()) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                records << o.value("file").toString();
                if (o.contains("error"))
                    failed << o.value("file").toString();
            } else if (const auto m = summary.match(QString::fromUtf8(line)); m.hasMatch()) {
                records << m.captured(1);
                if (m.captured(2).startsWith("not"))
                    failed << m.captured(1);
            }
        }
        EXPECT_EQ(records, files) << r.out.constData();
        EXPECT_EQ(failed, unchecked) << r.out.constData();
    }

    for (const QStringList &bad :
         {QStringList {"--check", "-j", "0", files[0]}, QStringList {"-j", "2", files[0]},
          QStringList {"--check", "--frames", files[0]}}) {
        const e2e::ToolResult b = e2e::inspect(bad);
        EXPECT_EQ(b.exitCode, 2) << bad.join(' ').toStdString();
    }
}

// Today's Matroska takes a file by its content, whatever its name: an EBML
// header of DocType matroska or webm. The classic walk keeps to the .mkv and
// .webm suffixes, whatever the file holds.
TEST(Check, FilesGoByTheirContent)
{
    QTemporaryDir dir;
    const QByteArray clip = e2e::readFile(e2e::samplePath(QStringLiteral("clip.webm")));
    const QByteArray mkv = e2e::readFile(e2e::samplePath(QStringLiteral("h264-aac.mkv")));
    const struct
    {
        const char *name;
        QStringList mkvmerge; // makes it, else it has bytes
        QByteArray bytes;
        const char *refusal;
    } files[] = {
        {"audio.mka", {"--no-video", e2e::samplePath("clip.webm")}, {}, nullptr},
        {"subtitles.mks",
         {"--no-video", "--no-audio", e2e::samplePath("subs-chapters.mkv")},
         {},
         nullptr},
        {"no-suffix", {}, clip, nullptr},
        {"h264.mkv.part", {}, mkv, nullptr},
        {"notes.mkv",
         {},
         "Not a video at all, only a few lines of notes.\n",
         "not a Matroska or WebM file: it does not begin with an EBML header"},
        {"matroxka.mkv",
         {},
         QByteArray(mkv).replace("matroska", "matroxka"),
         "not a Matroska or WebM file: its DocType is \"matroxka\""},
    };
    QStringList paths;
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        const QString path = dir.filePath(QString::fromLatin1(f.name));
        if (f.mkvmerge.isEmpty())
            ASSERT_TRUE(e2e::writeFile(path, f.bytes));
        else // mkvmerge exits with 1 on warnings
            ASSERT_LE(
                e2e::runTool("mkvmerge", QStringList {"-q", "-o", path} + f.mkvmerge).exitCode, 1);
        paths << path;
        const e2e::ToolResult walked = e2e::inspect({path});
        EXPECT_EQ(walked.exitCode, f.refusal ? 1 : 0) << walked.err.constData();
        if (f.refusal)
            EXPECT_TRUE(walked.err.contains(path.toUtf8() + ": " + f.refusal))
                << walked.err.constData();
        else
            EXPECT_TRUE(walked.out.startsWith(QByteArray(f.name) + ", "))
                << walked.out.left(80).constData();
        const bool suffixed = path.endsWith(".mkv") || path.endsWith(".webm");
        EXPECT_EQ(e2e::inspect({"--classic", path}).exitCode, suffixed ? 0 : 1) << "classic";
    }
    const e2e::ToolResult r = e2e::inspect(QStringList {"--check", "--json"} + paths);
    EXPECT_EQ(r.exitCode, 1);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), paths.size()) << r.out.constData();
    for (int i = 0; i < paths.size(); ++i) {
        const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
        EXPECT_EQ(o.value("file").toString(), paths[i]);
        if (files[i].refusal) {
            EXPECT_TRUE(o.value("error").toString().startsWith(files[i].refusal))
                << lines[i].constData();
        }
        // A refusal is the one error of its file.
        EXPECT_EQ(o.value("errors").toInt(-1), files[i].refusal ? 1 : 0) << lines[i].constData();
    }
}

// Files that the muxers users have write today, made here: none has an
// error. One --check run takes them all, one JSON document each.
TEST(Check, FilesOfTodaysMuxersHaveNoErrors)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = e2e::samplePath(QStringLiteral("clip.webm"));
    const QStringList ff = {"-hide_banner",
                            "-loglevel",
                            "error",
                            "-nostdin",
                            "-y",
                            "-f",
                            "lavfi",
                            "-i",
                            "testsrc2=size=64x48:rate=10:duration=1",
                            "-f",
                            "lavfi",
                            "-i",
                            "sine=sample_rate=44100:duration=1"};
    const struct
    {
        const char *name;
        QString program;
        QStringList arguments;
    } makes[] = {
        {"ffv1-flac.mkv", "ffmpeg", ff + QStringList {"-c:v", "ffv1", "-c:a", "flac"}},
        {"mjpeg-pcm.mkv", "ffmpeg",
         ff + QStringList {"-c:v", "mjpeg", "-c:a", "pcm_s16le", "-cluster_size_limit", "2000"}},
        {"vp9-dash.webm", "ffmpeg", ff + QStringList {"-an", "-c:v", "libvpx-vp9", "-dash", "1"}},
        {"groups.mkv", "mkvmerge", {"--quiet", "--engage", "no_simpleblocks", clip}},
        {"no-cues.mkv", "mkvmerge", {"--quiet", "--no-cues", "--disable-lacing", clip}},
        {"mkvmerge.webm", "mkvmerge", {"--quiet", "--webm", clip}},
    };
    QStringList files;
    for (const auto &make : makes) {
        const QString path = dir.filePath(QString::fromLatin1(make.name));
        QStringList arguments = make.arguments;
        if (make.program == QLatin1String("mkvmerge"))
            arguments = QStringList {"-o", path} + arguments;
        else
            arguments << path;
        const e2e::ToolResult made = e2e::runTool(make.program, arguments);
        // mkvmerge exits with 1 on warnings.
        ASSERT_TRUE(made.finished && made.exitCode <= (make.program == "mkvmerge" ? 1 : 0))
            << make.name << made.err.constData();
        files << path;
    }
    const e2e::ToolResult r = e2e::inspect(QStringList {"--check", "--json"} + files);
    EXPECT_EQ(r.exitCode, 0) << r.out.constData();
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), files.size());
    for (const QByteArray &line : lines)
        EXPECT_EQ(QJsonDocument::fromJson(line).object().value("errors").toInt(-1), 0)
            << line.constData();
}

// Hostile files of many findings: a check shows its first 100 and counts
// every other one, in text and in JSON; a deep path keeps its ends.
TEST(Check, FindingsPastTheShownOnesAreCounted)
{
    const struct
    {
        const char *kind, *size, *check;
        qint64 found, omitted; // of the check; not shown, of every check
        const char *path;      // of the check's first finding
    } cases[] = {
        {"past-parent", "0", "past-parent", 2000, 1900, "/Segment/Cluster/Void"},
        {"deep-empty", "2", "missing-element", 2002, 1902, "/Segment/Cluster/BlockGroup"},
        {"deep-unknown-track", "5", "block-track", 2000, 1900,
         "/Segment/Cluster/Cluster/Cluster/Cluster/SimpleBlock"},
        {"deep-unknown-track", "999", "block-track", 2000, 3697,
         "/Segment/Cluster/Cluster/...[994 more].../Cluster/Cluster/SimpleBlock"},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.kind) + ' ' + c.size);
        const QString file = dir.filePath(QLatin1String(c.kind) + c.size + ".mkv");
        ASSERT_EQ(e2e::runTool(SYNTH_PATH, {c.kind, file, "2000", c.size}).exitCode, 0);
        const checks::Result r = checks::check(file);
        const auto found = r.of(QLatin1String(c.check));
        ASSERT_EQ(found.size(), 100u);
        EXPECT_EQ(found.front().path, QString::fromUtf8(c.path));
        EXPECT_EQ(r.omitted, c.omitted);
        EXPECT_EQ(r.errors + r.warnings, qint64(r.findings.size()) + r.omitted);
        const QByteArray text = e2e::inspect({"--check", file}).out;
        const QByteArray summary = QByteArray::number(r.errors) + " errors, "
            + QByteArray::number(r.warnings) + (r.warnings == 1 ? " warning" : " warnings");
        EXPECT_TRUE(text.contains(summary + " (")) << text.right(200).constData();
        EXPECT_TRUE(text.contains(QByteArray(c.check) + ' ' + QByteArray::number(c.found) + 'E'));
        EXPECT_TRUE(text.endsWith("; " + QByteArray::number(c.omitted) + " more not shown\n"));
    }
}
