// SPDX-License-Identifier: MIT
#include "summarystage.h"

#include "matroskaids.h"

#include <algorithm>

namespace {

constexpr size_t MaxTracks = 1000;  // tracks listed
constexpr size_t MaxStreams = 4096; // streams counted one by one
constexpr int MaxTextChars = 64;    // of a codec or a type name

using Role = SummaryStage::Role;
namespace Id = MatroskaSchema::Id;

// An element's role, by its ID and the role of its parent (Other: any
// parent).
struct RoleRow
{
    quint32 id;
    Role parent;
    Role role;
};
const RoleRow Roles[] = {
    {Id::Info, Role::Other, Role::SegmentInfo},
    {Id::TimestampScale, Role::SegmentInfo, Role::TimecodeScale},
    {Id::Cluster, Role::Other, Role::Cluster},
    {Id::Timestamp, Role::Cluster, Role::ClusterTime},
    {Id::SimpleBlock, Role::Other, Role::Block},
    {Id::Block, Role::Other, Role::Block},
    {Id::TrackEntry, Role::Other, Role::TrackEntry},
    {Id::TrackNumber, Role::TrackEntry, Role::TrackNumber},
    {Id::TrackType, Role::TrackEntry, Role::TrackType},
    {Id::CodecId, Role::TrackEntry, Role::CodecID},
    {Id::Video, Role::TrackEntry, Role::Video},
    {Id::PixelWidth, Role::Video, Role::PixelWidth},
    {Id::PixelHeight, Role::Video, Role::PixelHeight},
    {Id::Language, Role::TrackEntry, Role::Language},
    {Id::LanguageBcp47, Role::TrackEntry, Role::LanguageBCP47},
    {Id::CodecDelay, Role::TrackEntry, Role::CodecDelay},
    {Id::DefaultDuration, Role::TrackEntry, Role::DefaultDuration},
    {Id::Audio, Role::TrackEntry, Role::Audio},
    {Id::SamplingFrequency, Role::Audio, Role::SamplingFrequency},
    {Id::Channels, Role::Audio, Role::Channels},
};

} // namespace

// A role that wants a parent of a role looks at the parent's: a few levels
// at most.
Role SummaryStage::roleAt(size_t depth) const
{
    const qint64 id = m_tracker.at(depth).id;
    for (const RoleRow &row : Roles) {
        if (row.id == id)
            return row.parent == Other || (depth > 0 && roleAt(depth - 1) == row.parent) ? row.role
                                                                                         : Other;
    }
    return Other;
}

void SummaryStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    const Role role = roleAt(m_tracker.depth() - 1);
    switch (role) {
    case Block:
        m_blockTimeKnown = false;
        m_blockTrack = 0;
        break;
    case Cluster: m_clusterTimeKnown = false; break;
    case TrackEntry:
        m_track = TrackFacts();
        m_languageBCP47.clear();
        break;
    default: break;
    }
    m_role = role;
    m_value.role = Other;
    m_next->beginElement(offset, size, name, tag);
}

void SummaryStage::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                            const QString &name, const QString &value, const QString &extra,
                            const QString &meaning, qint64 tag)
{
    // Rows after a child are not the element's own.
    const Role role = m_tracker.empty() || m_tracker.current().children ? Other : m_role;
    const RowKind kind = rowKind(code);
    if (role == Block) {
        if (kind == RowKind::Timecode) {
            m_blockTime = tag;
            m_blockTimeKnown = true;
        } else if (kind == RowKind::TrackNumber) {
            m_blockTrack = quint64(tag);
        }
    } else if (role != Other && kind == RowKind::Value) {
        m_value = Value {role, tag, value, meaning};
    }
    m_rows->addField(flag, offset, code, length, name, value, extra, meaning, tag);
}

void SummaryStage::noteElement(NoteKind kind, const QString &text)
{
    if (kind == NoteKind::UnknownElement)
        m_value.role = Other;
    m_next->noteElement(kind, text);
}

void SummaryStage::takeValue()
{
    const QString &value = m_value.text;
    const quint64 number = quint64(m_value.number);
    switch (m_value.role) {
    case TimecodeScale:
        if (number != 0)
            m_summary.timecodeScale = number;
        break;
    case ClusterTime:
        // Times past qint64 are not added up.
        m_clusterTime = m_value.number;
        m_clusterTimeKnown = m_value.number >= 0;
        break;
    case TrackNumber: m_track.number = number; break;
    case TrackType:
        m_track.type = number;
        m_track.typeName = m_value.meaning.left(MaxTextChars);
        break;
    case CodecID: m_track.codec = value.left(MaxTextChars); break;
    case PixelWidth: m_track.width = value.left(24); break;
    case PixelHeight: m_track.height = value.left(24); break;
    case Language: m_track.language = value.left(MaxTextChars); break;
    case LanguageBCP47: m_languageBCP47 = value.left(MaxTextChars); break;
    case CodecDelay: m_track.codecDelay = value.left(24); break;
    case DefaultDuration: m_track.defaultDuration = value.left(24); break;
    case SamplingFrequency: m_track.samplingRate = value.left(24); break;
    case Channels: m_track.channels = value.left(24); break;
    default: break;
    }
    m_value = Value();
}

void SummaryStage::endElement()
{
    if (m_value.role != Other)
        takeValue();
    if (!m_tracker.empty()) {
        if (roleAt(m_tracker.depth() - 1) == TrackEntry) {
            // LanguageBCP47 stands for the track's language when there is one.
            if (!m_languageBCP47.isEmpty())
                m_track.language = m_languageBCP47;
            if (m_summary.tracks.size() < MaxTracks)
                m_summary.tracks.push_back(m_track);
            else
                ++m_summary.tracksOmitted;
        }
    }
    m_next->endElement();
}

void SummaryStage::addFrame(const FrameRecord &frame)
{
    auto stream = m_streams.find(frame.stream);
    if (stream == m_streams.end() && m_streams.size() < MaxStreams) {
        stream = m_streams.emplace(frame.stream, m_summary.streams.size()).first;
        m_summary.streams.push_back(StreamFacts {frame.stream, m_blockTrack, 0});
    }
    if (stream != m_streams.end())
        ++m_summary.streams[stream->second].frames;
    else
        ++m_summary.streamFramesOmitted;

    FrameFacts facts;
    facts.track = m_blockTrack;
    // Cluster and block times are in ticks of the timecode scale
    // (nanoseconds).
    if (m_clusterTimeKnown && m_blockTimeKnown) {
        facts.timed = true;
        facts.nanoseconds = ((long double)m_clusterTime + m_blockTime) * m_summary.timecodeScale;
    }
    m_next->frameFacts(facts);
    m_next->addFrame(frame);
}

void SummaryStage::endFile()
{
    std::sort(m_summary.streams.begin(), m_summary.streams.end(),
              [](const StreamFacts &a, const StreamFacts &b) { return a.stream < b.stream; });
    m_next->tracksSummed(m_summary);
    m_next->endFile();
}
