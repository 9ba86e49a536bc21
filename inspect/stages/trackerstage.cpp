// SPDX-License-Identifier: MIT
#include "trackerstage.h"

void TrackerStage::announce(const OpenElement &e, const QString &name)
{
    if (e.pastFileEnd && !m_found) {
        m_found = true;
        const quint64 fileSize = m_tracker->fileSize();
        m_first = PastEnd {name, e.offset, e.size, e.offset < fileSize ? fileSize - e.offset : 0};
    }
    m_next->mark((e.pastFileEnd ? PastFileEnd : 0u) | (e.pastParentEnd ? PastParentEnd : 0u));
}

void TrackerStage::endFile()
{
    if (m_found)
        m_next->pastEndFound(m_first);
    m_next->endFile();
}
