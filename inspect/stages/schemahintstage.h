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
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;

    // The hint's text, or empty when the walk met no such element.
    QString hint() const;

protected:
    bool takesRows() const override { return true; }

private:
    static constexpr int NamesShown = 3;

    InputDevice *m_input;
    bool m_firstRow = false; // the innermost element's next row is its first, the "id" row
    quint64 m_idOffset = 0;
    quint64 m_idLength = 0; // 0: the innermost element's ID is not known
    quint64 m_count = 0;
    QSet<quint32> m_seen;
    QStringList m_names; // the first of the distinct ones, in the order met
};
