// SPDX-License-Identifier: MIT
// The Cluster index: each Cluster's PrevSize and Position, the CuePoints by
// their time, order and keyframes, and the top-level elements that a
// SeekHead leaves out. A CuePoint's block is read where it names it: the
// Cluster's Timestamp and the block's header, a few bytes each.
#include "checkreader.h"

#include "matroskaschema.h"

#include <algorithm>
#include <vector>

namespace {

// Most video tracks, Seek positions and listable top-level elements held,
// and CueTrackPositions of one CuePoint looked at.
constexpr size_t MaxTracks = 1024;
constexpr size_t MaxSeeks = 4096;
constexpr size_t MaxListable = 64;
constexpr size_t MaxCuePositions = 16;
// Children of a Cluster looked at for its Timestamp, and for a block of a
// CuePoint without CueRelativePosition; of a BlockGroup, for its Block.
constexpr int MaxHeadChildren = 16;
constexpr int MaxScannedBlocks = 4096;
// Children of Clusters read in all for such CuePoints: some, and a quarter
// of the file's bytes, so that Cues cannot make the cost grow faster than the
// file (a block takes 7 bytes at least).
constexpr quint64 ScanBudget = 65536;

// TrackType of a video track.
constexpr quint64 VideoTrack = 1;

// The top-level elements that a SeekHead should list.
const quint32 Listable[]
    = {Id::Info, Id::Tracks, Id::Cues, Id::Tags, Id::Chapters, Id::Attachments};

// A block as read at its place: a SimpleBlock, or a BlockGroup and its Block.
struct BlockAt
{
    bool ok = false; // a block whose header could be read
    quint32 id = 0;
    quint64 track = 0;
    qint16 timestamp = 0;
    bool keyframe = false; // a keyframe SimpleBlock, or a group without ReferenceBlock
};

// The track number and timestamp of a block's header at position.
bool readBlockHeader(WindowReader &reader, quint64 position, BlockAt *b)
{
    qint64 got = 0;
    const quint8 *bytes = reader.at(position, 12, &got);
    const int n = EbmlDecoder::readSize(bytes, got, &b->track);
    if (n == 0 || got < n + 3)
        return false;
    b->timestamp = qint16(quint16(bytes[n] << 8 | bytes[n + 1]));
    b->keyframe = bytes[n + 2] & 0x80;
    return true;
}

BlockAt readBlock(WindowReader &reader, const ElementHead &h)
{
    BlockAt b;
    b.id = h.id;
    if (h.id == Id::SimpleBlock) {
        b.ok = readBlockHeader(reader, h.dataOffset, &b);
        return b;
    }
    if (h.id != Id::BlockGroup || h.unknownSize)
        return b;
    bool referenced = false;
    quint64 at = h.dataOffset;
    for (int i = 0; i < MaxHeadChildren && at < h.end; ++i) {
        const ElementHead child = readHead(reader, at);
        if (!child.ok || child.unknownSize)
            return BlockAt();
        if (child.id == Id::Block)
            b.ok = readBlockHeader(reader, child.dataOffset, &b);
        referenced = referenced || child.id == Id::ReferenceBlock;
        at = child.end;
    }
    b.keyframe = !referenced;
    return b;
}

bool isBlock(const ElementHead &h)
{
    return h.ok && (h.id == Id::SimpleBlock || h.id == Id::BlockGroup);
}

// Where a scan of a Cluster's children stops: at an element that stands
// elsewhere, which ends a Cluster of unknown size (Stop), or at one that it
// cannot read or does not know (Lost).
enum class Scan { Go, Stop, Lost };

Scan scanOn(const ElementHead &h)
{
    if (!h.ok || h.unknownSize)
        return Scan::Lost;
    const MatroskaSchema::Element *s = MatroskaSchema::find(h.id);
    if (!s)
        return Scan::Lost;
    return s->parent == Id::Cluster || s->parent == MatroskaSchema::Anywhere ? Scan::Go
                                                                             : Scan::Stop;
}

class IndexChecks : public Check
{
public:
    void begin(CheckContext &c) override
    {
        const OpenElement &e = c.current();
        switch (e.id) {
        case Id::Segment:
            if (c.depth() == 1)
                beginSegment();
            break;
        case Id::Cues: m_hasCueTime = m_hasLastCueTime = false; break;
        case Id::CuePoint:
            m_hasCueTime = false;
            m_cuePositions.clear();
            break;
        case Id::CueTrackPositions: m_cue = CueEntry(); break;
        case Id::TrackEntry: m_entry = Entry(); break;
        case Id::Seek: m_seek = Seek(); break;
        default: break;
        }
        if (c.depth() == 2 && c.parentId() == Id::Segment)
            topLevel(c, e);
    }

    void end(CheckContext &c) override
    {
        const OpenElement &e = c.current();
        const quint32 parent = c.parentId();
        const quint64 value = quint64(e.number);
        switch (e.id) {
        case Id::TrackNumber:
        case Id::TrackType:
            if (parent == Id::TrackEntry && e.hasValue)
                (e.id == Id::TrackNumber ? m_entry.number : m_entry.type) = value;
            break;
        case Id::TrackEntry:
            if (m_entry.type == VideoTrack && m_entry.number && !c.inRecurringCopy()
                && m_video.size() < MaxTracks)
                m_video.insert(std::upper_bound(m_video.begin(), m_video.end(), m_entry.number),
                               m_entry.number);
            break;
        case Id::PrevSize:
            if (parent == Id::Cluster && e.hasValue && c.depth() == 3)
                prevSize(c, value);
            break;
        case Id::Position:
            if (parent == Id::Cluster && e.hasValue && c.depth() == 3)
                position(c, value);
            break;
        case Id::Cluster:
            if (c.depth() == 2) {
                m_hasPrevious = true;
                m_previous = Previous {e.offset, e.size, e.unknownSize};
            }
            break;
        case Id::SeekId:
            if (parent == Id::Seek)
                m_seek.id = seekId(c, e);
            break;
        case Id::SeekPosition:
            if (parent == Id::Seek && e.hasValue)
                m_seek.position = value;
            break;
        case Id::Seek:
            if (m_seek.id && m_seeks.size() < MaxSeeks)
                m_seeks.push_back(m_seek);
            break;
        case Id::CueTime:
            if (parent == Id::CuePoint && e.hasValue) {
                m_hasCueTime = true;
                m_cueTime = value;
            }
            break;
        case Id::CueTrack:
        case Id::CueClusterPosition:
        case Id::CueRelativePosition:
            if (parent == Id::CueTrackPositions && e.hasValue)
                cueField(e.id, value);
            break;
        case Id::CueTrackPositions:
            if (parent == Id::CuePoint && m_cue.hasTrack && m_cue.hasCluster
                && m_cuePositions.size() < MaxCuePositions)
                m_cuePositions.push_back(m_cue);
            break;
        case Id::CuePoint: cuePoint(c); break;
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
        m_scanned = 0;
    }

private:
    struct Previous
    {
        quint64 offset, size;
        bool unknownSize;
    };
    struct CueEntry
    {
        bool hasTrack = false, hasCluster = false, hasRelative = false;
        quint64 track = 0, cluster = 0, relative = 0;
    };
    struct Entry
    {
        quint64 number = 0, type = 0;
    };
    struct Seek
    {
        quint32 id = 0; // 0: no SeekID of 1 to 4 bytes
        quint64 position = ~quint64(0);
    };
    // A top-level element that a SeekHead should list; a later copy of a
    // recurring one need not be, but may be.
    struct Listed
    {
        quint32 id;
        quint64 offset, position;
        QString path;
        bool needed;
    };
    // The Timestamp of the Cluster at a place, kept for the next CuePoints,
    // which mostly name the same Cluster.
    struct ClusterTime
    {
        quint64 offset = ~quint64(0);
        ElementHead head;
        bool timed = false;
        quint64 timestamp = 0;
    };

    void beginSegment()
    {
        m_hasPrevious = false;
        m_video.clear();
        m_seeks.clear();
        m_listable.clear();
        m_sawSeekHead = false;
        m_hasLastCueTime = false;
        m_clusterTime = ClusterTime();
        m_blockOffset = ~quint64(0);
    }

    void topLevel(CheckContext &c, const OpenElement &e)
    {
        if (e.id == Id::SeekHead)
            m_sawSeekHead = true;
        const OpenElement *segment = c.segment();
        if (!segment || m_listable.size() >= MaxListable
            || std::find(std::begin(Listable), std::end(Listable), e.id) == std::end(Listable))
            return;
        const bool needed = !c.inRecurringCopy();
        m_listable.push_back(Listed {quint32(e.id), e.offset, e.offset - segment->dataOffset,
                                     needed ? c.currentPath() : QString(), needed});
    }

    static quint32 seekId(const CheckContext &c, const OpenElement &e)
    {
        quint8 bytes[4];
        if (e.unknownSize || e.dataSize < 1 || e.dataSize > 4
            || c.read(e.dataOffset, reinterpret_cast<char *>(bytes), qint64(e.dataSize))
                != qint64(e.dataSize))
            return 0;
        quint32 id = 0;
        for (quint64 i = 0; i < e.dataSize; ++i)
            id = (id << 8) | bytes[i];
        return id;
    }

    // Whether a Seek names the element's place, or one of its ID points at
    // no such element (seek-target tells of that one).
    bool listed(const Listed &l) const
    {
        for (const Seek &seek : m_seeks) {
            if (seek.position == l.position)
                return true;
            if (seek.id == l.id
                && std::none_of(m_listable.begin(), m_listable.end(), [&](const Listed &o) {
                       return o.id == seek.id && o.position == seek.position;
                   }))
                return true;
        }
        return false;
    }

    void endSegment(CheckContext &c)
    {
        if (m_sawSeekHead) {
            for (const Listed &l : m_listable)
                if (l.needed && !listed(l))
                    c.reportAt(
                        Severity::Warning, "seekhead-missing", l.offset, [&] { return l.path; },
                        [&] {
                            return QStringLiteral("no Seek lists this element, at position %1 "
                                                  "in the Segment")
                                .arg(l.position);
                        });
        }
        beginSegment();
    }

    void prevSize(CheckContext &c, quint64 value)
    {
        const OpenElement &cluster = *c.parent();
        if (!m_hasPrevious) {
            c.reportAbout(c.depth() - 2, Severity::Error, "cluster-prevsize", [&] {
                return QStringLiteral("PrevSize %1 on the first Cluster of its Segment").arg(value);
            });
            return;
        }
        // A Cluster of unknown size runs up to the next one.
        const quint64 length
            = m_previous.unknownSize ? cluster.offset - m_previous.offset : m_previous.size;
        if (value != length)
            c.reportAbout(c.depth() - 2, Severity::Error, "cluster-prevsize", [&] {
                return QStringLiteral(
                           "PrevSize %1, but the Cluster before, at %2, is %3 bytes long")
                    .arg(value)
                    .arg(m_previous.offset)
                    .arg(length);
            });
    }

    void position(CheckContext &c, quint64 value)
    {
        const OpenElement *segment = c.segment();
        if (value == 0 || !segment)
            return; // 0: a live stream's, which cannot know it
        const quint64 place = c.parent()->offset - segment->dataOffset;
        if (value != place)
            c.reportAbout(c.depth() - 2, Severity::Error, "cluster-position", [&] {
                return QStringLiteral("Position %1, but the Cluster is at %2 in the Segment")
                    .arg(value)
                    .arg(place);
            });
    }

    void cueField(qint64 id, quint64 value)
    {
        switch (id) {
        case Id::CueTrack:
            m_cue.hasTrack = true;
            m_cue.track = value;
            break;
        case Id::CueClusterPosition:
            m_cue.hasCluster = true;
            m_cue.cluster = value;
            break;
        default:
            m_cue.hasRelative = true;
            m_cue.relative = value;
            break;
        }
    }

    void cuePoint(CheckContext &c)
    {
        if (!m_hasCueTime)
            return;
        if (m_hasLastCueTime && m_cueTime < m_lastCueTime)
            c.report(Severity::Warning, "cue-order", [&] {
                return QStringLiteral("CueTime %1 is below %2 of the CuePoint before")
                    .arg(m_cueTime)
                    .arg(m_lastCueTime);
            });
        m_hasLastCueTime = true;
        m_lastCueTime = m_cueTime;
        const OpenElement *segment = c.segment();
        if (!segment)
            return;
        WindowReader reader(c);
        for (const CueEntry &cue : m_cuePositions)
            cueTarget(c, reader, segment->dataOffset, cue);
    }

    void cueTarget(CheckContext &c, WindowReader &reader, quint64 base, const CueEntry &cue)
    {
        if (base + cue.cluster < base)
            return;
        const ClusterTime &cluster = clusterTime(reader, base + cue.cluster);
        if (!cluster.timed)
            return; // no Cluster there, or none with a Timestamp: cue-target, missing-element
        const ElementHead &h = cluster.head;
        BlockAt block;
        quint64 blockOffset = 0;
        if (cue.hasRelative) {
            blockOffset = h.dataOffset + cue.relative;
            if (blockOffset < h.dataOffset)
                return;
            if (m_blockOffset != blockOffset) {
                m_blockOffset = blockOffset;
                m_block = readBlock(reader, readHead(reader, blockOffset));
            }
            block = m_block;
            if (!block.ok || block.track != cue.track)
                return; // cue-target tells
            const qint64 time = qint64(cluster.timestamp) + block.timestamp;
            if (time != qint64(m_cueTime))
                return reportTime(c, [&] {
                    return QStringLiteral("CueTime %1, but the %2 at %3 that CueRelativePosition "
                                          "names is at %4 (Cluster Timestamp %5, block %6)")
                        .arg(m_cueTime)
                        .arg(blockName(block))
                        .arg(blockOffset)
                        .arg(time)
                        .arg(cluster.timestamp)
                        .arg(block.timestamp);
                });
        } else {
            const quint64 end = h.unknownSize ? c.fileSize() : h.end;
            quint64 at = h.dataOffset;
            Scan scan = Scan::Go;
            for (int scanned = 0; at < end && scan == Scan::Go; ++scanned) {
                const ElementHead child = readHead(reader, at);
                const bool spent = ++m_scanned > ScanBudget + c.fileSize() / 4;
                scan = scanned == MaxScannedBlocks || spent ? Scan::Lost : scanOn(child);
                if (scan == Scan::Go && isBlock(child)) {
                    block = readBlock(reader, child);
                    if (block.ok && block.track == cue.track
                        && qint64(cluster.timestamp) + block.timestamp == qint64(m_cueTime)) {
                        blockOffset = at;
                        break;
                    }
                }
                at = child.end;
            }
            if (scan == Scan::Lost)
                return; // a child it cannot read, or too many to look at
            if (!blockOffset)
                return reportTime(c, [&] {
                    return QStringLiteral("CueTime %1, but no block of track %2 in the Cluster "
                                          "at %3 (Timestamp %4) has that time")
                        .arg(m_cueTime)
                        .arg(cue.track)
                        .arg(h.offset)
                        .arg(cluster.timestamp);
                });
        }
        if (!block.keyframe && std::binary_search(m_video.begin(), m_video.end(), cue.track))
            c.report(Severity::Warning, "cue-keyframe", [&] {
                return QStringLiteral("CueTime %1 of video track %2 names the %3 at %4, which is "
                                      "not a keyframe")
                    .arg(m_cueTime)
                    .arg(cue.track)
                    .arg(blockName(block))
                    .arg(blockOffset);
            });
    }

    template <typename Message> void reportTime(CheckContext &c, const Message &message)
    {
        c.report(Severity::Error, "cue-time", message);
    }

    static QString blockName(const BlockAt &b)
    {
        return b.id == Id::SimpleBlock ? QStringLiteral("SimpleBlock")
                                       : QStringLiteral("BlockGroup");
    }

    // The Cluster at offset and its Timestamp, among its first children.
    const ClusterTime &clusterTime(WindowReader &reader, quint64 offset)
    {
        if (m_clusterTime.offset == offset)
            return m_clusterTime;
        m_clusterTime = ClusterTime();
        m_clusterTime.offset = offset;
        const ElementHead h = readHead(reader, offset);
        if (!h.ok || h.id != Id::Cluster)
            return m_clusterTime;
        m_clusterTime.head = h;
        quint64 at = h.dataOffset;
        for (int i = 0; i < MaxHeadChildren && at < h.end; ++i) {
            const ElementHead child = readHead(reader, at);
            if (!child.ok || child.unknownSize || isBlock(child))
                break;
            if (child.id == Id::Timestamp) {
                m_clusterTime.timed = readUnsigned(reader, child, &m_clusterTime.timestamp);
                break;
            }
            at = child.end;
        }
        return m_clusterTime;
    }

    // The Segment's Clusters.
    bool m_hasPrevious = false;
    Previous m_previous {};
    // Its video tracks' numbers, sorted, and the TrackEntry being walked.
    std::vector<quint64> m_video;
    Entry m_entry;
    // Its SeekHeads' positions, and the elements that they should list.
    bool m_sawSeekHead = false;
    Seek m_seek;
    std::vector<Seek> m_seeks;
    std::vector<Listed> m_listable;
    // The CuePoint being walked, and the one before.
    bool m_hasCueTime = false, m_hasLastCueTime = false;
    quint64 m_cueTime = 0, m_lastCueTime = 0;
    CueEntry m_cue;
    std::vector<CueEntry> m_cuePositions;
    ClusterTime m_clusterTime;
    quint64 m_scanned = 0;               // children of Clusters read for Cues, in the file
    quint64 m_blockOffset = ~quint64(0); // the last block a CueRelativePosition named
    BlockAt m_block;
};

} // namespace

void addIndexChecks(Checks *checks)
{
    checks->push_back(std::make_unique<IndexChecks>());
}
