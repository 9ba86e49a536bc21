#pragma once

#include <QElapsedTimer>

#include <cstdio>

// A progress line on a terminal: bytes walked of the total, the rate and the
// time left, redrawn a few times a second and cleared when done. Costs one
// counter per element while it is off or between redraws.
class Progress
{
public:
    ~Progress() { stop(); }
    void start(std::FILE *terminal);
    void at(quint64 offset, quint64 total)
    {
        if (m_terminal && ++m_calls % 4096 == 0)
            draw(offset, total);
    }
    void stop();

private:
    void draw(quint64 offset, quint64 total);

    std::FILE *m_terminal = nullptr;
    QElapsedTimer m_clock;
    qint64 m_drawnAt = 0;
    quint64 m_calls = 0;
    bool m_drawn = false;
};
