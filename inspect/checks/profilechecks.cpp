// SPDX-License-Identifier: MIT
// The checks of --profile mse: what a Media Source Extensions player needs of
// a WebM byte stream. The initialization segment is the EBML header and the
// Segment up to its first Cluster, which must hold an Info and then a
// Tracks; each Cluster is a media segment, which begins with its Timestamp;
// each video track begins with a random access point.
#include "check.h"

#include <algorithm>
#include <limits>

namespace {

// The most audio and video tracks followed, a bit each.
constexpr size_t MaxTracks = 64;

class MseChecks : public Check
{
public:
    void begin(CheckContext &c) override;
    bool wantsRows(const OpenElement &e) const override
    {
        return e.id == Id::SimpleBlock || e.id == Id::Block;
    }
    void row(CheckContext &c, const CheckedRow &row) override;
    void end(CheckContext &c) override;
    void finish(CheckContext &c) override;

private:
    struct Track
    {
        quint64 number;
        bool video;
    };

    void beginTopLevel(CheckContext &c);
    void beginInSegment(CheckContext &c);
    template <typename Message> void init(CheckContext &c, const Message &message)
    {
        m_initDone = true;
        c.report(Severity::Error, "mse-init", message);
    }
    void blockTrack(CheckContext &c, quint64 number);
    void blockFlags(CheckContext &c, quint64 flags);
    void endCluster(CheckContext &c);
    QString missingTracks(quint64 seen) const;

    // The initialization segment.
    bool m_ebmlEnded = false, m_segmentCame = false;
    bool m_initDone = false, m_info = false, m_tracks = false;

    // The tracks, from the TrackEntries.
    std::vector<Track> m_list;
    quint64 m_entryNumber = 0, m_entryType = 0;
    quint64 m_avMask = 0;      // the audio and video tracks
    quint64 m_startedMask = 0; // the video tracks whose first block came

    // The Cluster being walked.
    bool m_inCluster = false, m_clusterBlocks = false, m_timestampLate = false;
    qint64 m_latest = 0; // the latest block time so far
    quint64 m_seen = 0;  // the tracks with a block in it

    // The block being walked: its track's bit, and whether it is the first
    // of a video track.
    quint64 m_blockBit = 0;
    bool m_first = false;
    // A BlockGroup whose Block is the first of its video track.
    bool m_groupFirst = false, m_groupReferenced = false;
    quint64 m_groupBlockOffset = 0, m_groupBlockIndex = 0;
    QString m_groupBlockName;
};

void MseChecks::begin(CheckContext &c)
{
    const OpenElement &e = c.current();
    if (c.depth() == 1)
        return beginTopLevel(c);
    if (c.depth() == 2 && c.parentId() == Id::Segment && !m_initDone)
        beginInSegment(c);
    switch (e.id) {
    case Id::Cluster:
        m_inCluster = true;
        m_clusterBlocks = m_timestampLate = false;
        m_latest = std::numeric_limits<qint64>::min();
        m_seen = 0;
        break;
    case Id::Timestamp:
        if (c.parentId() == Id::Cluster && m_clusterBlocks && !m_timestampLate) {
            m_timestampLate = true;
            c.reportAbout(c.depth() - 2, Severity::Error, "mse-media", [] {
                return QStringLiteral("the Cluster's Timestamp comes after a block of it");
            });
        }
        break;
    case Id::SimpleBlock:
    case Id::Block:
        m_clusterBlocks = true;
        m_blockBit = 0;
        m_first = false;
        break;
    case Id::BlockGroup: m_groupFirst = m_groupReferenced = false; break;
    case Id::ReferenceBlock: m_groupReferenced = true; break;
    case Id::TrackEntry: m_entryNumber = m_entryType = 0; break;
    default: break;
    }
}

void MseChecks::beginTopLevel(CheckContext &c)
{
    const OpenElement &e = c.current();
    if (m_ebmlEnded && !m_segmentCame) {
        m_segmentCame = true;
        if (e.id != Id::Segment) {
            m_initDone = true;
            c.report(Severity::Error, "mse-init", [&] {
                return QStringLiteral("the EBML header is followed by %1, not by a Segment")
                    .arg(e.name);
            });
        }
    }
}

void MseChecks::beginInSegment(CheckContext &c)
{
    const OpenElement &e = c.current();
    switch (e.id) {
    case Id::Info:
    case Id::Tracks:
        if (e.pastParentEnd)
            return init(c, [&] {
                return QStringLiteral("%1 runs past the end of its Segment, which must hold it")
                    .arg(e.name);
            });
        if (e.id == Id::Tracks && !m_info)
            return init(c, [] { return QStringLiteral("Tracks comes before the Info"); });
        (e.id == Id::Info ? m_info : m_tracks) = true;
        break;
    case Id::Cluster:
        if (!m_info || !m_tracks)
            return init(c, [&] {
                return QStringLiteral("the first Cluster comes before the %1")
                    .arg(QLatin1String(!m_info ? (m_tracks ? "Info" : "Info and Tracks")
                                               : "Tracks"));
            });
        m_initDone = true;
        break;
    default: break;
    }
}

void MseChecks::row(CheckContext &c, const CheckedRow &row)
{
    switch (row.kind) {
    case RowKind::TrackNumber: blockTrack(c, quint64(row.number)); break;
    case RowKind::Timecode:
        if (!m_inCluster)
            break;
        if (row.number < m_latest)
            c.report(Severity::Warning, "mse-media", [&] {
                return QStringLiteral("block time %1 is below %2 of a block before it in its "
                                      "Cluster")
                    .arg(row.number)
                    .arg(m_latest);
            });
        m_latest = std::max(m_latest, row.number);
        break;
    case RowKind::Flags: blockFlags(c, quint64(row.number)); break;
    default: break;
    }
}

void MseChecks::blockTrack(CheckContext &c, quint64 number)
{
    const auto track = std::find_if(m_list.begin(), m_list.end(),
                                    [&](const Track &t) { return t.number == number; });
    if (track == m_list.end())
        return;
    m_blockBit = quint64(1) << (track - m_list.begin());
    m_seen |= m_blockBit;
    if (!track->video || (m_startedMask & m_blockBit))
        return;
    m_startedMask |= m_blockBit;
    m_first = true;
    const OpenElement &e = c.current();
    if (e.id == Id::Block && c.parentId() == Id::BlockGroup) {
        m_groupFirst = true;
        m_groupBlockOffset = e.offset;
        m_groupBlockIndex = e.index;
        m_groupBlockName = e.name;
    }
}

void MseChecks::blockFlags(CheckContext &c, quint64 flags)
{
    if (!m_first || c.current().id != Id::SimpleBlock || (flags & 0x80))
        return;
    c.report(Severity::Error, "mse-random-access", [] {
        return QStringLiteral("the first block of its video track is no keyframe: a player "
                              "drops every frame up to the next one");
    });
}

void MseChecks::end(CheckContext &c)
{
    const OpenElement &e = c.current();
    const quint64 value = e.hasValue ? quint64(e.number) : 0;
    switch (e.id) {
    case Id::Ebml: m_ebmlEnded = m_ebmlEnded || c.depth() == 1; break;
    case Id::TrackNumber:
        if (c.parentId() == Id::TrackEntry)
            m_entryNumber = value;
        break;
    case Id::TrackType:
        if (c.parentId() == Id::TrackEntry)
            m_entryType = value;
        break;
    case Id::TrackEntry:
        if ((m_entryType == 1 || m_entryType == 2) && m_list.size() < MaxTracks
            && std::none_of(m_list.begin(), m_list.end(),
                            [&](const Track &t) { return t.number == m_entryNumber; })) {
            m_avMask |= quint64(1) << m_list.size();
            m_list.push_back(Track {m_entryNumber, m_entryType == 1});
        }
        break;
    case Id::BlockGroup:
        if (m_groupFirst && m_groupReferenced)
            c.reportAt(
                Severity::Error, "mse-random-access", m_groupBlockOffset,
                [&] {
                    return c.currentPath()
                        + CheckContext::step(m_groupBlockName, m_groupBlockIndex);
                },
                [] {
                    return QStringLiteral("the first block of its video track has a "
                                          "ReferenceBlock: a player drops every frame up to the "
                                          "next keyframe");
                });
        break;
    case Id::Cluster: endCluster(c); break;
    case Id::Segment:
        if (c.depth() == 1 && !m_initDone && m_segmentCame)
            init(c, [] { return QStringLiteral("the Segment ends before its Info and Tracks"); });
        break;
    default: break;
    }
}

void MseChecks::endCluster(CheckContext &c)
{
    m_inCluster = false;
    const quint64 missing = m_avMask & ~m_seen;
    if (!missing || c.current().pastFileEnd)
        return;
    c.report(Severity::Warning, "mse-media", [&] {
        return QStringLiteral("a Cluster without a block of track %1").arg(missingTracks(missing));
    });
}

QString MseChecks::missingTracks(quint64 missing) const
{
    QString text;
    for (size_t i = 0; i < m_list.size(); ++i) {
        if (!(missing & (quint64(1) << i)))
            continue;
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += QString::number(m_list[i].number);
    }
    return text;
}

void MseChecks::finish(CheckContext &c)
{
    Q_UNUSED(c);
    *this = MseChecks();
}

} // namespace

void addMseChecks(Checks *checks)
{
    checks->push_back(std::make_unique<MseChecks>());
}
