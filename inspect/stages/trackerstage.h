// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "sink.h"

// The chain's first stage: it keeps the tracker of open elements, which the
// stages and the writer after it read. An element is pushed before its
// beginElement goes on and popped after its endElement has gone on. Elements
// that claim more bytes than the file holds from their offset on, or that
// end after their parent, are marked to the sinks after it, and the first of
// the former is kept for the host's message.
//
// Rows fill in an element's header and value (OpenElement) when the chain
// has a stage that reads those facts; else rows pass this stage by.
class TrackerStage : public Stage
{
public:
    TrackerStage(Sink *next, ElementTracker *tracker, bool modern, bool rowFacts)
        : Stage(next)
        , m_tracker(tracker)
        , m_modern(modern)
        , m_rowFacts(rowFacts)
    {}

    void beginFile(const QString &fileName, quint64 size) override
    {
        m_tracker->beginFile(size, m_modern);
        m_next->beginFile(fileName, size);
    }
    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override
    {
        m_tracker->open(offset, size, name, tag);
        const OpenElement &e = m_tracker->current();
        if (e.pastFileEnd || e.pastParentEnd)
            announce(e, name);
        m_next->beginElement(offset, size, name, tag);
    }
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override
    {
        // Only the Id, Size and Value rows say facts; the others pass the
        // tracker by: --check of many-blocks from 1,314.0M to 1,294.0M
        // instructions.
        const RowKind kind = rowKind(code);
        if (kind == RowKind::Id || kind == RowKind::Size || kind == RowKind::Value)
            m_tracker->row(kind, offset, length, tag);
        m_rows->addField(flag, offset, code, length, name, value, extra, meaning, tag);
    }
    void endElement() override
    {
        m_next->endElement();
        m_tracker->close();
    }
    void endFile() override;

    // Null when every element fits in the file.
    const PastEnd *firstPastEnd() const { return m_found ? &m_first : nullptr; }

protected:
    bool takesRows() const override { return m_rowFacts; }

    ElementTracker *m_tracker;

private:
    Q_NEVER_INLINE void announce(const OpenElement &e, const QString &name);

    bool m_modern;
    bool m_rowFacts;
    bool m_found = false;
    PastEnd m_first;
};
