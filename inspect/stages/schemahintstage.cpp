#include "schemahintstage.h"

#include "inputdevice.h"
#include "matroskaschema.h"

void SchemaHintStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    m_firstRow = true;
    m_idLength = 0;
    m_next->beginElement(offset, size, name, tag);
}

void SchemaHintStage::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                               const QString &name, const QString &value, const QString &extra,
                               const QString &meaning, qint64 tag)
{
    if (m_firstRow) {
        m_firstRow = false;
        if (length >= 1 && length <= 4 && name == QLatin1String("id")) {
            m_idOffset = offset;
            m_idLength = length;
        }
    }
    m_rows->addField(flag, offset, code, length, name, value, extra, meaning, tag);
}

void SchemaHintStage::annotateElement(const QString &text)
{
    unsigned char bytes[4];
    if (m_idLength && text == QLatin1String("Unknown element!")
        && m_input->readDirect(qint64(m_idOffset), reinterpret_cast<char *>(bytes),
                               qint64(m_idLength))
            == qint64(m_idLength)) {
        quint32 id = 0;
        for (quint64 i = 0; i < m_idLength; ++i)
            id = id << 8 | bytes[i];
        if (const MatroskaSchema::Element *element = MatroskaSchema::find(id)) {
            ++m_count;
            if (!m_seen.contains(id)) {
                m_seen.insert(id);
                if (m_names.size() < NamesShown)
                    m_names.append(MatroskaSchema::name(*element));
            }
        }
    }
    m_next->annotateElement(text);
}

void SchemaHintStage::endElement()
{
    // An annotation after this is a parent's, whose ID was not kept.
    m_idLength = 0;
    m_firstRow = false;
    m_next->endElement();
}

QString SchemaHintStage::hint() const
{
    if (m_count == 0)
        return QString();
    QString names = m_names.join(QStringLiteral(", "));
    if (m_seen.size() > m_names.size())
        names += QStringLiteral(", ...");
    return m_count == 1
        ? QStringLiteral("1 element belongs to today's Matroska (%1); --modern shows it").arg(names)
        : QStringLiteral("%1 elements belong to today's Matroska (%2); --modern shows them")
              .arg(m_count)
              .arg(names);
}
