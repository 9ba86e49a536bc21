// vantorel-inspect: walks a Matroska or WebM file with the container plug-in
// and prints every element with its rows, as text, JSON, frames CSV or an
// HTML report.
#include "chain.h"
#include "containerabstract.h"
#include "escape.h"
#include "findingswriter.h"
#include "frameswriter.h"
#include "glancewriter.h"
#include "htmlwriter.h"
#include "inputdevice.h"
#include "jsonwriter.h"
#include "options.h"
#include "outputbuffer.h"
#include "outputfile.h"
#include "plugin.h"
#include "textwriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <QThread>

#include <condition_variable>
#include <cstdio>
#include <memory>
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

enum ExitCode {
    ExitWalked = 0,
    ExitFailed = 1, // the file or the plug-in could not be used; with --check, an error found
    ExitUsage = 2,  // a bad invocation
};

constexpr qint64 ProgressFrom = 64 * 1024 * 1024;
// Values are loaded and shown up to this many bytes whatever --binary-limit
// asks, so that memory stays bounded.
constexpr quint64 ValueCap = 1 << 20;

// One line on standard error, escaped for a terminal.
void say(const QString &message)
{
    std::fprintf(stderr, "vantorel-inspect: %s\n", Escape::forTerminal(message).constData());
}

int fail(int code, const QString &message)
{
    say(message);
    return code;
}

enum class Output { Text, Json, Frames, Html };

struct Options
{
    Output output = Output::Text;
    int base = 10;
    quint64 binaryLimit = 16;
    bool showJunk = false;
    bool showUnknown = true;
    bool checkCrcs = false;
    bool check = false;
    int jobs = 1;
    bool quiet = false;
    bool modern = false;
    bool rows = false;
    GlanceWriter::Settings glance;
    QStringList pluginDirectories;
    HtmlWriter::Settings report;
    QString html;          // the report's path, as shown
    QByteArray htmlNative; // and as the file system has it
    QStringList files;     // the inputs' names, as shown
    QList<QByteArray> filesNative;
};

bool number(const QCommandLineParser &parser, const QString &option, quint64 *value)
{
    bool ok = false;
    *value = parser.value(option).toULongLong(&ok, 10);
    return ok;
}

// The bytes of the command-line argument that reads as text: a name that is
// not valid in the locale's encoding is used as given.
QByteArray nativeArgument(const QString &text, int argc, char **argv)
{
    for (int i = argc - 1; i > 0; --i) {
        if (QString::fromLocal8Bit(argv[i]) == text)
            return QByteArray(argv[i]);
    }
    return QFile::encodeName(text);
}

// Returns -1 when the options are good, else the exit code.
int readOptions(int argc, char **argv, Options *o)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(InspectDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    // The options come from the one table that the man page, the README and
    // the completion are written from.
    for (int i = 0; i < InspectOptionCount; ++i)
        parser.addOption(commandLineOption(InspectOptions[i]));
    const QString json = QStringLiteral("json");
    const QString frames = QStringLiteral("frames");
    const QString base = QStringLiteral("base");
    const QString binaryLimit = QStringLiteral("binary-limit");
    const QString showJunk = QStringLiteral("show-junk");
    const QString hideUnknown = QStringLiteral("hide-unknown");
    const QString crc = QStringLiteral("crc");
    const QString noCrc = QStringLiteral("no-crc");
    const QString rows = QStringLiteral("rows");
    const QString depth = QStringLiteral("depth");
    const QString element = QStringLiteral("element");
    const QString hexOffsets = QStringLiteral("hex-offsets");
    const QString color = QStringLiteral("color");
    const QString check = QStringLiteral("check");
    const QString jobs = QStringLiteral("jobs");
    const QString quiet = QStringLiteral("quiet");
    const QString modern = QStringLiteral("modern");
    const QString pluginDir = QStringLiteral("plugin-dir");
    const QString html = QStringLiteral("html");
    const QString htmlHexLimit = QStringLiteral("html-hex-limit");
    const QString htmlMaxNodes = QStringLiteral("html-max-nodes");
    const QString htmlMaxRows = QStringLiteral("html-max-rows");
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A .mkv or .webm file; with --check, any number."),
                                 QStringLiteral("FILE..."));

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(ExitUsage, parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return ExitWalked;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("vantorel-inspect %s\n", INSPECT_VERSION);
        return ExitWalked;
    }

    quint64 radix = 0;
    if (!number(parser, base, &radix) || radix < 2 || radix > 36)
        return fail(
            ExitUsage,
            QStringLiteral("--base takes a number from 2 to 36, not '%1'").arg(parser.value(base)));
    o->base = int(radix);
    if (!number(parser, binaryLimit, &o->binaryLimit))
        return fail(ExitUsage,
                    QStringLiteral("--binary-limit takes a byte count, not '%1'")
                        .arg(parser.value(binaryLimit)));
    if (!number(parser, htmlHexLimit, &o->report.hexLimit))
        return fail(ExitUsage,
                    QStringLiteral("--html-hex-limit takes a byte count, not '%1'")
                        .arg(parser.value(htmlHexLimit)));
    if (!number(parser, htmlMaxNodes, &o->report.maxNodes))
        return fail(ExitUsage,
                    QStringLiteral("--html-max-nodes takes a count, not '%1'")
                        .arg(parser.value(htmlMaxNodes)));
    o->report.maxRows
        = o->report.maxNodes > ~quint64(0) / 10 ? ~quint64(0) : o->report.maxNodes * 10;
    if (parser.isSet(htmlMaxRows) && !number(parser, htmlMaxRows, &o->report.maxRows))
        return fail(ExitUsage,
                    QStringLiteral("--html-max-rows takes a count, not '%1'")
                        .arg(parser.value(htmlMaxRows)));
    if (parser.isSet(html) && (parser.isSet(json) || parser.isSet(frames)))
        return fail(ExitUsage,
                    QStringLiteral("--html replaces the printed tree: not with --json "
                                   "or --frames"));
    if (parser.isSet(depth)) {
        quint64 n = 0;
        if (!number(parser, depth, &n) || n > 1000000)
            return fail(
                ExitUsage,
                QStringLiteral("--depth takes a depth from 0, not '%1'").arg(parser.value(depth)));
        o->glance.depth = int(n);
    }
    if (parser.isSet(element))
        o->glance.elements = parser.value(element).split(QLatin1Char(','), Qt::SkipEmptyParts);
    o->glance.hexOffsets = parser.isSet(hexOffsets);
    const QString when = parser.value(color);
    if (when == QLatin1String("always"))
        o->glance.color = true;
    else if (when == QLatin1String("auto"))
        o->glance.color = isatty(fileno(stdout)) && qEnvironmentVariableIsEmpty("NO_COLOR");
    else if (when != QLatin1String("never"))
        return fail(ExitUsage,
                    QStringLiteral("--color takes auto, always or never, not '%1'").arg(when));
    o->rows = parser.isSet(rows);
    o->check = parser.isSet(check);
    // The glance view's own options: refused where they would change nothing.
    if ((parser.isSet(depth) || parser.isSet(element) || o->glance.hexOffsets)
        && (o->rows || o->check || parser.isSet(json) || parser.isSet(frames)
            || parser.isSet(html)))
        return fail(ExitUsage,
                    QStringLiteral("--depth, --element and --hex-offsets go with the default "
                                   "view: not with --rows, --json, --frames, --html or --check"));
    if (o->check && (parser.isSet(html) || parser.isSet(frames)))
        return fail(ExitUsage,
                    QStringLiteral("--check prints findings: not with --html or --frames"));
    if (parser.isSet(jobs)) {
        quint64 n = 0;
        if (!o->check)
            return fail(ExitUsage, QStringLiteral("-j goes with --check"));
        if (!number(parser, jobs, &n) || n < 1 || n > 1024)
            return fail(ExitUsage,
                        QStringLiteral("-j takes a number from 1 to 1024, not '%1'")
                            .arg(parser.value(jobs)));
        o->jobs = int(n);
    } else {
        o->jobs = qMax(1, QThread::idealThreadCount());
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return fail(ExitUsage, QStringLiteral("no file given (see --help)"));
    if (files.size() != 1 && !o->check)
        return fail(ExitUsage,
                    QStringLiteral("one file at a time, except with --check (see --help)"));

    o->output = parser.isSet(html) ? Output::Html
        : parser.isSet(frames)     ? Output::Frames
        : parser.isSet(json)       ? Output::Json
                                   : Output::Text;
    o->showJunk = parser.isSet(showJunk);
    o->showUnknown = !parser.isSet(hideUnknown);
    o->checkCrcs = parser.isSet(crc);
    o->quiet = parser.isSet(quiet);
    o->modern = parser.isSet(modern);
    o->pluginDirectories = parser.isSet(pluginDir) ? QStringList {parser.value(pluginDir)}
                                                   : Plugin::defaultDirectories();
    o->files = files;
    for (const QString &file : files)
        o->filesNative.append(nativeArgument(file, argc, argv));
    if (parser.isSet(html)) {
        o->html = parser.value(html);
        o->htmlNative = nativeArgument(o->html, argc, argv);
    }
    return -1;
}

// Why the plug-in would not take a file of that name: empty when its
// suffix is one of the plug-in's.
QString suffixRefusal(const QStringList &extensions, const QString &name)
{
    if (extensions.contains(QFileInfo(name).suffix(), Qt::CaseInsensitive))
        return QString();
    return QStringLiteral("not a Matroska or WebM file name (suffixes: %1)")
        .arg(extensions.join(QStringLiteral(", ")));
}

// One file's findings, written into a buffer of their own.
struct Checked
{
    QByteArray output;
    bool error = false;
    QString failure; // why the file could not be checked
};

Checked checkFile(const Plugin &plugin, const QStringList &extensions, const Options &o, int i)
{
    const QString &name = o.files[i];
    std::unique_ptr<FindingsWriter> writer;
    if (o.output == Output::Json)
        writer = std::make_unique<FindingsJsonWriter>(name);
    else
        writer = std::make_unique<FindingsTextWriter>(name);
    Checked result;
    result.error = true;
    // A file that cannot be checked still has its record in the output.
    const auto notChecked = [&](const QString &reason) {
        writer->notChecked(reason);
        result.output = writer->output();
        result.failure = QStringLiteral("%1: %2").arg(name, reason);
        return result;
    };
    InputDevice input;
    if (!input.openNative(o.filesNative[i]))
        return notChecked(input.errorString());
    if (const QString refusal = suffixRefusal(extensions, name); !refusal.isEmpty())
        return notChecked(refusal);
    std::unique_ptr<ContainerAbstract> parser(plugin.createParser());
    if (!parser)
        return notChecked(QStringLiteral("the plug-in made no parser"));
    parser->modernMatroska = true;
    Chain::Settings settings;
    settings.checkCrcs = true;
    settings.conformance = true;
    const Chain chain(writer.get(), &input, settings);
    const int status = parser->parseFile(name, &input, chain.head());
    if (status != 0)
        return notChecked(QStringLiteral("the plug-in refuses this file (status %1)").arg(status));
    result.output = writer->output();
    result.error = writer->errors() > 0;
    return result;
}

// Checks the files on o.jobs threads, one parser each, and prints their
// findings in the order of the arguments as soon as each one's turn comes.
// A file is started only while fewer than twice as many files as threads
// wait for their turn, so that a slow file holds back a bounded number of
// finished ones (each at most a few hundred findings long).
int checkFiles(const Options &o)
{
    Plugin plugin;
    QString error;
    if (!plugin.load(o.pluginDirectories, &error))
        return fail(ExitFailed, error);
    const QStringList extensions = plugin.supportedExtensions();
    const int count = int(o.files.size());
    const int window = 2 * o.jobs;
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
            Checked result = checkFile(plugin, extensions, o, i);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                results[size_t(i)] = std::move(result);
                done[size_t(i)] = 1;
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < qMin(o.jobs, count); ++j)
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

    Options options;
    if (const int code = readOptions(argc, argv, &options); code >= 0)
        return code;
    if (options.check)
        return checkFiles(options);
    const QString &inputName = options.files.first();

    // The one opening of the input, which the walk, the CRC checks and the
    // report's bytes all read.
    InputDevice input;
    if (!input.openNative(options.filesNative.first()))
        return fail(ExitFailed, QStringLiteral("%1: %2").arg(inputName, input.errorString()));
    Plugin plugin;
    QString error;
    if (!plugin.load(options.pluginDirectories, &error))
        return fail(ExitFailed, error);
    if (const QString refusal = suffixRefusal(plugin.supportedExtensions(), inputName);
        !refusal.isEmpty())
        return fail(ExitFailed, QStringLiteral("%1: %2").arg(inputName, refusal));
    std::unique_ptr<ContainerAbstract> parser(plugin.createParser());
    if (!parser)
        return fail(ExitFailed, QStringLiteral("the plug-in made no parser"));
    parser->numberBase = options.base;
    parser->binaryLimit = qMin(options.binaryLimit, ValueCap);
    parser->showJunk = options.showJunk;
    parser->showUnknown = options.showUnknown;
    parser->modernMatroska = options.modern;
    if (options.binaryLimit > ValueCap)
        say(QStringLiteral("--binary-limit is capped at %1 bytes: longer values are "
                           "shown cut")
                .arg(ValueCap));

    OutputFile file;
    if (options.output == Output::Html) {
        if (input.isSameFile(options.htmlNative))
            return fail(
                ExitUsage,
                QStringLiteral("%1: the report would overwrite its input").arg(options.html));
        if (!file.create(options.htmlNative))
            return fail(ExitFailed, QStringLiteral("%1: cannot write it").arg(options.html));
    }

    // The chain: the plug-in's calls go through the stages to the writer.
    OutputBuffer out(file.stream());
    std::unique_ptr<Sink> writer;
    switch (options.output) {
    case Output::Text:
        if (options.rows)
            writer = std::make_unique<TextWriter>(&out);
        else
            writer = std::make_unique<GlanceWriter>(&out, options.glance);
        break;
    case Output::Json: writer = std::make_unique<JsonWriter>(&out); break;
    case Output::Frames: writer = std::make_unique<FramesWriter>(&out); break;
    case Output::Html: writer = std::make_unique<HtmlWriter>(&out, &input, options.report); break;
    }
    Chain::Settings settings;
    settings.checkCrcs = options.checkCrcs && options.output != Output::Frames;
    settings.schemaHint = !options.modern;
    // The report's summary, and the frames' tracks and times.
    settings.summary = options.output == Output::Html || options.output == Output::Frames;
    // Large files show how far the walk is, on a terminal only.
    if (!options.quiet && input.size() > ProgressFrom && isatty(fileno(stderr)))
        settings.progress = stderr;
    const Chain chain(writer.get(), &input, settings);

    const int verified = parser->parseFile(inputName, &input, chain.head());
    out.flush();
    parser.reset();
    if (verified != 0)
        return fail(ExitFailed,
                    QStringLiteral("%1: the plug-in refuses this file (status %2)")
                        .arg(inputName)
                        .arg(verified));
    if (out.failed() || !file.commit())
        return fail(ExitFailed, QStringLiteral("cannot write the output"));
    if (const PastEnd *past = chain.firstPastEnd())
        say(QStringLiteral("%1 ends early: %2 at offset %3 claims %4 bytes, %5 remain")
                .arg(inputName, past->name)
                .arg(past->offset)
                .arg(past->size)
                .arg(past->remaining));
    if (const QString hint = chain.schemaHint(); !hint.isEmpty())
        say(hint);
    return ExitWalked;
}
