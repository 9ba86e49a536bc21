// SPDX-License-Identifier: MIT
// Shared helpers of the end-to-end tests: sample paths, a whole walk of a
// file through the plug-in into an in-memory tree, and running the outside
// tools (mkvinfo, ffprobe, vantorel-inspect).
#pragma once

#include "containermkv.h"
#include "golden.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

#include <memory>

namespace e2e {

// Every sample the suite walks; samples/make-samples.sh makes them.
inline QStringList sampleNames()
{
    return QStringLiteral("clip.webm vp9-opus.webm h264-aac.mkv laced-audio.mkv subs-chapters.mkv "
                          "two-video.mkv track200.webm live.webm gst-live.webm")
        .split(' ');
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
    int status = -1; // -1: the file did not open
};

inline std::unique_ptr<Walk> walkFile(const QString &path, quint64 binaryLimit = 16,
                                      bool modern = false)
{
    auto walk = std::make_unique<Walk>();
    walk->parser.binaryLimit = binaryLimit;
    walk->parser.modernMatroska = modern;
    if (walk->device.openFile(path))
        walk->status = walk->parser.parseFile(path, &walk->device, &walk->tree);
    return walk;
}

struct ToolResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out, err;
};

// Runs a program to its end (a hung tool fails the test instead of the
// suite), with English messages whatever the locale.
inline ToolResult runTool(const QString &program, const QStringList &arguments)
{
    ToolResult result;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    process.setProcessEnvironment(env);
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

inline ToolResult inspect(const QStringList &arguments)
{
    return runTool(QStringLiteral(INSPECT_PATH), arguments);
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
