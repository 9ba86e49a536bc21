// SPDX-License-Identifier: MIT
#include "progressstage.h"

namespace {

// 1536 MiB shows as 1.5 GiB.
void formatBytes(char *out, size_t size, double bytes)
{
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    std::snprintf(out, size, unit ? "%.1f %s" : "%.0f %s", bytes, units[unit]);
}

} // namespace

ProgressStage::ProgressStage(Sink *next, std::FILE *terminal)
    : Stage(next)
    , m_terminal(terminal)
{
    m_clock.start();
}

void ProgressStage::beginFile(const QString &fileName, quint64 size)
{
    m_total = size;
    m_next->beginFile(fileName, size);
}

void ProgressStage::endFile()
{
    stop();
    m_next->endFile();
}

void ProgressStage::draw(quint64 offset)
{
    const qint64 now = m_clock.elapsed();
    if (now - m_drawnAt < 250 || m_total == 0 || !m_terminal)
        return;
    m_drawnAt = now;
    offset = qMin(offset, m_total);
    const double seconds = double(now) / 1000.0;
    const double rate = seconds > 0 ? double(offset) / seconds : 0;
    char done[32], all[32], speed[32];
    formatBytes(done, sizeof done, double(offset));
    formatBytes(all, sizeof all, double(m_total));
    formatBytes(speed, sizeof speed, rate);
    const double left = rate > 0 ? double(m_total - offset) / rate : 0;
    std::fprintf(m_terminal, "\r\033[K%s of %s (%.0f %%), %s/s, %.0f s left", done, all,
                 100.0 * double(offset) / double(m_total), speed, left);
    std::fflush(m_terminal);
    m_drawn = true;
}

void ProgressStage::stop()
{
    if (m_drawn) {
        std::fputs("\r\033[K", m_terminal);
        std::fflush(m_terminal);
    }
    m_drawn = false;
}
