// SPDX-License-Identifier: MIT
// Seek and Cue targets: the positions that SeekHead and Cues name are read in
// the file, wherever they lie, and must hold what the entry says.
#include "check.h"

#include "ebmldecoder.h"
#include "matroskaschema.h"

namespace {

// The children of a BlockGroup looked at for its Block before giving up.
constexpr int MaxGroupChildren = 16;
// The bytes read at a target in one read: a Cluster's header, and often the
// block it holds, or a BlockGroup's header and first children.
constexpr int TargetBytes = 256;
// The most bytes a header takes: ID 4, size 8, the payload's first
// integer 8.
constexpr int HeaderBytes = 20;
constexpr quint64 NoPosition = ~quint64(0);

// An EBML header read from the file in one read: the ID as stored, the size
// field, and the variable-size integer that opens the payload (a block's
// track number).
struct Header
{
    int idLength = 0; // 0: no ID could be read there
    quint32 id = 0;
    int sizeLength = 0; // 0: no size could be read
    quint64 size = 0;
    bool unknownSize = false;
    quint64 dataOffset = 0;
    bool hasLead = false; // the payload's first integer could be read
    quint64 lead = 0;
};

Header parseHeader(const quint8 *bytes, int got, quint64 position)
{
    Header h;
    h.idLength = EbmlDecoder::readId(bytes, got, &h.id);
    if (h.idLength == 0)
        return h;
    h.sizeLength = EbmlDecoder::readSize(bytes + h.idLength, got - h.idLength, &h.size);
    if (h.sizeLength == 0)
        return h;
    h.unknownSize = EbmlDecoder::unknownSize(h.size, h.sizeLength);
    const int head = h.idLength + h.sizeLength;
    h.dataOffset = position + quint64(head);
    h.hasLead = EbmlDecoder::readSize(bytes + head, got - head, &h.lead) > 0;
    return h;
}

// Headers parsed from bytes of the file read once; a header that they do not
// hold whole is read anew where it begins.
class HeaderReader
{
public:
    explicit HeaderReader(const CheckContext &c)
        : m_context(c)
    {}

    Header at(quint64 position)
    {
        const quint64 end = m_start + quint64(m_count);
        if (!m_read || position < m_start || position > end
            || (position + HeaderBytes > end && m_count == TargetBytes)) {
            m_read = true;
            m_start = position;
            m_count = int(m_context.read(position, reinterpret_cast<char *>(m_bytes), TargetBytes));
        }
        const quint64 skip = position - m_start;
        return parseHeader(m_bytes + skip, m_count - int(skip), position);
    }

private:
    const CheckContext &m_context;
    quint8 m_bytes[TargetBytes];
    quint64 m_start = 0;
    int m_count = 0;
    bool m_read = false;
};

QString hex(quint32 id)
{
    return QStringLiteral("0x") + QString::number(id, 16).toUpper();
}

// "a Cluster (0x1F43B675)", or with the article "the", for messages.
QString named(quint32 id, const char *article = nullptr)
{
    const MatroskaSchema::Element *element = MatroskaSchema::find(id);
    const QString name = element ? MatroskaSchema::name(*element) : QString();
    const bool vowel = name.isEmpty() || QStringLiteral("AEIOU").contains(name.at(0));
    const QLatin1String a(article ? article : vowel ? "an" : "a");
    if (!element)
        return QStringLiteral("%1 element of unknown ID %2").arg(a, hex(id));
    return QStringLiteral("%1 %2 (%3)").arg(a, name, hex(id));
}

// What the bytes at a position hold, for messages.
QString found(const CheckContext &c, quint64 position, const Header &h)
{
    if (position >= c.fileSize())
        return QStringLiteral("past the file's end (%1 bytes)").arg(c.fileSize());
    if (h.idLength == 0)
        return QStringLiteral("bytes that begin no element ID");
    return QStringLiteral("at ") + named(h.id);
}

// The payload start of the innermost open Segment, or -1 outside one.
qint64 segmentData(const CheckContext &c)
{
    const OpenElement *segment = c.segment();
    return segment ? qint64(segment->dataOffset) : -1;
}

// base + offset, saturated: a place past any file's end.
quint64 place(quint64 base, quint64 offset)
{
    return base + offset < base ? ~quint64(0) : base + offset;
}

quint64 number(const OpenElement &e, bool *ok)
{
    *ok = e.hasValue;
    return e.hasValue ? quint64(e.number) : 0;
}

class TargetChecks : public Check
{
public:
    void begin(CheckContext &c) override
    {
        switch (c.current().id) {
        case Id::Seek: m_seek = SeekEntry(); break;
        case Id::CueTrackPositions: m_cue = CueEntry(); break;
        default: break;
        }
    }

    void end(CheckContext &c) override
    {
        const OpenElement &e = c.current();
        switch (e.id) {
        case Id::SeekId:
            if (c.parentId() == Id::Seek)
                readSeekId(c, e);
            break;
        case Id::SeekPosition:
            if (c.parentId() == Id::Seek)
                m_seek.position = number(e, &m_seek.hasPosition);
            break;
        case Id::Seek: checkSeek(c); break;
        case Id::CueTrack:
            if (c.parentId() == Id::CueTrackPositions)
                m_cue.track = number(e, &m_cue.hasTrack);
            break;
        case Id::CueClusterPosition:
            if (c.parentId() == Id::CueTrackPositions)
                m_cue.cluster = number(e, &m_cue.hasCluster);
            break;
        case Id::CueRelativePosition:
            if (c.parentId() == Id::CueTrackPositions)
                m_cue.relative = number(e, &m_cue.hasRelative);
            break;
        case Id::CueTrackPositions:
            if (c.parentId() == Id::CuePoint)
                checkCue(c);
            break;
        default: break;
        }
    }

    void finish(CheckContext &c) override
    {
        Q_UNUSED(c);
        m_cluster = Target();
        m_block = Target();
    }

private:
    struct SeekEntry
    {
        quint32 id = 0;
        int idLength = 0; // 0: no SeekID of 1 to 4 bytes came
        bool hasPosition = false;
        quint64 position = 0;
    };
    struct CueEntry
    {
        bool hasTrack = false, hasCluster = false, hasRelative = false;
        quint64 track = 0, cluster = 0, relative = 0;
    };
    // What a Cue target holds, kept for the next Cues, which mostly name the
    // same Cluster, and often the same block.
    struct Target
    {
        quint64 position = NoPosition;
        Header header;
        bool hasTrack = false; // a block's track number could be read
        quint64 track = 0;
    };

    void readSeekId(CheckContext &c, const OpenElement &e)
    {
        m_seek.idLength = 0;
        if (e.unknownSize || e.dataSize < 1 || e.dataSize > 4)
            return;
        char bytes[4];
        if (c.read(e.dataOffset, bytes, qint64(e.dataSize)) != qint64(e.dataSize))
            return;
        quint32 id = 0;
        for (quint64 i = 0; i < e.dataSize; ++i)
            id = (id << 8) | quint8(bytes[i]);
        m_seek.id = id;
        m_seek.idLength = int(e.dataSize);
    }

    void checkSeek(CheckContext &c)
    {
        const qint64 base = segmentData(c);
        if (m_seek.idLength == 0 || !m_seek.hasPosition || base < 0)
            return;
        const quint64 target = place(quint64(base), m_seek.position);
        const Header h = HeaderReader(c).at(target);
        if (h.idLength != m_seek.idLength || h.id != m_seek.id)
            c.report(Severity::Error, "seek-target", [&] {
                return QStringLiteral("SeekPosition %1 points %2, not at %3 that SeekID names")
                    .arg(m_seek.position)
                    .arg(found(c, target, h), named(m_seek.id, "the"));
            });
    }

    void checkCue(CheckContext &c)
    {
        const qint64 base = segmentData(c);
        if (!m_cue.hasCluster || base < 0)
            return;
        HeaderReader reader(c);
        const quint64 cluster = place(quint64(base), m_cue.cluster);
        if (m_cluster.position != cluster)
            m_cluster = Target {cluster, reader.at(cluster)};
        const Header &h = m_cluster.header;
        if (h.idLength != 4 || h.id != Id::Cluster)
            return reportCue(c, [&] {
                return QStringLiteral("CueClusterPosition %1 points %2, not at a Cluster "
                                      "(0x1F43B675)")
                    .arg(m_cue.cluster)
                    .arg(found(c, cluster, h));
            });
        if (!m_cue.hasRelative || h.sizeLength == 0)
            return;
        const quint64 position = place(h.dataOffset, m_cue.relative);
        if (m_block.position != position)
            m_block = blockTarget(reader, position);
        const Header &b = m_block.header;
        const auto where = [&] {
            return QStringLiteral("CueRelativePosition %1 in the Cluster at offset %2")
                .arg(m_cue.relative)
                .arg(cluster);
        };
        if (b.idLength != 1 || (b.id != Id::SimpleBlock && b.id != Id::BlockGroup))
            return reportCue(c, [&] {
                return QStringLiteral("%1 points %2, not at a SimpleBlock or BlockGroup")
                    .arg(where(), found(c, position, b));
            });
        if (!m_cue.hasTrack)
            return;
        if (!m_block.hasTrack)
            return reportCue(c, [&] {
                return QStringLiteral("%1 points at %2 whose track number cannot be read")
                    .arg(where(), named(b.id));
            });
        if (m_block.track != m_cue.track)
            reportCue(c, [&] {
                return QStringLiteral("%1 points at %2 of track %3, not of CueTrack %4")
                    .arg(where(), named(b.id))
                    .arg(m_block.track)
                    .arg(m_cue.track);
            });
    }

    // The header at a block target and, for a SimpleBlock or a BlockGroup,
    // its track number: a BlockGroup's is that of the Block among its first
    // children.
    static Target blockTarget(HeaderReader &reader, quint64 position)
    {
        Target t {position, reader.at(position)};
        const Header &group = t.header;
        if (group.idLength != 1)
            return t;
        if (group.id == Id::SimpleBlock) {
            t.hasTrack = group.hasLead;
            t.track = group.lead;
        }
        if (group.id != Id::BlockGroup || group.sizeLength == 0)
            return t;
        const quint64 end = group.unknownSize ? NoPosition : place(group.dataOffset, group.size);
        quint64 at = group.dataOffset;
        for (int i = 0; i < MaxGroupChildren && at < end; ++i) {
            const Header child = reader.at(at);
            if (child.idLength == 0 || child.sizeLength == 0 || child.unknownSize)
                break;
            if (child.idLength == 1 && child.id == Id::Block) {
                t.hasTrack = child.hasLead;
                t.track = child.lead;
                break;
            }
            at = place(child.dataOffset, child.size);
        }
        return t;
    }

    // Cue findings stand at the CuePoint, the parent of the current element.
    template <typename Message> void reportCue(CheckContext &c, const Message &message)
    {
        c.reportAbout(c.depth() - 2, Severity::Error, "cue-target", message);
    }

    SeekEntry m_seek;
    CueEntry m_cue;
    Target m_cluster, m_block; // the last ones read
};

} // namespace

void addTargetChecks(Checks *checks)
{
    checks->push_back(std::make_unique<TargetChecks>());
}
