// SPDX-License-Identifier: MIT
#include "checkstage.h"

#include "inputdevice.h"

#include <QStringList>
#include <QtAlgorithms>

#include <cstring>
#include <limits>

CheckContext::Tally &CheckContext::entry(const char *check)
{
    // Findings of one check come in runs; a check's ID is one literal,
    // but may be another copy of it in another source file.
    if (m_lastTally < m_tallies.size() && m_tallies[m_lastTally].check == check)
        return m_tallies[m_lastTally];
    for (size_t i = 0; i < m_tallies.size(); ++i) {
        if (m_tallies[i].check == check || !std::strcmp(m_tallies[i].check, check)) {
            m_lastTally = i;
            return m_tallies[i];
        }
    }
    m_lastTally = m_tallies.size();
    m_tallies.push_back(Tally {check});
    return m_tallies.back();
}

bool CheckContext::take(Severity severity, const char *check)
{
    Tally &tally = entry(check);
    if (tally.shown < ShownFindingsPerCheck) {
        ++tally.shown;
        return true;
    }
    ++tally.counted[int(severity)];
    return false;
}

void CheckContext::count(Severity severity, const char *check, quint64 n)
{
    entry(check).counted[int(severity)] += n;
}

void CheckContext::send(Severity severity, const char *check, quint64 offset, const QString &path,
                        const QString &message)
{
    Finding finding;
    finding.severity = severity;
    finding.check = check;
    finding.offset = offset;
    finding.path = path;
    finding.message = message;
    m_next->finding(finding);
}

void CheckContext::sendCounts()
{
    for (const Tally &tally : m_tallies) {
        for (int severity = 0; severity < 3; ++severity) {
            if (!tally.counted[severity])
                continue;
            Finding finding;
            finding.severity = Severity(severity);
            finding.check = tally.check;
            finding.counted = tally.counted[severity];
            m_next->finding(finding);
        }
    }
}

qint64 CheckContext::read(quint64 position, char *bytes, qint64 count) const
{
    if (position >= m_fileSize || count <= 0)
        return 0;
    const qint64 got = m_input->readDirect(qint64(position), bytes, count);
    return got > 0 ? got : 0;
}

const CheckProfile CheckProfiles[] = {
    {"mse", addMseChecks},
};
const int CheckProfileCount = int(sizeof CheckProfiles / sizeof CheckProfiles[0]);

bool readCheckProfiles(const QString &list, quint32 *profiles, QString *error)
{
    QStringList known;
    for (const CheckProfile &profile : CheckProfiles)
        known << QLatin1String(profile.name);
    for (const QString &name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype i = known.indexOf(name);
        if (i < 0) {
            *error = QStringLiteral("no profile '%1'; the profiles are %2")
                         .arg(name, known.join(QStringLiteral(", ")));
            return false;
        }
        *profiles |= 1u << i;
    }
    return true;
}

CheckStage::CheckStage(Sink *next, InputDevice *input, const ElementTracker &tracker,
                       quint32 profiles)
    : Stage(next)
    , m_context(next, input, tracker)
{
    addRecurringChecks(&m_checks); // first: it marks the copies that the others pass by
    addSetupChecks(&m_checks);     // before the schema's, whose value-range it makes precise
    addSchemaChecks(&m_checks);
    addTargetChecks(&m_checks);
    addStreamChecks(&m_checks);
    addIndexChecks(&m_checks);
    addTrackUseChecks(&m_checks);
    for (int i = 0; i < CheckProfileCount; ++i) {
        if (profiles & (1u << i))
            CheckProfiles[i].add(&m_checks);
    }
    Q_ASSERT(m_checks.size() <= 32); // a bit each in m_rowChecks
}

CheckStage::~CheckStage() = default;

void CheckStage::beginFile(const QString &fileName, quint64 size)
{
    m_context = CheckContext(m_context.m_next, m_context.m_input, *m_context.m_tracker);
    m_context.m_fileSize = size;
    m_takesRows = false;
    m_next->beginFile(fileName, size);
}

void CheckStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    m_next->beginElement(offset, size, name, tag);
    if (tag == Id::Ebml && offset == 0 && m_context.depth() == 1)
        m_context.sawEbmlHeader = true;
    const OpenElement &opened = m_context.current();
    m_takesRows = true;
    m_rowChecks = 0;
    for (size_t i = 0; i < m_checks.size(); ++i) {
        m_checks[i]->begin(m_context);
        if (m_checks[i]->wantsRows(opened))
            m_rowChecks |= 1u << i;
    }
}

void CheckStage::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                          const QString &name, const QString &value, const QString &extra,
                          const QString &meaning, qint64 tag)
{
    m_rows->addField(flag, offset, code, length, name, value, extra, meaning, tag);
    if (!m_takesRows)
        return;
    const RowKind kind = rowKind(code);
    if (kind == RowKind::Value)
        readHeaderFact(value, tag);
    if (kind == RowKind::Size) {
        for (const auto &check : m_checks)
            check->header(m_context);
    }
    if (!m_rowChecks)
        return;
    const CheckedRow row {kind, offset, length, tag, value};
    for (quint32 wanted = m_rowChecks; wanted; wanted &= wanted - 1)
        m_checks[size_t(qCountTrailingZeroBits(wanted))]->row(m_context, row);
}

void CheckStage::readHeaderFact(const QString &value, qint64 number)
{
    const quint32 id = quint32(m_context.current().id);
    if (m_context.parentId() != Id::Ebml || m_context.current().id < 0)
        return;
    switch (id) {
    case Id::DocType: m_context.docType = value; break;
    case Id::DocTypeVersion: m_context.docTypeVersion = quint64(number); break;
    case Id::DocTypeReadVersion: m_context.docTypeReadVersion = quint64(number); break;
    case Id::EbmlMaxIdLength: m_context.maxIdLength = quint64(number); break;
    case Id::EbmlMaxSizeLength: m_context.maxSizeLength = quint64(number); break;
    default: break;
    }
}

void CheckStage::noteElement(NoteKind kind, const QString &text)
{
    m_next->noteElement(kind, text);
    if (m_context.depth() == 0)
        return;
    for (const auto &check : m_checks)
        check->annotation(m_context, kind);
}

void CheckStage::crcChecked(CrcVerdict verdict)
{
    m_next->crcChecked(verdict);
    if (m_context.depth() == 0)
        return;
    for (const auto &check : m_checks)
        check->crc(m_context, verdict);
}

void CheckStage::endElement()
{
    if (m_context.depth() > 0) {
        for (const auto &check : m_checks)
            check->end(m_context);
    }
    m_rowChecks = 0;
    m_takesRows = false; // the element around it, if any, has a child now
    m_next->endElement();
}

void CheckStage::endFile()
{
    for (const auto &check : m_checks)
        check->finish(m_context);
    m_context.sendCounts();
    m_next->endFile();
}
