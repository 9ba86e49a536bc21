// Shared helpers of the end-to-end tests: sample paths, a whole walk of a
// file through the plug-in into an in-memory tree, and running the outside
// tools (mkvinfo, ffprobe, vantorel-inspect).
#pragma once

#include "containermkv.h"
#include "elementtree.h"
#include "inputdevice.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable QStrings in assertion messages and test names.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

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

// The settings a host sets before parseFile.
struct WalkSettings
{
    quint64 binaryLimit = 16;
    bool showJunk = false;
    bool showUnknown = true;
    int numberBase = 10;
};

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

inline std::unique_ptr<Walk> walkFile(const QString &path, const WalkSettings &settings = {})
{
    auto walk = std::make_unique<Walk>();
    walk->parser.binaryLimit = settings.binaryLimit;
    walk->parser.showJunk = settings.showJunk;
    walk->parser.showUnknown = settings.showUnknown;
    walk->parser.numberBase = settings.numberBase;
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

// The document vantorel-inspect --json prints.
inline QJsonObject inspectJson(const QStringList &arguments)
{
    const ToolResult r = inspect(QStringList {QStringLiteral("--json")} + arguments);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonParseError error {};
    const QJsonObject doc = QJsonDocument::fromJson(r.out, &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc;
}

// The nodes of a --json document in walk order, without their children and
// with their depth.
inline std::vector<QJsonObject> flatten(const QJsonArray &elements)
{
    std::vector<QJsonObject> nodes;
    std::function<void(QJsonObject, int)> walk = [&](QJsonObject n, int depth) {
        const QJsonArray children = n.take(QStringLiteral("children")).toArray();
        n.insert(QStringLiteral("depth"), depth);
        nodes.push_back(n);
        for (const QJsonValue &c : children)
            walk(c.toObject(), depth + 1);
    };
    for (const QJsonValue &e : elements)
        walk(e.toObject(), 0);
    return nodes;
}

inline QString compact(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

// The first node that differs between two lists, or nothing.
inline QString firstDifference(const std::vector<QJsonObject> &a, const std::vector<QJsonObject> &b)
{
    for (size_t i = 0; i < qMax(a.size(), b.size()); ++i) {
        const QString x = i < a.size() ? compact(a[i]) : QStringLiteral("none"),
                      y = i < b.size() ? compact(b[i]) : QStringLiteral("none");
        if (x != y)
            return QStringLiteral("node %1: %2, against %3").arg(i).arg(x, y);
    }
    return {};
}

// Where two --json documents first differ: a node in walk order, or the rest.
inline QString firstDifference(QJsonObject a, QJsonObject b)
{
    const QString nodes = firstDifference(flatten(a.take(QStringLiteral("elements")).toArray()),
                                          flatten(b.take(QStringLiteral("elements")).toArray()));
    return !nodes.isEmpty() || a == b ? nodes
                                      : compact(a) + QStringLiteral(", against ") + compact(b);
}

// A failure of a tool: a non-zero status and exactly one line on stderr,
// which mentions `mentions`.
inline void expectFailure(const ToolResult &r, const QString &mentions = {})
{
    ASSERT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0);
    const QStringList lines = QString::fromUtf8(r.err).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << "stderr was\n" << r.err.toStdString();
    EXPECT_TRUE(lines.first().contains(mentions)) << r.err.toStdString();
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

template <typename F> void forEachNode(const std::vector<ElementNode> &nodes, F &&f, int depth = 0)
{
    for (const ElementNode &node : nodes) {
        f(node, depth);
        forEachNode(node.children, f, depth + 1);
    }
}

} // namespace e2e
