#include "chain.h"

#include "boundsstage.h"
#include "checkstage.h"
#include "classicstage.h"
#include "crcstage.h"
#include "progressstage.h"
#include "schemahintstage.h"
#include "summarystage.h"

Chain::Chain(Sink *writer, InputDevice *input, const Settings &settings)
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
        add(new SummaryStage(m_head));
    if (settings.conformance)
        add(new CheckStage(m_head, input));
    m_bounds = new BoundsStage(m_head);
    add(m_bounds);
    if (settings.checkCrcs)
        add(new CrcStage(m_head, input));
    if (settings.schemaHint) {
        m_hint = new SchemaHintStage(m_head);
        add(m_hint);
    }
    if (!settings.modern)
        add(new ClassicStage(m_head, input, settings.sizeBase));
}

Chain::~Chain() = default;

const PastEnd *Chain::firstPastEnd() const
{
    return m_bounds->firstPastEnd();
}

QString Chain::schemaHint() const
{
    return m_hint ? m_hint->hint() : QString();
}
