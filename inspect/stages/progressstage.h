// SPDX-License-Identifier: MIT
#pragma once

#include "sink.h"

#include <QElapsedTimer>

#include <cstdio>

// A progress line on a terminal: bytes walked of the total, the rate and the
// time left, redrawn a few times a second and cleared when the walk ends,
// before the writer's last words.
class ProgressStage : public Stage
{
public:
    ProgressStage(Sink *next, std::FILE *terminal);
    ~ProgressStage() override { stop(); }

    void beginFile(const QString &fileName, quint64 size) override;
    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override
    {
        if (++m_elements % 4096 == 0)
            draw(offset);
        m_next->beginElement(offset, size, name, tag);
    }
    void endFile() override;

private:
    void draw(quint64 offset);
    void stop();

    std::FILE *m_terminal;
    QElapsedTimer m_clock;
    quint64 m_total = 0;
    qint64 m_drawnAt = 0;
    quint64 m_elements = 0;
    bool m_drawn = false;
};
