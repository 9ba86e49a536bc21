// Shared helpers of the end-to-end tests: sample paths, a whole walk of a
// file through the plug-in into an in-memory tree, and running the outside
// tools (mkvinfo, ffprobe, vantorel-inspect).
#pragma once

#include "containermkv.h"
#include "elementtree.h"
#include "golden.h"
#include "inputdevice.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace e2e {

// Every sample the suite walks; samples/make-samples.sh makes them.
inline const QStringList &sampleNames()
{
    static const QStringList names = {
        QStringLiteral("clip.webm"),         QStringLiteral("vp9-opus.webm"),
        QStringLiteral("h264-aac.mkv"),      QStringLiteral("laced-audio.mkv"),
        QStringLiteral("subs-chapters.mkv"), QStringLiteral("two-video.mkv"),
        QStringLiteral("track200.webm"),     QStringLiteral("live.webm"),
    };
    return names;
}

inline QString samplePath(const QString &name)
{
    return QDir(QStringLiteral(SAMPLES_DIR)).filePath(name);
}

// One finished walk of a file with the parser's public API only.
struct Walk
{
    ContainerMKV parser;
    InputDevice device;
    ElementTree tree;
    bool opened = false;
    int status = -1;
    quint64 fileSize = 0;
};

inline std::unique_ptr<Walk> walkFile(const QString &path, quint64 binaryLimit = 16)
{
    auto walk = std::make_unique<Walk>();
    walk->parser.binaryLimit = binaryLimit;
    walk->opened = walk->device.openFile(path);
    if (walk->opened) {
        walk->fileSize = quint64(walk->device.size());
        walk->status = walk->parser.parseFile(path, &walk->device, &walk->tree);
    }
    return walk;
}

struct ToolResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (a hung tool fails the test instead of the
// suite), with English messages whatever the locale.
inline ToolResult runTool(const QString &program, const QStringList &arguments,
                          const QString &workingDirectory = QString())
{
    ToolResult result;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(30000))
        return result;
    process.closeWriteChannel();
    result.finished = process.waitForFinished(30000);
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

inline ToolResult inspect(const QStringList &arguments, const QString &workingDirectory = {})
{
    return runTool(QStringLiteral(INSPECT_PATH), arguments, workingDirectory);
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace e2e
