// SPDX-License-Identifier: MIT
// What the blocks make of the tracks: laced blocks of a track whose
// FlagLacing is 0, and TrackEntries whose track has no block at all. Both are
// told when the Segment ends, once per track.
#include "check.h"

#include <algorithm>
#include <vector>

namespace {

// Most TrackEntries held, and most numbers of blocks that came before a
// TrackEntry of theirs.
constexpr size_t MaxTracks = 1024;
constexpr size_t MaxEarly = 256;

class TrackUseChecks : public Check
{
public:
    void begin(CheckContext &c) override
    {
        switch (c.current().id) {
        case Id::Segment:
            if (c.depth() == 1)
                beginSegment();
            break;
        case Id::TrackEntry: m_entry = Track(); break;
        case Id::SimpleBlock:
        case Id::Block: m_block = nullptr; break;
        default: break;
        }
    }

    bool wantsRows(const OpenElement &element) const override
    {
        return element.id == Id::SimpleBlock || element.id == Id::Block;
    }

    // Most rows of a block are neither: they return at once.
    void row(CheckContext &c, const CheckedRow &row) override
    {
        if (row.kind == RowKind::TrackNumber)
            blockOf(quint64(row.number));
        else if (row.kind == RowKind::Flags && (row.number & 0x06) && m_block && !m_block->lacing)
            laced(c);
    }

    void end(CheckContext &c) override
    {
        const OpenElement &e = c.current();
        switch (e.id) {
        case Id::TrackNumber:
        case Id::FlagLacing:
            if (c.parentId() == Id::TrackEntry && e.hasValue) {
                if (e.id == Id::TrackNumber)
                    m_entry.number = quint64(e.number);
                else
                    m_entry.lacing = e.number != 0;
            }
            break;
        case Id::TrackEntry: endTrackEntry(c); break;
        case Id::Segment:
            if (c.depth() == 1)
                endSegment(c);
            break;
        default: break;
        }
    }

    void finish(CheckContext &c) override
    {
        Q_UNUSED(c);
        beginSegment();
    }

private:
    struct Track
    {
        quint64 number = 0;
        bool lacing = true; // FlagLacing, 1 by default
        quint64 offset = 0; // of the TrackEntry
        QString path;
        quint64 blocks = 0, laced = 0;
        quint64 lacedOffset = 0; // the first laced block
        QString lacedPath;
    };

    void beginSegment()
    {
        m_tracks.clear();
        m_early.clear();
        m_last = 0;
        m_block = nullptr;
    }

    // The track of a block's number, counted; null when no TrackEntry has it.
    Q_NEVER_INLINE void blockOf(quint64 number)
    {
        if (m_last >= m_tracks.size() || m_tracks[m_last].number != number) {
            const auto it
                = std::lower_bound(m_tracks.begin(), m_tracks.end(), number,
                                   [](const Track &t, quint64 n) { return t.number < n; });
            if (it == m_tracks.end() || it->number != number) {
                const auto early = std::lower_bound(m_early.begin(), m_early.end(), number);
                if ((early == m_early.end() || *early != number) && m_early.size() < MaxEarly)
                    m_early.insert(early, number);
                return;
            }
            m_last = size_t(it - m_tracks.begin());
        }
        m_block = &m_tracks[m_last];
        ++m_block->blocks;
    }

    Q_NEVER_INLINE void laced(CheckContext &c)
    {
        if (m_block->laced++ == 0) {
            m_block->lacedOffset = c.current().offset;
            m_block->lacedPath = c.currentPath();
        }
    }

    void endTrackEntry(CheckContext &c)
    {
        if (!m_entry.number || c.inRecurringCopy() || m_tracks.size() >= MaxTracks)
            return;
        const auto it = std::lower_bound(m_tracks.begin(), m_tracks.end(), m_entry.number,
                                         [](const Track &t, quint64 n) { return t.number < n; });
        if (it != m_tracks.end() && it->number == m_entry.number)
            return; // tracks-duplicate tells
        m_entry.offset = c.current().offset;
        m_entry.path = c.currentPath();
        // Blocks of its number that came before it count as its own.
        m_entry.blocks = std::binary_search(m_early.begin(), m_early.end(), m_entry.number);
        m_tracks.insert(it, m_entry);
        m_block = nullptr;
    }

    void endSegment(CheckContext &c)
    {
        // In the order of the file: the TrackEntries, then the blocks.
        for (const Track &t : m_tracks)
            if (!t.blocks)
                c.reportAt(
                    Severity::Warning, "track-empty", t.offset, [&] { return t.path; },
                    [&] { return QStringLiteral("track %1 has no block").arg(t.number); });
        std::vector<const Track *> laced;
        for (const Track &t : m_tracks)
            if (t.laced)
                laced.push_back(&t);
        std::sort(laced.begin(), laced.end(),
                  [](const Track *a, const Track *b) { return a->lacedOffset < b->lacedOffset; });
        for (const Track *t : laced)
            c.reportAt(
                Severity::Warning, "lacing-flag", t->lacedOffset, [&] { return t->lacedPath; },
                [&] {
                    return QStringLiteral("%1 laced blocks of track %2, whose FlagLacing is 0; "
                                          "this is the first")
                        .arg(t->laced)
                        .arg(t->number);
                });
        beginSegment();
    }

    std::vector<Track> m_tracks; // sorted by number
    std::vector<quint64> m_early;
    size_t m_last = 0;        // the track of the last block
    Track *m_block = nullptr; // the track of the block being walked
    Track m_entry;            // the TrackEntry being walked
};

} // namespace

void addTrackUseChecks(Checks *checks)
{
    checks->push_back(std::make_unique<TrackUseChecks>());
}
