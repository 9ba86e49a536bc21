// SPDX-License-Identifier: MIT
#pragma once

// The checks of --check over bytes built in memory: the modern walk of the
// plug-in through a chain with the CRC and conformance stages, and the
// findings that reach its end.

#include "chain.h"
#include "containermkv.h"
#include "elementtracker.h"
#include "inputdevice.h"
#include "sink.h"

#include <QStringList>

#include <ostream>
#include <vector>

// Lists of findings as text in the tests' messages.
inline void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << '[' << list.join(QLatin1Char(' ')).toStdString() << ']';
}

namespace checkrun {

struct Findings
{
    std::vector<Finding> all;

    // The shown findings of one check.
    std::vector<Finding> of(const char *check) const
    {
        std::vector<Finding> found;
        for (const Finding &f : all)
            if (!f.counted && qstrcmp(f.check, check) == 0)
                found.push_back(f);
        return found;
    }
    // "check@offset" of each shown finding of a check, or of all when check
    // is null: what a table of cases compares.
    QStringList at(const char *check = nullptr) const
    {
        QStringList out;
        for (const Finding &f : all)
            if (!f.counted && (!check || qstrcmp(f.check, check) == 0))
                out << QStringLiteral("%1@%2").arg(QLatin1String(f.check)).arg(f.offset);
        return out;
    }
    // The distinct checks with a shown finding, in order of their first one.
    QStringList checks() const
    {
        QStringList ids;
        for (const Finding &f : all)
            if (!f.counted && !ids.contains(QLatin1String(f.check)))
                ids << QLatin1String(f.check);
        return ids;
    }
    int count(Severity severity) const
    {
        int n = 0;
        for (const Finding &f : all)
            n += f.severity == severity ? int(f.counted ? f.counted : 1) : 0;
        return n;
    }
};

// The end of the chain: keeps the findings, drops the rest.
struct Collector : Sink
{
    std::vector<Finding> *out;
    explicit Collector(std::vector<Finding> *findings)
        : out(findings)
    {}
    void finding(const Finding &f) override { out->push_back(f); }
    void beginElement(quint64, quint64, const QString &, qint64) override {}
    void addField(bool, quint64, quint8, quint64, const QString &, const QString &, const QString &,
                  const QString &, qint64) override
    {}
    void annotateElement(const QString &) override {}
    void endElement() override {}
    void addFrame(const FrameRecord &) override {}
    void topLevelParsed(int) override {}
};

// Walks bytes (under name, which the modern walk does not judge) as
// --check does, with the profiles of a bit each, and returns what the checks
// found.
inline Findings run(const QByteArray &bytes, const QString &name = QStringLiteral("x.mkv"),
                    quint32 profiles = 0)
{
    Findings findings;
    InputDevice device;
    device.openBuffer(bytes);
    ElementTracker tracker;
    Chain::Settings settings;
    settings.checkCrcs = settings.conformance = settings.modern = true;
    settings.profiles = profiles;
    Collector collector(&findings.all);
    Chain chain(&collector, &device, settings, &tracker);
    ContainerMKV parser;
    parser.modernMatroska = true;
    parser.binaryLimit = 16;
    parser.parseFile(name, &device, chain.head());
    return findings;
}

} // namespace checkrun
