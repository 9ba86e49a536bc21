// Shared helpers of the end-to-end tests: sample paths, a whole walk of a
// file through the plug-in into an in-memory tree, and running the outside
// tools (mkvinfo, ffprobe, vantorel-inspect).
#pragma once

#include "containermkv.h"
#include "elementtree.h"
#include "inputdevice.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <memory>

namespace e2e {

// Every sample the suite walks; samples/make-samples.sh makes them.
inline const QStringList &sampleNames()
{
    static const QStringList names = {
        QStringLiteral("clip.webm"),       QStringLiteral("vp9-opus.webm"),
        QStringLiteral("h264-aac.mkv"),    QStringLiteral("laced-audio.mkv"),
        QStringLiteral("subs-chapters.mkv"), QStringLiteral("two-video.mkv"),
        QStringLiteral("track200.webm"),   QStringLiteral("live.webm"),
    };
    return names;
}

inline QString samplePath(const QString &name)
{
    return QDir(QStringLiteral(SAMPLES_DIR)).filePath(name);
}

// One finished walk. The parser and the device stay alive with the tree so a
// test can look at the parser's public settings afterwards.
struct Walk
{
    std::unique_ptr<ContainerMKV> parser;
    std::unique_ptr<InputDevice> device;
    ElementTree tree;
    bool opened = false;
    int status = -1;
    quint64 fileSize = 0;
};

// Walks a file with the parser's public API only. The settings are those a
// host sets before parseFile.
struct WalkSettings
{
    quint64 binaryLimit = 16;
    bool showJunk = false;
    bool showUnknown = true;
    int numberBase = 10;
};

inline std::unique_ptr<Walk> walkFile(const QString &path, const WalkSettings &settings = {})
{
    auto walk = std::make_unique<Walk>();
    walk->parser = std::make_unique<ContainerMKV>();
    walk->parser->binaryLimit = settings.binaryLimit;
    walk->parser->showJunk = settings.showJunk;
    walk->parser->showUnknown = settings.showUnknown;
    walk->parser->numberBase = settings.numberBase;
    walk->device = std::make_unique<InputDevice>();
    walk->opened = walk->device->openFile(path);
    if (!walk->opened)
        return walk;
    walk->fileSize = quint64(walk->device->size());
    walk->status = walk->parser->parseFile(path, walk->device.get(), &walk->tree);
    return walk;
}

struct ToolResult
{
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (with a generous bound: a hung tool fails the
// test instead of the suite). English messages, whatever the locale.
inline ToolResult runTool(const QString &program, const QStringList &arguments,
                          int timeoutMs = 30000)
{
    ToolResult result;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    result.started = process.waitForStarted(timeoutMs);
    if (!result.started)
        return result;
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(2000);
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

inline bool toolInstalled(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Pre-order flattening helpers for comparisons and counts.
template<typename F>
void forEachNode(const std::vector<ElementNode> &nodes, F &&f, int depth = 0)
{
    for (const ElementNode &node : nodes) {
        f(node, depth);
        forEachNode(node.children, f, depth + 1);
    }
}

} // namespace e2e
