// SPDX-License-Identifier: MIT
#pragma once

#include "check.h"

// The conformance checks as one stage of the chain: it keeps the EBML
// header's facts, hands every call to the check groups, and passes their
// findings on to the next sink as finding() calls. The open elements and
// their paths are the tracker's; the CRC stage's verdicts come before.
class CheckStage : public Stage
{
public:
    // profiles: a bit for each row of CheckProfiles whose checks are added.
    CheckStage(Sink *next, InputDevice *input, const ElementTracker &tracker, quint32 profiles = 0);
    ~CheckStage() override;

    void beginFile(const QString &fileName, quint64 size) override;
    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void noteElement(NoteKind kind, const QString &text) override;
    void crcChecked(CrcVerdict verdict) override;
    void endElement() override;
    void endFile() override;
    bool readsRowNumbers() const override { return true; }

protected:
    bool takesRows() const override { return true; }

private:
    void readHeaderFact(const QString &value, qint64 number);

    CheckContext m_context;
    Checks m_checks;
    // The groups that want the rows of the element that opened last, a bit
    // each: its rows come before its first child, and none after.
    quint32 m_rowChecks = 0;
    // That element has no child yet: what the tracker says, kept here
    // rather than asked on every row (--check of many-blocks from 1,294.0M
    // to 1,280.2M instructions).
    bool m_takesRows = false;
};
