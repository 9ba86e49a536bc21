// SPDX-License-Identifier: MIT
// Shared helpers of the tests of --check: a copy of a sample with a fault
// planted in it, and the findings that --check --json reports on a file.
#pragma once

#include "e2e_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

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

// The offset of the n-th (0-based) occurrence of bytes in data, or -1.
inline qsizetype find(const QByteArray &data, const QByteArray &bytes, int n = 0)
{
    qsizetype at = -1;
    for (int i = 0; i <= n; ++i) {
        at = data.indexOf(bytes, at + 1);
        if (at < 0)
            return -1;
    }
    return at;
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

} // namespace checks
