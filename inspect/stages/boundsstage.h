#pragma once

#include "sink.h"

#include <vector>

// Marks elements that claim more bytes than the file holds from their
// offset on, or that end after their parent, and keeps the first of the
// former for the host's message.
class BoundsStage : public Stage
{
public:
    using Stage::Stage;

    void beginFile(const QString &fileName, quint64 size) override;
    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void endElement() override;
    void endFile() override;

    // Null when every element fits in the file.
    const PastEnd *firstPastEnd() const { return m_found ? &m_first : nullptr; }

private:
    quint64 m_fileSize = 0;
    std::vector<quint64> m_ends; // of the open elements, saturated
    bool m_found = false;
    PastEnd m_first;
};
