#pragma once

#include "sink.h"

#include <QSet>
#include <QStringList>

class InputDevice;

// Counts the elements that the plug-in calls unknown but today's schema
// (RFC 8794, RFC 9559) knows, for a hint that the modern reading shows them.
// It reads each such element's ID from input, without moving its position.
class SchemaHintStage : public Stage
{
public:
    SchemaHintStage(Sink *next, InputDevice *input)
        : Stage(next)
        , m_input(input)
    {}

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void noteElement(NoteKind kind, const QString &text) override;
    void endElement() override;

    // The hint's text, or empty when the walk met no such element.
    QString hint() const;

private:
    static constexpr int NamesShown = 3;

    InputDevice *m_input;
    // Where the innermost open element begins, with its ID; cleared when an
    // element ends, since an annotation after that is its parent's. Rows
    // pass this stage by: the ID's length is in its first byte.
    bool m_open = false;
    quint64 m_offset = 0;
    quint64 m_count = 0;
    QSet<quint32> m_seen;
    QStringList m_names; // the first of the distinct ones, in the order met
};
