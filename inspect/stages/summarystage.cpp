#include "summarystage.h"

#include <QHash>

#include <algorithm>

namespace {

constexpr size_t MaxTracks = 1000;  // tracks listed
constexpr size_t MaxStreams = 4096; // streams counted one by one
constexpr int MaxTextChars = 64;    // of a codec or a type name

using Role = SummaryStage::Role;

// An element's role, by its name and the role of its parent (Other: any
// parent).
struct RoleRow
{
    const char *name;
    Role parent;
    Role role;
};
const RoleRow Roles[] = {
    {"Unknown", Role::Other, Role::Unknown},
    {"SegmentInfo", Role::Other, Role::SegmentInfo},
    {"Info", Role::Other, Role::SegmentInfo},
    {"TimecodeScale", Role::SegmentInfo, Role::TimecodeScale},
    {"TimestampScale", Role::SegmentInfo, Role::TimecodeScale},
    {"Cluster", Role::Other, Role::Cluster},
    {"Timecode", Role::Cluster, Role::ClusterTime},
    {"Timestamp", Role::Cluster, Role::ClusterTime},
    {"SimpleBlock", Role::Other, Role::Block},
    {"Block", Role::Other, Role::Block},
    {"TrackEntry", Role::Other, Role::TrackEntry},
    {"TrackNumber", Role::TrackEntry, Role::TrackNumber},
    {"TrackType", Role::TrackEntry, Role::TrackType},
    {"CodecID", Role::TrackEntry, Role::CodecID},
    {"Video", Role::TrackEntry, Role::Video},
    {"PixelWidth", Role::Video, Role::PixelWidth},
    {"PixelHeight", Role::Video, Role::PixelHeight},
    {"Language", Role::TrackEntry, Role::Language},
    {"LanguageBCP47", Role::TrackEntry, Role::LanguageBCP47},
    {"CodecDelay", Role::TrackEntry, Role::CodecDelay},
    {"DefaultDuration", Role::TrackEntry, Role::DefaultDuration},
    {"Audio", Role::TrackEntry, Role::Audio},
    {"SamplingFrequency", Role::Audio, Role::SamplingFrequency},
    {"Channels", Role::Audio, Role::Channels},
};

Role roleOf(const QString &name, Role parent)
{
    static const QHash<QString, const RoleRow *> byName = [] {
        QHash<QString, const RoleRow *> rows;
        for (const RoleRow &row : Roles)
            rows.insert(QString::fromLatin1(row.name), &row);
        return rows;
    }();
    const RoleRow *row = byName.value(name);
    if (!row || (row->parent != Role::Other && row->parent != parent))
        return Role::Other;
    return row->role;
}

} // namespace

void SummaryStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    const Role role = roleOf(name, m_open.empty() ? Other : m_open.back());
    switch (role) {
    case Unknown: m_next->mark(UnknownElement); break;
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
    m_open.push_back(role);
    m_rowsDone = false;
    m_next->beginElement(offset, size, name, tag);
}

void SummaryStage::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                            const QString &name, const QString &value, const QString &extra,
                            const QString &meaning, qint64 tag)
{
    // Rows after a child are not the element's own.
    const Role role = m_open.empty() || m_rowsDone ? Other : m_open.back();
    if (role == Block) {
        if (name == QLatin1String("Timecode") || name == QLatin1String("Timestamp")) {
            bool ok = false;
            m_blockTime = value.toLongLong(&ok);
            m_blockTimeKnown = ok;
        } else if (name == QLatin1String("TrackNumber")) {
            m_blockTrack = value.toULongLong();
        }
    } else if (role != Other && name == QLatin1String("value")) {
        takeValue(role, value, meaning);
    }
    m_rows->addField(flag, offset, code, length, name, value, extra, meaning, tag);
}

void SummaryStage::takeValue(Role role, const QString &value, const QString &meaning)
{
    bool ok = false;
    switch (role) {
    case TimecodeScale:
        if (const quint64 scale = value.toULongLong(&ok); ok && scale != 0)
            m_summary.timecodeScale = scale;
        break;
    case ClusterTime:
        m_clusterTime = value.toLongLong(&ok);
        m_clusterTimeKnown = ok;
        break;
    case TrackNumber: m_track.number = value.toULongLong(); break;
    case TrackType:
        m_track.type = value.toULongLong();
        m_track.typeName = meaning.left(MaxTextChars);
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
}

void SummaryStage::endElement()
{
    if (!m_open.empty()) {
        if (m_open.back() == TrackEntry) {
            // LanguageBCP47 stands for the track's language when there is one.
            if (!m_languageBCP47.isEmpty())
                m_track.language = m_languageBCP47;
            if (m_summary.tracks.size() < MaxTracks)
                m_summary.tracks.push_back(m_track);
            else
                ++m_summary.tracksOmitted;
        }
        m_open.pop_back();
    }
    m_rowsDone = true;
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
