#include "boundsstage.h"

void BoundsStage::beginFile(const QString &fileName, quint64 size)
{
    m_fileSize = size;
    m_next->beginFile(fileName, size);
}

void BoundsStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    const quint64 remaining = offset < m_fileSize ? m_fileSize - offset : 0;
    const quint64 end = elementEnd(offset, size);
    unsigned marks = 0;
    if (size > remaining) {
        marks |= PastFileEnd;
        if (!m_found) {
            m_found = true;
            m_first = PastEnd {name, offset, size, remaining};
        }
    }
    if (!m_ends.empty() && end > m_ends.back())
        marks |= PastParentEnd;
    m_ends.push_back(end);
    if (marks)
        m_next->mark(marks);
    m_next->beginElement(offset, size, name, tag);
}

void BoundsStage::endElement()
{
    if (!m_ends.empty())
        m_ends.pop_back();
    m_next->endElement();
}

void BoundsStage::endFile()
{
    if (m_found)
        m_next->pastEndFound(m_first);
    m_next->endFile();
}
