// vantorel-inspect: walks a Matroska or WebM file with the container plug-in
// and prints every element with its rows, as text or as JSON.
#include "containerabstract.h"
#include "frameswriter.h"
#include "htmlwriter.h"
#include "inputdevice.h"
#include "jsonwriter.h"
#include "outputbuffer.h"
#include "textwriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#endif
#include <limits>
#include <memory>

namespace {

enum ExitCode {
    ExitWalked = 0,
    ExitFailed = 1, // the file or the plug-in could not be used
    ExitUsage = 2,  // a bad invocation
};

const char PluginName[] = "vantorel-container-mkv";
constexpr qint64 ProgressFrom = 64 * 1024 * 1024;

typedef ContainerAbstract *(*CreateParser)();
typedef QStringList (*SupportedExtensions)();

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "vantorel-inspect: %s\n", qUtf8Printable(message));
    return code;
}

// The plug-in lies beside the program in a build tree, and in the library
// folder of an installed tree.
QStringList pluginDirectories()
{
    const QString here = QCoreApplication::applicationDirPath();
    return {here, here + QStringLiteral("/../" INSTALL_LIBDIR), here + QStringLiteral("/../lib")};
}

struct Plugin
{
    QLibrary library;
    CreateParser createParser = nullptr;
    SupportedExtensions supportedExtensions = nullptr;
};

bool loadPlugin(Plugin *plugin, const QStringList &directories, QString *error)
{
    QStringList tried;
    for (const QString &directory : directories) {
        plugin->library.setFileName(QDir(directory).absoluteFilePath(QLatin1String(PluginName)));
        if (!plugin->library.load()) {
            tried << plugin->library.errorString();
            continue;
        }
        plugin->createParser =
            reinterpret_cast<CreateParser>(plugin->library.resolve("createParser"));
        plugin->supportedExtensions =
            reinterpret_cast<SupportedExtensions>(plugin->library.resolve("supportedExtensions"));
        if (plugin->createParser && plugin->supportedExtensions)
            return true;
        *error = QStringLiteral("%1 lacks its entry points").arg(plugin->library.fileName());
        plugin->library.unload();
        return false;
    }
    *error = QStringLiteral("cannot load the plug-in %1 from %2")
                 .arg(QLatin1String(PluginName), directories.join(QStringLiteral(", ")));
    if (!tried.isEmpty())
        *error += QStringLiteral(" (%1)").arg(tried.first());
    return false;
}

bool parseNumber(const QString &text, quint64 *value)
{
    bool ok = false;
    *value = text.toULongLong(&ok, 10);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantorel-inspect"));
    QCoreApplication::setApplicationVersion(QStringLiteral(INSPECT_VERSION));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Walks a Matroska or WebM file and prints every EBML element with its offset, length "
        "and decoded fields, and every frame of its video tracks."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the tree as JSON."));
    const QCommandLineOption base(QStringLiteral("base"),
                                  QStringLiteral("Radix of the size rows, 2 to 36 (default 10)."),
                                  QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption binaryLimit(
        QStringLiteral("binary-limit"),
        QStringLiteral("Most payload bytes shown for binary, UTF-8, padding and unknown "
                       "elements (default 16)."),
        QStringLiteral("N"), QStringLiteral("16"));
    const QCommandLineOption showJunk(QStringLiteral("show-junk"),
                                      QStringLiteral("Show the contents of Void padding."));
    const QCommandLineOption hideUnknown(
        QStringLiteral("hide-unknown"), QStringLiteral("Do not show payloads of unknown elements."));
    const QCommandLineOption frames(
        QStringLiteral("frames"),
        QStringLiteral("Print the video frames as CSV (stream, number, offset, size, keyframe) "
                       "instead of the tree."));
    const QCommandLineOption html(
        QStringLiteral("html"),
        QStringLiteral("Write a self-contained HTML report (tree, hex view, frame charts) to OUT "
                       "instead of printing the tree."),
        QStringLiteral("OUT"));
    const QCommandLineOption htmlHexLimit(
        QStringLiteral("html-hex-limit"),
        QStringLiteral("Most bytes of each element embedded in the report (default 4096)."),
        QStringLiteral("N"), QStringLiteral("4096"));
    const QCommandLineOption htmlMaxNodes(
        QStringLiteral("html-max-nodes"),
        QStringLiteral("Most elements embedded in the report with rows and bytes; the rest are "
                       "counted (default 200000)."),
        QStringLiteral("N"), QStringLiteral("200000"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress line on large files."));
    const QCommandLineOption noCrc(QStringLiteral("no-crc"),
                                   QStringLiteral("Do not check CRC-32 elements."));
    const QCommandLineOption pluginDir(QStringLiteral("plugin-dir"),
                                       QStringLiteral("Load the plug-in from DIR."),
                                       QStringLiteral("DIR"));
    options.addOptions({json, frames, base, binaryLimit, showJunk, hideUnknown, noCrc, quiet, pluginDir});
    options.addOptions({html, htmlHexLimit, htmlMaxNodes});
    options.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A .mkv or .webm file."));

    if (!options.parse(QCoreApplication::arguments()))
        return fail(ExitUsage, options.errorText() + QStringLiteral(" (see --help)"));
    if (options.isSet(QStringLiteral("help"))) {
        std::fputs(qUtf8Printable(options.helpText()), stdout);
        return ExitWalked;
    }
    if (options.isSet(QStringLiteral("version"))) {
        std::printf("vantorel-inspect %s\n", INSPECT_VERSION);
        return ExitWalked;
    }

    quint64 radix = 0;
    if (!parseNumber(options.value(base), &radix) || radix < 2 || radix > 36)
        return fail(ExitUsage, QStringLiteral("--base takes a number from 2 to 36, not '%1'")
                                   .arg(options.value(base)));
    quint64 limit = 0;
    if (!parseNumber(options.value(binaryLimit), &limit))
        return fail(ExitUsage, QStringLiteral("--binary-limit takes a byte count, not '%1'")
                                   .arg(options.value(binaryLimit)));
    HtmlWriter::Settings report;
    if (!parseNumber(options.value(htmlHexLimit), &report.hexLimit))
        return fail(ExitUsage, QStringLiteral("--html-hex-limit takes a byte count, not '%1'")
                                   .arg(options.value(htmlHexLimit)));
    if (!parseNumber(options.value(htmlMaxNodes), &report.maxNodes))
        return fail(ExitUsage, QStringLiteral("--html-max-nodes takes a count, not '%1'")
                                   .arg(options.value(htmlMaxNodes)));
    if (options.isSet(html) && (options.isSet(json) || options.isSet(frames)))
        return fail(ExitUsage, QStringLiteral("--html replaces the printed tree: not with --json "
                                              "or --frames"));

    const QStringList files = options.positionalArguments();
    if (files.size() != 1)
        return fail(ExitUsage, files.isEmpty() ? QStringLiteral("no file given (see --help)")
                                               : QStringLiteral("one file at a time (see --help)"));
    const QString fileName = files.first();
    const QFileInfo info(fileName);
    if (!info.exists())
        return fail(ExitFailed, QStringLiteral("%1: no such file").arg(fileName));
    if (!info.isFile())
        return fail(ExitFailed, QStringLiteral("%1: not a regular file").arg(fileName));

    Plugin plugin;
    QString error;
    const QStringList directories = options.isSet(pluginDir)
                                        ? QStringList{options.value(pluginDir)}
                                        : pluginDirectories();
    if (!loadPlugin(&plugin, directories, &error))
        return fail(ExitFailed, error);

    const QStringList extensions = plugin.supportedExtensions();
    if (!extensions.contains(info.suffix(), Qt::CaseInsensitive))
        return fail(ExitFailed, QStringLiteral("%1: not a Matroska or WebM file name (suffixes: %2)")
                                    .arg(fileName, extensions.join(QStringLiteral(", "))));

    InputDevice device;
    if (!device.openFile(fileName))
        return fail(ExitFailed, QStringLiteral("%1: %2").arg(fileName, device.errorString()));

    std::unique_ptr<ContainerAbstract> parser(plugin.createParser());
    if (!parser)
        return fail(ExitFailed, QStringLiteral("the plug-in made no parser"));
    parser->numberBase = int(radix);
    parser->binaryLimit = limit;
    parser->showJunk = options.isSet(showJunk);
    parser->showUnknown = !options.isSet(hideUnknown);

    std::unique_ptr<std::FILE, int (*)(std::FILE *)> htmlFile(nullptr, std::fclose);
    if (options.isSet(html)) {
        htmlFile.reset(std::fopen(QFile::encodeName(options.value(html)).constData(), "wb"));
        if (!htmlFile)
            return fail(ExitFailed, QStringLiteral("%1: cannot write it").arg(options.value(html)));
    }
    OutputBuffer out(htmlFile ? htmlFile.get() : stdout);
    std::unique_ptr<StreamWriter> writer;
    if (htmlFile)
        writer = std::make_unique<HtmlWriter>(&out, fileName, report);
    else if (options.isSet(frames))
        writer = std::make_unique<FramesWriter>(&out);
    else if (options.isSet(json))
        writer = std::make_unique<JsonWriter>(&out);
    else
        writer = std::make_unique<TextWriter>(&out);
    // Large files show how far the walk is, on a terminal only.
    if (!options.isSet(quiet) && device.size() > ProgressFrom && isatty(fileno(stderr)))
        writer->showProgress(stderr);

    if (!options.isSet(noCrc))
        writer->checkCrcs(fileName);
    const int verified = parser->parseFile(fileName, &device, writer.get());
    out.flush();
    parser.reset();
    if (verified != 0)
        return fail(ExitFailed, QStringLiteral("%1: the plug-in refuses this file (status %2)")
                                    .arg(fileName)
                                    .arg(verified));
    if (out.failed())
        return fail(ExitFailed, QStringLiteral("cannot write the output"));
    const StreamWriter::PastEnd &pastEnd = writer->firstPastEnd();
    if (pastEnd.found)
        std::fprintf(stderr,
                     "vantorel-inspect: %s ends early: %s at offset %llu claims %llu bytes, "
                     "%llu remain\n",
                     qUtf8Printable(fileName), qUtf8Printable(pastEnd.name),
                     static_cast<unsigned long long>(pastEnd.offset),
                     static_cast<unsigned long long>(pastEnd.size),
                     static_cast<unsigned long long>(pastEnd.remaining));
    return ExitWalked;
}
