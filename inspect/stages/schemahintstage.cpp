// SPDX-License-Identifier: MIT
#include "schemahintstage.h"

#include "matroskaschema.h"

void SchemaHintStage::noteElement(NoteKind kind, const QString &text)
{
    if (kind == NoteKind::UnknownElement && !m_tracker.empty() && m_tracker.current().id >= 0) {
        const quint32 id = quint32(m_tracker.current().id);
        if (const MatroskaSchema::Element *element = MatroskaSchema::find(id)) {
            ++m_count;
            if (!m_seen.contains(id)) {
                m_seen.insert(id);
                if (m_names.size() < NamesShown)
                    m_names.append(MatroskaSchema::name(*element));
            }
        }
    }
    m_next->noteElement(kind, text);
}

QString SchemaHintStage::hint() const
{
    if (m_count == 0)
        return QString();
    QString names = m_names.join(QStringLiteral(", "));
    if (m_seen.size() > m_names.size())
        names += QStringLiteral(", ...");
    return m_count == 1
        ? QStringLiteral("1 element belongs to today's Matroska (%1); drop --classic to see it")
              .arg(names)
        : QStringLiteral("%1 elements belong to today's Matroska (%2); drop --classic to see them")
              .arg(m_count)
              .arg(names);
}
