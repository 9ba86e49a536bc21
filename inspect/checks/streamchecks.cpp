// SPDX-License-Identifier: MIT
// Blocks, tracks and the walk's marks: elements past their parent or the
// file, CRC-32 mismatches, skipped bytes, block headers and lacing, track
// numbers of blocks and TrackEntries, Cluster timestamps.
#include "check.h"

#include "ebmldecoder.h"

#include <algorithm>
#include <limits>

namespace {

// Most TrackEntries whose numbers and UIDs are held, and most distinct
// unknown track numbers held until the Tracks of their Segment come.
constexpr size_t MaxTracks = 1024;
constexpr size_t MaxPending = 256;

const char *const BlockTrack = "block-track";
// Most known track numbers a finding lists.
constexpr size_t ListedTracks = 8;

constexpr size_t NoDepth = std::numeric_limits<size_t>::max();

bool isBlock(qint64 id)
{
    return id == Id::SimpleBlock || id == Id::Block;
}

// Values (track numbers or UIDs) with the offset of the TrackEntry that
// first had each, sorted, and at most MaxTracks of them.
class ValueSet
{
public:
    struct Entry
    {
        quint64 value;
        quint64 offset;
    };

    const Entry *find(quint64 value) const
    {
        const auto it = lowerBound(value);
        return it != m_entries.end() && it->value == value ? &*it : nullptr;
    }
    bool contains(quint64 value) const { return find(value) != nullptr; }
    // Adds value unless it is held or the set is full; false when full.
    bool insert(quint64 value, quint64 offset)
    {
        const auto it = lowerBound(value);
        if (it != m_entries.end() && it->value == value)
            return true;
        if (m_entries.size() >= MaxTracks)
            return false;
        m_entries.insert(it, Entry {value, offset});
        return true;
    }
    void clear() { m_entries.clear(); }
    bool empty() const { return m_entries.empty(); }
    const std::vector<Entry> &entries() const { return m_entries; }

private:
    std::vector<Entry>::const_iterator lowerBound(quint64 value) const
    {
        return std::lower_bound(m_entries.begin(), m_entries.end(), value,
                                [](const Entry &e, quint64 v) { return e.value < v; });
    }
    std::vector<Entry> m_entries;
};

class StreamChecks : public Check
{
public:
    void begin(CheckContext &c) override;
    bool wantsRows(const OpenElement &element) const override;
    void row(CheckContext &c, const CheckedRow &row) override;
    void annotation(CheckContext &c, NoteKind kind) override;
    void end(CheckContext &c) override;
    void crc(CheckContext &c, CrcVerdict verdict) override;
    void finish(CheckContext &c) override;

private:
    // The blocks of a track number that no TrackEntry had yet, before any
    // Tracks: how many, and the first of them as long as they may be shown.
    struct Held
    {
        quint64 offset;
        QString parentPath; // shared by the blocks of one parent
        QString name;
        quint64 index;
    };
    struct Pending
    {
        quint64 track;
        quint64 blocks = 0;
        std::vector<Held> first;
    };

    void beginSegment();
    void blockRow(CheckContext &c, const CheckedRow &row);
    void blockTrack(CheckContext &c, quint64 track);
    void endTrackEntry(CheckContext &c);
    void clusterTimestamp(CheckContext &c, quint64 timestamp);
    void resolvePending(CheckContext &c, bool tracksCame);
    void lacesMisfit(CheckContext &c);
    void shortBlock(CheckContext &c);
    QString knownTracks() const;

    size_t m_pastEndDepth = NoDepth; // the deepest element past the file's end so far

    // The Segment's tracks.
    ValueSet m_numbers, m_uids;
    bool m_tracksCame = false;    // a Tracks element has ended
    bool m_tracksTooMany = false; // more TrackEntries than held: no block-track
    std::vector<Pending> m_pending;
    size_t m_lastPending = 0; // blocks come in runs of one track
    // The path that the held blocks of one parent share, and where that
    // parent is.
    QString m_parentPath;
    quint64 m_parentOffset = 0;
    size_t m_parentDepth = 0;

    // The TrackEntry being walked.
    bool m_entryHasNumber = false, m_entryHasUid = false;
    quint64 m_entryNumber = 0, m_entryUid = 0;

    // Cluster timestamps.
    bool m_clusterTimed = false; // the open Cluster's Timestamp came
    bool m_hasPrevious = false;
    quint64 m_previous = 0;
    quint64 m_previousOffset = 0;

    // The block being walked.
    quint64 m_trackLength = 0; // of its track number, 0 before the row
    quint64 m_dataLength = 0;
    quint64 m_flagsOffset = 0;
    bool m_hasFlags = false;
    quint64 m_laceCount = 0;
    quint64 m_laceSizes = 0;
    quint64 m_laceTotal = 0;

    // The last CRC-32 that is the first child of its master.
    quint64 m_crcParent = std::numeric_limits<quint64>::max(); // its master's offset
    QString m_crcValue;
    quint64 m_crcEnd = 0;
};

void StreamChecks::beginSegment()
{
    m_numbers.clear();
    m_uids.clear();
    m_tracksCame = false;
    m_tracksTooMany = false;
    m_pending.clear();
    m_hasPrevious = false;
}

void StreamChecks::begin(CheckContext &c)
{
    const OpenElement &e = c.current();
    if (e.pastParentEnd) {
        if (const OpenElement *parent = c.parent())
            c.report(Severity::Error, "past-parent", [&] {
                return QStringLiteral("%1 ends at %2, %3 bytes past the end of its %4 at %5")
                    .arg(e.name)
                    .arg(e.end)
                    .arg(e.end - parent->end)
                    .arg(parent->name)
                    .arg(parent->end);
            });
    }
    if (e.pastFileEnd)
        m_pastEndDepth = c.depth() - 1;

    switch (e.id) {
    case Id::SimpleBlock:
    case Id::Block:
        m_trackLength = 0;
        m_dataLength = 0;
        m_hasFlags = false;
        m_laceCount = 0;
        m_laceSizes = 0;
        m_laceTotal = 0;
        break;
    case Id::Cluster: m_clusterTimed = false; break;
    case Id::TrackEntry:
        m_entryHasNumber = false;
        m_entryHasUid = false;
        break;
    case Id::Segment:
        if (c.depth() == 1)
            beginSegment();
        break;
    default: break;
    }
}

bool StreamChecks::wantsRows(const OpenElement &element) const
{
    switch (element.id) {
    case Id::SimpleBlock:
    case Id::Block:
    case Id::TrackNumber:
    case Id::TrackUid:
    case Id::Timestamp:
    case Id::Crc32: return true;
    default: return false;
    }
}

void StreamChecks::row(CheckContext &c, const CheckedRow &row)
{
    const OpenElement &e = c.current();
    switch (e.id) {
    case Id::SimpleBlock:
    case Id::Block: blockRow(c, row); break;
    case Id::TrackNumber:
    case Id::TrackUid:
        if (c.parentId() == Id::TrackEntry && row.kind == RowKind::Value) {
            const quint64 value = quint64(row.number);
            if (e.id == Id::TrackNumber && !m_entryHasNumber) {
                m_entryHasNumber = true;
                m_entryNumber = value;
            } else if (e.id == Id::TrackUid && !m_entryHasUid) {
                m_entryHasUid = true;
                m_entryUid = value;
            }
        }
        break;
    case Id::Timestamp:
        if (c.parentId() == Id::Cluster && row.kind == RowKind::Value)
            clusterTimestamp(c, quint64(row.number));
        break;
    case Id::Crc32:
        if (row.kind == RowKind::Value && c.parent() && c.parent()->dataOffset == e.offset) {
            m_crcParent = c.parent()->offset;
            m_crcValue = row.value;
            m_crcEnd = e.end;
        }
        break;
    default: break;
    }
}

void StreamChecks::blockRow(CheckContext &c, const CheckedRow &row)
{
    switch (row.kind) {
    case RowKind::TrackNumber: {
        m_trackLength = row.length;
        blockTrack(c, quint64(row.number));
        break;
    }
    case RowKind::Flags:
        m_hasFlags = true;
        m_flagsOffset = row.offset;
        break;
    case RowKind::Data: m_dataLength = row.length; break;
    case RowKind::LaceCount: m_laceCount = quint64(row.number); break;
    case RowKind::LaceSize:
        ++m_laceSizes;
        m_laceTotal += quint64(row.number);
        break;
    default: break;
    }
}

void StreamChecks::blockTrack(CheckContext &c, quint64 track)
{
    if (m_tracksTooMany || m_numbers.contains(track))
        return;
    const OpenElement &e = c.current();
    if (m_tracksCame) {
        c.report(Severity::Error, BlockTrack, [&] {
            return QStringLiteral("%1 of track %2, which no TrackEntry has (tracks: %3)")
                .arg(e.name)
                .arg(track)
                .arg(knownTracks());
        });
        return;
    }
    // Blocks before the Tracks wait for them.
    if (m_lastPending >= m_pending.size() || m_pending[m_lastPending].track != track) {
        m_lastPending = 0;
        while (m_lastPending < m_pending.size() && m_pending[m_lastPending].track != track)
            ++m_lastPending;
        if (m_lastPending == m_pending.size()) {
            if (m_pending.size() == MaxPending)
                return;
            m_pending.push_back(Pending {track, 0, {}});
        }
    }
    Pending &pending = m_pending[m_lastPending];
    ++pending.blocks;
    if (pending.first.size() >= c.shownLeft(BlockTrack))
        return;
    const size_t depth = c.depth() - 1;
    const quint64 parent = depth ? c.parent()->offset : 0;
    if (m_parentPath.isNull() || m_parentOffset != parent || m_parentDepth != depth) {
        m_parentPath = c.pathTo(depth);
        m_parentOffset = parent;
        m_parentDepth = depth;
    }
    pending.first.push_back(Held {e.offset, m_parentPath, e.name, e.index});
}

void StreamChecks::resolvePending(CheckContext &c, bool tracksCame)
{
    // The blocks held, of the numbers still unknown, in the order of the
    // file; the rest are counted.
    std::vector<std::pair<const Held *, quint64>> held;
    for (const Pending &p : m_pending) {
        if (m_numbers.contains(p.track) || m_tracksTooMany)
            continue;
        for (const Held &h : p.first)
            held.emplace_back(&h, p.track);
        c.count(Severity::Error, BlockTrack, p.blocks - p.first.size());
    }
    std::sort(held.begin(), held.end(),
              [](const auto &a, const auto &b) { return a.first->offset < b.first->offset; });
    for (const auto &item : held) {
        const Held *h = item.first;
        const quint64 track = item.second;
        c.reportAt(
            Severity::Error, BlockTrack, h->offset,
            [&] { return h->parentPath + CheckContext::step(h->name, h->index); },
            [&] {
                return tracksCame
                    ? QStringLiteral("%1 of track %2, which no TrackEntry of the Tracks after "
                                     "it has (tracks: %3)")
                          .arg(h->name)
                          .arg(track)
                          .arg(knownTracks())
                    : QStringLiteral("%1 of track %2, and its Segment has no Tracks")
                          .arg(h->name)
                          .arg(track);
            });
    }
    m_pending.clear();
}

QString StreamChecks::knownTracks() const
{
    if (m_numbers.empty())
        return QStringLiteral("none");
    QString text;
    size_t listed = 0;
    for (const ValueSet::Entry &entry : m_numbers.entries()) {
        if (listed == ListedTracks) {
            text += QStringLiteral(", ...");
            break;
        }
        if (listed++)
            text += QStringLiteral(", ");
        text += QString::number(entry.value);
    }
    return text;
}

void StreamChecks::endTrackEntry(CheckContext &c)
{
    if (c.inRecurringCopy()) { // the tracks of the first copy, again
        m_entryHasNumber = m_entryHasUid = false;
        return;
    }
    const auto duplicate = [&](ValueSet &set, const char *field, quint64 value) {
        if (const ValueSet::Entry *earlier = set.find(value)) {
            c.report(Severity::Error, "tracks-duplicate", [&] {
                return QStringLiteral("%1 %2 is already that of the TrackEntry at %3")
                    .arg(QLatin1String(field))
                    .arg(value)
                    .arg(earlier->offset);
            });
        } else if (!set.insert(value, c.current().offset)) {
            m_tracksTooMany = true;
        }
    };
    if (m_entryHasNumber)
        duplicate(m_numbers, "TrackNumber", m_entryNumber);
    if (m_entryHasUid)
        duplicate(m_uids, "TrackUID", m_entryUid);
    m_entryHasNumber = false;
    m_entryHasUid = false;
}

void StreamChecks::clusterTimestamp(CheckContext &c, quint64 timestamp)
{
    if (m_clusterTimed)
        return;
    m_clusterTimed = true;
    const OpenElement &cluster = *c.parent();
    if (m_hasPrevious && timestamp < m_previous)
        c.reportAbout(c.depth() - 2, Severity::Warning, "timestamp-order", [&] {
            return QStringLiteral("Cluster Timestamp %1 is below %2 of the Cluster at %3")
                .arg(timestamp)
                .arg(m_previous)
                .arg(m_previousOffset);
        });
    m_hasPrevious = true;
    m_previous = timestamp;
    m_previousOffset = cluster.offset;
}

void StreamChecks::annotation(CheckContext &c, NoteKind kind)
{
    const OpenElement &e = c.current();
    if (kind == NoteKind::DamagedData)
        c.report(Severity::Error, "garbage", [&] {
            return QStringLiteral("%1 bytes from %2 to %3 are no element and were skipped")
                .arg(e.size)
                .arg(e.offset)
                .arg(e.end);
        });
    else if (kind == NoteKind::LacesMisfit && isBlock(e.id))
        lacesMisfit(c);
    else if (kind == NoteKind::ShortBlock && isBlock(e.id))
        shortBlock(c);
}

void StreamChecks::lacesMisfit(CheckContext &c)
{
    c.report(Severity::Error, "lacing", [&] {
        const OpenElement &e = c.current();
        char flags = 0;
        const int lacing
            = m_hasFlags && c.read(m_flagsOffset, &flags, 1) == 1 ? (quint8(flags) >> 1) & 3 : 0;
        static const char *const names[] = {"No", "Xiph", "Fixed-size", "EBML"};
        const QString what
            = QStringLiteral("%1 with %2 lacing").arg(e.name, QLatin1String(names[lacing]));
        if (m_laceCount == 0)
            return QStringLiteral("%1, but its %2 bytes of data hold no frame count")
                .arg(what)
                .arg(m_dataLength);
        if (lacing == 2)
            return QStringLiteral("%1 of %2 frames, but the %3 bytes after the frame count do "
                                  "not divide by %2")
                .arg(what)
                .arg(m_laceCount)
                .arg(m_dataLength - 1);
        return QStringLiteral("%1 of %2 frames: %3 of its %4 lace sizes fit (%5 bytes of "
                              "frames), the next does not fit the %6 bytes of data")
            .arg(what)
            .arg(m_laceCount)
            .arg(m_laceSizes)
            .arg(m_laceCount - 1)
            .arg(m_laceTotal)
            .arg(m_dataLength);
    });
}

void StreamChecks::shortBlock(CheckContext &c)
{
    c.report(Severity::Error, "block-short", [&] {
        const OpenElement &e = c.current();
        quint64 trackLength = m_trackLength;
        if (trackLength == 0 && e.dataSize > 0) {
            char first = 0;
            if (c.read(e.dataOffset, &first, 1) == 1)
                trackLength = quint64(EbmlDecoder::length(quint8(first)));
        }
        if (trackLength == 0)
            return QStringLiteral("%1 of %2 bytes of data, which hold no track number")
                .arg(e.name)
                .arg(e.dataSize);
        return QStringLiteral("%1 of %2 bytes of data, shorter than its header of %3 (track "
                              "number %4, timestamp 2, flags 1)")
            .arg(e.name)
            .arg(e.dataSize)
            .arg(trackLength + 3)
            .arg(trackLength);
    });
}

void StreamChecks::end(CheckContext &c)
{
    const OpenElement &e = c.current();
    if ((e.pastFileEnd) && m_pastEndDepth == c.depth() - 1) {
        const quint64 fileSize = c.fileSize();
        c.report(Severity::Error, "past-end", [&] {
            return QStringLiteral("%1 claims %2 bytes up to %3, but the file ends at %4, %5 "
                                  "bytes before")
                .arg(e.name)
                .arg(e.size)
                .arg(e.end)
                .arg(fileSize)
                .arg(e.end - fileSize);
        });
    }
    switch (e.id) {
    case Id::TrackEntry: endTrackEntry(c); break;
    case Id::Tracks:
        m_tracksCame = true;
        resolvePending(c, true);
        break;
    case Id::Segment:
        if (c.depth() == 1)
            resolvePending(c, m_tracksCame);
        break;
    default: break;
    }
}

void StreamChecks::crc(CheckContext &c, CrcVerdict verdict)
{
    if (verdict != CrcVerdict::Mismatch)
        return;
    const OpenElement &e = c.current();
    const quint64 end = qMin(e.end, c.fileSize());
    c.report(Severity::Error, "crc-mismatch", [&] {
        if (m_crcParent == e.offset && m_crcEnd <= end)
            return QStringLiteral("CRC-32 %1 of %2 does not match the %3 bytes after it")
                .arg(m_crcValue)
                .arg(e.name)
                .arg(end - m_crcEnd);
        return QStringLiteral("The CRC-32 of %1 does not match its data").arg(e.name);
    });
}

void StreamChecks::finish(CheckContext &c)
{
    resolvePending(c, m_tracksCame);
    // Ready for another file.
    m_parentPath = QString();
    beginSegment();
    m_pastEndDepth = NoDepth;
    m_crcParent = std::numeric_limits<quint64>::max();
}

} // namespace

void addStreamChecks(Checks *checks)
{
    checks->push_back(std::make_unique<StreamChecks>());
}
