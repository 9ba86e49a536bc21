// SPDX-License-Identifier: MIT
#include "chain.h"

#include "checkstage.h"
#include "classicstage.h"
#include "crcstage.h"
#include "progressstage.h"
#include "schemahintstage.h"
#include "summarystage.h"
#include "trackerstage.h"

Chain::Chain(Sink *writer, InputDevice *input, const Settings &settings, ElementTracker *tracker)
    : m_head(writer)
{
    auto add = [this](Stage *stage) {
        m_stages.emplace_back(stage);
        m_head = stage;
    };
    // Built from the writer outwards.
    if (settings.progress)
        add(new ProgressStage(m_head, settings.progress));
    if (settings.summary)
        add(new SummaryStage(m_head, *tracker));
    if (settings.conformance)
        add(new CheckStage(m_head, input, *tracker, settings.profiles));
    if (settings.checkCrcs)
        add(new CrcStage(m_head, input, *tracker));
    if (settings.schemaHint) {
        m_hint = new SchemaHintStage(m_head, *tracker);
        add(m_hint);
    }
    // Only the checks read names and sibling indexes (paths).
    tracker->keepPaths(settings.conformance);
    // The header and value facts are read by the checks, and the CRC
    // stage's by the CRC-32 elements.
    if (settings.modern)
        m_tracker
            = new TrackerStage(m_head, tracker, true, settings.conformance || settings.checkCrcs);
    else
        m_tracker = new ClassicStage(m_head, tracker, input, settings.sizeBase,
                                     settings.conformance || settings.checkCrcs);
    add(m_tracker);
}

Chain::~Chain() = default;

const PastEnd *Chain::firstPastEnd() const
{
    return m_tracker->firstPastEnd();
}

QString Chain::schemaHint() const
{
    return m_hint ? m_hint->hint() : QString();
}
