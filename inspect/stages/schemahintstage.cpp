#include "schemahintstage.h"

#include "ebmldecoder.h"
#include "inputdevice.h"
#include "matroskaschema.h"

void SchemaHintStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    m_open = true;
    m_offset = offset;
    m_next->beginElement(offset, size, name, tag);
}

void SchemaHintStage::noteElement(NoteKind kind, const QString &text)
{
    unsigned char bytes[4] = {};
    const qint64 got = m_open && text == QLatin1String("Unknown element!")
        ? m_input->readDirect(qint64(m_offset), reinterpret_cast<char *>(bytes), 4)
        : 0;
    quint32 id = 0;
    if (EbmlDecoder::readId(bytes, got, &id)) {
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

void SchemaHintStage::endElement()
{
    m_open = false;
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
