#include "checkstage.h"

#include "ebmldecoder.h"
#include "inputdevice.h"
#include "matroskaschema.h"

#include <QtAlgorithms>

#include <cstring>
#include <limits>

QString CheckContext::step(const QString &name, quint64 index)
{
    QString text = QLatin1Char('/') + name;
    if (index > 1)
        text += QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
    return text;
}

QString CheckContext::pathTo(size_t depth) const
{
    const size_t count = depth + 1; // steps of the whole path
    const bool elided = count > PathComponents;
    QString text;
    for (size_t i = 0; i < depth; ++i) {
        if (elided && i == PathEnds) {
            text += QStringLiteral("/...[%1 more]...").arg(count - 2 * PathEnds);
            i = count - PathEnds;
        }
        text += step(m_open[i].name, m_open[i].index);
    }
    return text;
}

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

CheckStage::CheckStage(Sink *next, InputDevice *input)
    : Stage(next)
    , m_context(next, input)
{
    addSchemaChecks(&m_checks);
    addTargetChecks(&m_checks);
    addStreamChecks(&m_checks);
    Q_ASSERT(m_checks.size() <= 32); // a bit each in rowChecks
}

CheckStage::~CheckStage() = default;

void CheckStage::beginFile(const QString &fileName, quint64 size)
{
    m_context = CheckContext(m_context.m_next, m_context.m_input);
    m_context.m_fileSize = size;
    m_children.assign(1, {});
    m_next->beginFile(fileName, size);
}

void CheckStage::mark(unsigned marks)
{
    m_marks |= marks;
    m_next->mark(marks);
}

void CheckStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    m_next->beginElement(offset, size, name, tag);
    CheckedElement element;
    element.offset = offset;
    element.size = size;
    element.end = elementEnd(offset, size);
    element.id = tag;
    element.name = name;
    element.marks = m_marks;
    m_marks = 0;
    element.index = nextIndex(m_children.back(), name, tag);
    element.dataOffset = offset;
    element.segment = tag == Id::Segment ? m_context.m_open.size()
        : m_context.m_open.empty()       ? NoSegment
                                         : m_context.m_open.back().segment;
    if (tag == Id::Ebml && offset == 0 && m_context.m_open.empty())
        m_context.sawEbmlHeader = true;
    m_context.m_open.push_back(std::move(element));
    m_children.emplace_back();
    CheckedElement &opened = m_context.m_open.back();
    for (size_t i = 0; i < m_checks.size(); ++i) {
        m_checks[i]->begin(m_context);
        if (m_checks[i]->wantsRows(opened))
            opened.rowChecks |= 1u << i;
    }
}

quint64 CheckStage::nextIndex(Children &children, const QString &name, qint64 id)
{
    std::vector<NameCount> &names = children.names;
    if (children.last < names.size()) {
        NameCount &last = names[children.last];
        if (id >= 0 ? last.id == id : last.id < 0 && last.name == name)
            return ++last.count;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].name == name) {
            children.last = i;
            return ++names[i].count;
        }
    }
    children.last = names.size();
    names.push_back(NameCount {id, name, 1});
    return 1;
}

void CheckStage::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                          const QString &name, const QString &value, const QString &extra,
                          const QString &meaning, qint64 tag)
{
    m_rows->addField(flag, offset, code, length, name, value, extra, meaning, tag);
    if (m_context.m_open.empty())
        return;
    CheckedElement &element = m_context.m_open.back();
    const RowKind kind = rowKind(code);
    switch (kind) {
    case RowKind::Id: element.idLength = quint8(qMin<quint64>(length, 255)); break;
    case RowKind::Size: {
        element.sizeLength = quint8(qMin<quint64>(length, 255));
        element.dataOffset = offset + length;
        // The node's length is its header and its payload (for an unknown
        // size, the extent the walk found).
        const quint64 header = quint64(element.idLength) + element.sizeLength;
        element.dataSize = element.size > header ? element.size - header : 0;
        element.unknownSize = unknownSize(element, tag);
        break;
    }
    case RowKind::Value:
        element.hasValue = true;
        element.number = tag;
        element.value = value;
        readHeaderFact(element);
        break;
    default: break;
    }
    if (kind == RowKind::Size) {
        for (const auto &check : m_checks)
            check->header(m_context);
    }
    if (!element.rowChecks)
        return;
    const CheckedRow row {kind, offset, length, tag, value};
    for (quint32 wanted = element.rowChecks; wanted; wanted &= wanted - 1)
        m_checks[size_t(qCountTrailingZeroBits(wanted))]->row(m_context, row);
}

// Whether the size field of a stored value tag leaves the size unknown: all
// its value bits set in a master, whose extent the walk then found, which
// other elements do not have.
bool CheckStage::unknownSize(const CheckedElement &element, qint64 tag)
{
    if (!EbmlDecoder::unknownSize(quint64(tag), element.sizeLength))
        return false;
    const MatroskaSchema::Element *schema
        = element.id >= 0 ? MatroskaSchema::find(quint32(element.id)) : nullptr;
    return (schema && schema->type == MatroskaSchema::Master) || element.dataSize != quint64(tag);
}

void CheckStage::readHeaderFact(const CheckedElement &element)
{
    const CheckedElement *parent = m_context.parent();
    if (!parent || parent->id != Id::Ebml)
        return;
    const quint64 number = quint64(element.number);
    switch (element.id) {
    case Id::DocType: m_context.docType = element.value; break;
    case Id::DocTypeVersion: m_context.docTypeVersion = number; break;
    case Id::DocTypeReadVersion: m_context.docTypeReadVersion = number; break;
    case Id::EbmlMaxIdLength: m_context.maxIdLength = number; break;
    case Id::EbmlMaxSizeLength: m_context.maxSizeLength = number; break;
    default: break;
    }
}

void CheckStage::noteElement(NoteKind kind, const QString &text)
{
    m_next->noteElement(kind, text);
    if (m_context.m_open.empty())
        return;
    for (const auto &check : m_checks)
        check->annotation(m_context, kind);
}

void CheckStage::crcChecked(CrcVerdict verdict)
{
    m_next->crcChecked(verdict);
    if (m_context.m_open.empty())
        return;
    for (const auto &check : m_checks)
        check->crc(m_context, verdict);
}

void CheckStage::endElement()
{
    if (!m_context.m_open.empty()) {
        for (const auto &check : m_checks)
            check->end(m_context);
        m_context.m_open.pop_back();
        m_children.pop_back();
    }
    m_next->endElement();
}

void CheckStage::endFile()
{
    for (const auto &check : m_checks)
        check->finish(m_context);
    m_context.sendCounts();
    m_next->endFile();
}
