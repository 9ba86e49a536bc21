// SPDX-License-Identifier: MIT
// Shared helpers of the tests of --check: a copy of a sample with a fault
// planted in it, and the findings that --check --json reports on a file.
#pragma once

#include "e2e_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace checks {

struct Found
{
    QString severity, check, path, message;
    quint64 offset = 0;
};

struct Result
{
    int exitCode = -1;
    std::vector<Found> findings;
    qint64 errors = -1, warnings = -1, omitted = 0;
    QByteArray out, err;

    // The findings of one check.
    std::vector<Found> of(const QString &check) const
    {
        std::vector<Found> found;
        for (const Found &f : findings)
            if (f.check == check)
                found.push_back(f);
        return found;
    }
    // The distinct checks that reported, in the order of their first finding.
    QStringList checks() const
    {
        QStringList ids;
        for (const Found &f : findings)
            if (!ids.contains(f.check))
                ids << f.check;
        return ids;
    }
};

// Runs vantorel-inspect --check --json, with more options, on one file.
inline Result check(const QString &path, const QStringList &more = QStringList())
{
    const e2e::ToolResult r
        = e2e::inspect(QStringList {QStringLiteral("--check"), QStringLiteral("--json")} + more
                       + QStringList {path});
    Result result;
    result.exitCode = r.finished ? r.exitCode : -1;
    result.out = r.out;
    result.err = r.err;
    const QJsonObject doc = QJsonDocument::fromJson(r.out.trimmed()).object();
    result.errors = doc.value(QStringLiteral("errors")).toInteger(-1);
    result.warnings = doc.value(QStringLiteral("warnings")).toInteger(-1);
    result.omitted = doc.value(QStringLiteral("omitted")).toInteger(0);
    for (const QJsonValue &v : doc.value(QStringLiteral("findings")).toArray()) {
        const QJsonObject o = v.toObject();
        Found f;
        f.severity = o.value(QStringLiteral("severity")).toString();
        f.check = o.value(QStringLiteral("check")).toString();
        f.path = o.value(QStringLiteral("path")).toString();
        f.message = o.value(QStringLiteral("message")).toString();
        f.offset = quint64(o.value(QStringLiteral("offset")).toInteger());
        result.findings.push_back(f);
    }
    return result;
}

// A copy of a sample in dir, named name (the sample's own name when empty),
// after edit has changed its bytes.
inline QString plant(const QTemporaryDir &dir, const QString &sample,
                     const std::function<void(QByteArray &)> &edit, QString name = QString())
{
    QByteArray bytes = e2e::readFile(e2e::samplePath(sample));
    edit(bytes);
    if (name.isEmpty())
        name = sample;
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

// A fault planted in a copy of a sample: the first from in it becomes to.
struct Planted
{
    const char *name, *sample;
    QByteArray from, to;
    int delta;                       // the finding's offset from where from was
    const char *check, *path, *says; // path: its end; says: a part of the message
    QStringList alsoAllowed;         // other checks that may follow
};

// Each fault's check tells it first at its place, with its severity; no
// other check does, but those allowed.
inline void expectPlanted(const std::vector<Planted> &faults)
{
    const QStringList warnings = {"unknown-element", "deprecated", "timestamp-order"};
    const QTemporaryDir dir;
    for (const Planted &fault : faults) {
        SCOPED_TRACE(fault.name);
        qsizetype at = -1;
        const QString path = plant(dir, QString::fromLatin1(fault.sample), [&](QByteArray &b) {
            at = b.indexOf(fault.from);
            if (at >= 0)
                b.replace(at, fault.from.size(), fault.to);
        });
        ASSERT_GE(at, 0);
        const Result r = check(path);
        const std::vector<Found> found = r.of(QLatin1String(fault.check));
        ASSERT_FALSE(found.empty()) << r.out.constData();
        const Found &f = found.front();
        const bool warning = warnings.contains(QLatin1String(fault.check));
        EXPECT_EQ(f.severity, QLatin1String(warning ? "warning" : "error"));
        EXPECT_EQ(r.exitCode, warning && r.errors == 0 ? 0 : 1);
        EXPECT_EQ(f.offset, quint64(at + fault.delta)) << r.out.constData();
        EXPECT_TRUE(f.path.endsWith(QLatin1String(fault.path))) << f.path.toStdString();
        EXPECT_TRUE(f.message.contains(QLatin1String(fault.says))) << f.message.toStdString();
        for (const QString &other : r.checks())
            EXPECT_TRUE(other == QLatin1String(fault.check) || fault.alsoAllowed.contains(other))
                << r.out.constData();
    }
}

} // namespace checks
