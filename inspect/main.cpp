// SPDX-License-Identifier: MIT
// vantorel-inspect: walks a Matroska or WebM file with the container plug-in
// and prints every element with its rows, as text, JSON, frames CSV or an
// HTML report; or checks files and prints their findings.
#include "filewalk.h"
#include "findingswriter.h"
#include "outputbuffer.h"
#include "outputfile.h"
#include "plugin.h"
#include "request.h"
#include "writerfactory.h"

#include <QCoreApplication>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#endif

namespace {

constexpr qint64 ProgressFrom = 64 * 1024 * 1024;

// One file's findings, written into a buffer of their own.
struct Checked
{
    QByteArray output;
    bool error = false;
    QString failure; // why the file could not be checked
};

Checked checkFile(Plugin *plugin, const Request &r, int i)
{
    const QString &name = r.files[i];
    const std::unique_ptr<FindingsWriter> writer = makeFindingsWriter(r.writer.output, name);
    FileWalk file(plugin, r.pluginDirectories, name, r.filesNative[i]);
    ParserSettings parser;
    parser.modern = true;
    Chain::Settings settings;
    settings.checkCrcs = true;
    settings.conformance = true;
    settings.profiles = r.profiles;
    Checked result;
    if (!file.open(parser) || !file.walk(writer.get(), chainFor(r.writer.output, settings))) {
        // A file that cannot be checked still has its record in the output.
        writer->notChecked(file.failure());
        result.error = true;
        result.failure = QStringLiteral("%1: %2").arg(name, file.failure());
    }
    result.output = writer->output();
    result.error = result.error || writer->errors() > 0;
    return result;
}

// Checks the files on r.jobs threads, one parser each, and prints their
// findings in the order of the arguments as soon as each one's turn comes.
// A file is started only while fewer than twice as many files as threads
// wait for their turn, so that a slow file holds back a bounded number of
// finished ones (each at most a few hundred findings long).
int checkFiles(const Request &r)
{
    Plugin plugin;
    QString error;
    if (!plugin.load(r.pluginDirectories, &error))
        return fail(ExitFailed, error);
    const int count = int(r.files.size());
    const int window = 2 * r.jobs;
    std::vector<Checked> results(static_cast<size_t>(count));
    std::vector<char> done(static_cast<size_t>(count), 0);
    std::mutex mutex;
    std::condition_variable ready; // a result is done
    std::condition_variable room;  // a result was printed
    int next = 0;
    int printed = 0;
    auto work = [&] {
        for (;;) {
            int i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                room.wait(lock, [&] { return next >= count || next < printed + window; });
                if (next >= count)
                    return;
                i = next++;
            }
            Checked result = checkFile(&plugin, r, i);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                results[size_t(i)] = std::move(result);
                done[size_t(i)] = 1;
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < qMin(r.jobs, count); ++j)
        threads.emplace_back(work);
    bool anyError = false;
    for (int i = 0; i < count; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return done[size_t(i)] != 0; });
        const Checked result = std::move(results[size_t(i)]);
        results[size_t(i)] = Checked();
        ++printed;
        lock.unlock();
        room.notify_all();
        if (!result.failure.isEmpty())
            say(result.failure);
        std::fwrite(result.output.constData(), 1, size_t(result.output.size()), stdout);
        std::fflush(stdout);
        anyError = anyError || result.error;
    }
    for (std::thread &thread : threads)
        thread.join();
    return anyError ? ExitFailed : ExitWalked;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantorel-inspect"));
    QCoreApplication::setApplicationVersion(QStringLiteral(INSPECT_VERSION));

    Request r;
    if (const int code = readRequest(argc, argv, &r); code >= 0)
        return code;
    if (r.check)
        return checkFiles(r);
    const QString &inputName = r.files.first();

    Plugin plugin;
    FileWalk file(&plugin, r.pluginDirectories, inputName, r.filesNative.first());
    if (!file.open(r.parser))
        return fail(ExitFailed, file.message());
    if (r.parser.binaryLimit > ValueCap)
        say(QStringLiteral("--binary-limit is capped at %1 bytes: longer values are "
                           "shown cut")
                .arg(ValueCap));

    OutputFile output;
    if (r.writer.output == Output::Html) {
        if (file.input()->isSameFile(r.htmlNative))
            return fail(ExitUsage,
                        QStringLiteral("%1: the report would overwrite its input").arg(r.html));
        if (!output.create(r.htmlNative))
            return fail(ExitFailed, QStringLiteral("%1: cannot write it").arg(r.html));
    }

    OutputBuffer out(output.stream());
    const std::unique_ptr<Sink> writer = makeWriter(r.writer, &out, file.input(), file.tracker());
    Chain::Settings settings;
    settings.checkCrcs = r.checkCrcs;
    settings.schemaHint = !r.parser.modern;
    settings.modern = r.parser.modern;
    // Large files show how far the walk is, on a terminal only.
    if (!r.quiet && file.input()->size() > ProgressFrom && isatty(fileno(stderr)))
        settings.progress = stderr;
    const bool walked = file.walk(writer.get(), chainFor(r.writer.output, settings));
    out.flush();
    if (!walked)
        return fail(ExitFailed, file.message());
    if (out.failed() || !output.commit())
        return fail(ExitFailed, QStringLiteral("cannot write the output"));
    if (const PastEnd *past = file.chain()->firstPastEnd())
        say(QStringLiteral("%1 ends early: %2 at offset %3 claims %4 bytes, %5 remain")
                .arg(inputName, past->name)
                .arg(past->offset)
                .arg(past->size)
                .arg(past->remaining));
    if (const QString hint = file.chain()->schemaHint(); !hint.isEmpty())
        say(hint);
    return ExitWalked;
}
