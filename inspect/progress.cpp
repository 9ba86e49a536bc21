#include "progress.h"

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

void Progress::start(std::FILE *terminal)
{
    m_terminal = terminal;
    m_clock.start();
}

void Progress::draw(quint64 offset, quint64 total)
{
    const qint64 now = m_clock.elapsed();
    if (now - m_drawnAt < 250 || total == 0)
        return;
    m_drawnAt = now;
    offset = qMin(offset, total);
    const double seconds = double(now) / 1000.0;
    const double rate = seconds > 0 ? double(offset) / seconds : 0;
    char done[32], all[32], speed[32];
    formatBytes(done, sizeof done, double(offset));
    formatBytes(all, sizeof all, double(total));
    formatBytes(speed, sizeof speed, rate);
    const double left = rate > 0 ? double(total - offset) / rate : 0;
    std::fprintf(m_terminal, "\r\033[K%s of %s (%.0f %%), %s/s, %.0f s left", done, all,
                 100.0 * double(offset) / double(total), speed, left);
    std::fflush(m_terminal);
    m_drawn = true;
}

void Progress::stop()
{
    if (m_drawn) {
        std::fputs("\r\033[K", m_terminal);
        std::fflush(m_terminal);
    }
    m_drawn = false;
    m_terminal = nullptr;
}
