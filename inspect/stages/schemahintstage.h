// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "sink.h"

#include <QSet>
#include <QStringList>

// Counts the elements that the plug-in calls unknown but today's schema
// (RFC 8794, RFC 9559) knows, for a hint that the modern reading shows them.
class SchemaHintStage : public Stage
{
public:
    SchemaHintStage(Sink *next, const ElementTracker &tracker)
        : Stage(next)
        , m_tracker(tracker)
    {}

    void noteElement(NoteKind kind, const QString &text) override;

    // The hint's text, or empty when the walk met no such element.
    QString hint() const;

private:
    static constexpr int NamesShown = 3;

    const ElementTracker &m_tracker;
    quint64 m_count = 0;
    QSet<quint32> m_seen;
    QStringList m_names; // the first of the distinct ones, in the order met
};
