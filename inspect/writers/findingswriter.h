// SPDX-License-Identifier: MIT
#pragma once

#include "sink.h"

#include <QByteArray>
#include <QString>

#include <map>

// Writes a file's findings into a buffer of its own, so that files checked
// at the same time can be printed in the order they were named. Each check
// shows at most ShownPerCheck findings of a file; the rest are counted.
// Subclasses write one format each.
class FindingsWriter : public Sink
{
public:
    static constexpr quint64 ShownPerCheck = ShownFindingsPerCheck;
    // file: the name the findings go under, as the user gave it.
    explicit FindingsWriter(const QString &file)
        : m_file(file)
    {}

    void beginElement(quint64, quint64, const QString &, qint64) override {}
    void addField(bool, quint64, quint8, quint64, const QString &, const QString &, const QString &,
                  const QString &, qint64) override
    {}
    void annotateElement(const QString &) override {}
    void endElement() override {}
    void addFrame(const FrameRecord &) override {}
    void topLevelParsed(int) override {}

    void beginFile(const QString &fileName, quint64 size) override;
    void finding(const Finding &finding) override;
    void endFile() override;
    // The file's record when it could not be checked (it cannot be opened,
    // or the plug-in refuses it), in place of its findings: one per file
    // named, so that a batch's records stay aligned with its arguments.
    virtual void notChecked(const QString &reason) = 0;

    const QByteArray &output() const { return m_output; }
    quint64 errors() const { return m_errors; }
    quint64 warnings() const { return m_warnings; }

protected:
    struct Count
    {
        quint64 errors = 0;
        quint64 warnings = 0;
        quint64 infos = 0;
        quint64 shown = 0;
    };
    virtual void write(const Finding &finding) = 0;
    virtual void writeEnd() = 0;

    QByteArray m_output;
    QString m_file;
    quint64 m_size = 0;
    quint64 m_errors = 0;
    quint64 m_warnings = 0;
    quint64 m_omitted = 0;
    std::map<QByteArray, Count> m_counts; // by check ID, in order
};

// One line per finding: "FILE: SEVERITY CHECK OFFSET PATH: MESSAGE", then a
// summary line with the errors and warnings of each check.
class FindingsTextWriter : public FindingsWriter
{
public:
    using FindingsWriter::FindingsWriter;
    // "FILE: not checked: REASON"
    void notChecked(const QString &reason) override;

protected:
    void write(const Finding &finding) override;
    void writeEnd() override;
};

// One JSON document per file, on one line:
// {"file": ..., "size": ..., "findings": [...], "errors": N, "warnings": N}
class FindingsJsonWriter : public FindingsWriter
{
public:
    using FindingsWriter::FindingsWriter;
    // {"file": ..., "error": REASON, "errors": N, "warnings": N}
    void notChecked(const QString &reason) override;

protected:
    void write(const Finding &finding) override;
    void writeEnd() override;

private:
    void open(); // the document up to its findings, once
    bool m_opened = false;
};
