#pragma once

#include "sink.h"

#include <QSet>
#include <QStringList>

// Counts the elements that the plug-in calls unknown but today's schema
// (RFC 8794, RFC 9559) knows, for a hint that the modern reading shows them.
class SchemaHintStage : public Stage
{
public:
    using Stage::Stage;

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void noteElement(NoteKind kind, const QString &text) override;
    void endElement() override;

    // The hint's text, or empty when the walk met no such element.
    QString hint() const;

private:
    static constexpr int NamesShown = 3;

    // The ID of the innermost open element, -1 once an element ends, since
    // an annotation after that is its parent's.
    qint64 m_id = -1;
    quint64 m_count = 0;
    QSet<quint32> m_seen;
    QStringList m_names; // the first of the distinct ones, in the order met
};
