// SPDX-License-Identifier: MIT
// What a player needs to set up a file: EBML header limits that a reader
// can meet, each track's Video or Audio settings and its CodecPrivate, the
// UIDs that tags and chapters refer to, and a Segment Duration near where
// the media ends.
#include "check.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>

namespace {

// The most of a CodecPrivate that is read: the Xiph lace sizes of a Vorbis
// comment header of up to 1 MB, and the identification header after them.
constexpr qint64 PrivateBytes = 4096;
// The most UIDs held of each kind, and references held until the Segment
// ends; past them, what is not held is not checked.
constexpr size_t MaxUids = 65536;
constexpr size_t MaxReferences = 4096;
// The most tracks whose DefaultDuration is held.
constexpr size_t MaxTracks = 1024;
constexpr double NanosecondsPerSecond = 1e9;

// An unsigned integer of value 0; an empty one is 0 too.
bool isZero(const OpenElement &e)
{
    return e.hasValue ? e.number == 0 : e.dataSize == 0;
}

// The EBML header's values that no reader can follow.
struct HeaderLimit
{
    quint32 id;
    quint64 least, most;
    const char *why;
};
const HeaderLimit HeaderLimits[] = {
    {Id::EbmlReadVersion, 0, 1, "readers know EBML version 1 only"},
    {Id::EbmlMaxIdLength, 0, 4, "an EBML ID is at most 4 bytes long"},
    {Id::EbmlMaxSizeLength, 0, 8, "a size field is at most 8 bytes long"},
    {Id::DocTypeVersion, 1, ~quint64(0), "the versions of a DocType begin at 1"},
};

// CodecPrivate validators: given its first bytes (as many as the codec's
// row reads, or all of a shorter one) and its size, what is wrong, or an
// empty text.
QString configurationVersion1(const QByteArray &b, const char *record)
{
    if (b[0] == 1)
        return QString();
    return QStringLiteral("%1 configurationVersion %2; it must be 1")
        .arg(QLatin1String(record))
        .arg(uchar(b[0]));
}
QString avcC(const QByteArray &b, quint64)
{
    return configurationVersion1(b, "avcC");
}
QString hvcC(const QByteArray &b, quint64)
{
    return configurationVersion1(b, "hvcC");
}
QString av1C(const QByteArray &b, quint64)
{
    if (uchar(b[0]) == 0x81)
        return QString();
    return QStringLiteral("av1C begins with 0x%1; its marker bit and version 1 make 0x81")
        .arg(uchar(b[0]), 2, 16, QLatin1Char('0'));
}
QString opusHead(const QByteArray &b, quint64)
{
    return b.startsWith("OpusHead") ? QString()
                                    : QStringLiteral("it does not begin with \"OpusHead\"");
}
QString flacHead(const QByteArray &b, quint64)
{
    if (!b.startsWith("fLaC"))
        return QStringLiteral("it does not begin with \"fLaC\"");
    if ((b[4] & 0x7F) != 0)
        return QStringLiteral("its first metadata block is of type %1, not STREAMINFO (0)")
            .arg(b[4] & 0x7F);
    return QString();
}
// Three headers, Xiph-laced: their count less one, the sizes of the first
// two, then the headers; the first is the identification header, packet
// type 1 and "vorbis".
QString vorbisHeaders(const QByteArray &b, quint64 size)
{
    if (b[0] != 2)
        return QStringLiteral("it is laced as %1 headers; Vorbis has 3").arg(uchar(b[0]) + 1);
    quint64 lengths[2] = {};
    qsizetype at = 1;
    for (quint64 &length : lengths) {
        for (;;) {
            if (quint64(at) >= size)
                return QStringLiteral("its lace sizes run past its %1 bytes").arg(size);
            if (at >= b.size())
                return QString(); // past the bytes read: the rest is not judged
            const uchar byte = uchar(b[at++]);
            length += byte;
            if (byte < 255)
                break;
        }
    }
    if (quint64(at) + lengths[0] + lengths[1] >= size)
        return QStringLiteral("headers of %1 and %2 bytes leave none of its %3 bytes to the third")
            .arg(lengths[0])
            .arg(lengths[1])
            .arg(size);
    if (at + 7 <= b.size() && (lengths[0] < 7 || b.mid(at, 7) != QByteArray("\x01vorbis")))
        return QStringLiteral("its first header is no identification header (1, \"vorbis\")");
    return QString();
}

// The codecs that need CodecPrivate, and what it holds.
struct CodecSetup
{
    const char *codec;
    const char *needs; // what it holds, for messages
    quint64 least;     // its length at least
    qint64 reads;      // the bytes that check looks at, at most
    QString (*check)(const QByteArray &bytes, quint64 size); // null: any bytes
};
const CodecSetup CodecSetups[] = {
    {"V_MPEG4/ISO/AVC", "an avcC record", 7, 1, avcC},
    {"V_MPEGH/ISO/HEVC", "an hvcC record", 23, 1, hvcC},
    {"V_AV1", "an av1C record", 4, 1, av1C},
    {"A_VORBIS", "three Xiph-laced Vorbis headers", 4, PrivateBytes, vorbisHeaders},
    {"A_OPUS", "an OpusHead", 19, 8, opusHead},
    {"A_FLAC", "\"fLaC\" and a STREAMINFO block", 42, 5, flacHead},
    {"A_AAC", "an AudioSpecificConfig", 2, 0, nullptr},
};

// The UIDs that tags and chapters refer to, and where they are given.
enum UidKind { TrackUids, EditionUids, ChapterUids, FileUids, UidKinds };
struct UidSource
{
    quint32 id, parent;
    const char *holder;
};
const UidSource UidSources[UidKinds] = {
    {Id::TrackUid, Id::TrackEntry, "TrackEntry"},
    {Id::EditionUid, Id::EditionEntry, "EditionEntry"},
    {Id::ChapterUid, Id::ChapterAtom, "ChapterAtom"},
    {Id::FileUid, Id::AttachedFile, "AttachedFile"},
};
// A ChapterTrackUID that no track has is a warning: mkvmerge writes the
// track numbers of a chapter file there.
struct UidReference
{
    quint32 id, parent;
    UidKind kind;
    Severity severity;
};
const UidReference UidReferences[] = {
    {Id::TagTrackUid, Id::Targets, TrackUids, Severity::Error},
    {Id::TagEditionUid, Id::Targets, EditionUids, Severity::Error},
    {Id::TagChapterUid, Id::Targets, ChapterUids, Severity::Error},
    {Id::TagAttachmentUid, Id::Targets, FileUids, Severity::Error},
    {Id::ChapterTrackUid, Id::ChapterTrack, TrackUids, Severity::Warning},
};

class SetupChecks : public Check
{
public:
    SetupChecks() { beginSegment(); }
    void begin(CheckContext &c) override;
    bool wantsRows(const OpenElement &e) const override
    {
        return e.id == Id::SimpleBlock || e.id == Id::Block;
    }
    void row(CheckContext &c, const CheckedRow &row) override;
    void end(CheckContext &c) override;
    void finish(CheckContext &c) override;

private:
    struct Entry
    {
        quint64 number = 0, type = 0, defaultDuration = 0;
        bool hasVideo = false, hasAudio = false;
        QByteArray codec;
        bool hasPrivate = false, privateEncoded = false;
        quint64 privateOffset = 0, privateSize = 0;
    };
    struct Picture
    {
        quint64 width = 0, height = 0;
        quint64 crop[4] = {}; // left, right, top, bottom
    };
    struct Block
    {
        quint64 track = 0;
        qint64 timecode = 0;
        quint64 frames = 1;
        bool timed = false;
    };
    struct Reference
    {
        const UidReference *rule;
        quint64 value, offset;
        QString name, path;
    };

    void beginSegment();
    void headerLimit(CheckContext &c, const OpenElement &e);
    void endTrackEntry(CheckContext &c);
    void codecPrivate(CheckContext &c);
    void pictureSize(CheckContext &c, const OpenElement &e, quint64 *size);
    void crop(CheckContext &c);
    void uidReference(CheckContext &c, const OpenElement &e);
    void resolveReferences(CheckContext &c);
    void blockEnd(const Block &block, qint64 blockDuration);
    void checkDuration(CheckContext &c);

    Entry m_entry;
    Picture m_picture;
    // Track number and DefaultDuration in ns, sorted.
    std::vector<std::pair<quint64, quint64>> m_defaultDurations;

    std::vector<quint64> m_uids[UidKinds];
    bool m_uidsFull[UidKinds] = {};
    std::vector<Reference> m_references;

    double m_scale = 1e6; // TimestampScale, ns
    bool m_hasDuration = false;
    double m_duration = 0;
    quint64 m_durationOffset = 0;
    QString m_durationPath;
    qint64 m_clusterTime = 0;
    Block m_block, m_groupBlock;
    bool m_groupHasBlock = false;
    qint64 m_groupDuration = -1;
    bool m_sawBlock = false;
    double m_mediaEnd = 0; // in TimestampScale units
};

void SetupChecks::beginSegment()
{
    m_defaultDurations.clear();
    for (int kind = 0; kind < UidKinds; ++kind) {
        m_uids[kind].clear();
        m_uidsFull[kind] = false;
    }
    m_references.clear();
    m_scale = 1e6;
    m_hasDuration = false;
    m_durationPath = QString();
    m_clusterTime = 0;
    m_sawBlock = false;
    m_mediaEnd = 0;
}

void SetupChecks::begin(CheckContext &c)
{
    switch (c.current().id) {
    case Id::SimpleBlock:
    case Id::Block: m_block = Block(); break;
    case Id::BlockGroup:
        m_groupHasBlock = false;
        m_groupDuration = -1;
        break;
    case Id::Cluster: m_clusterTime = 0; break;
    case Id::TrackEntry: m_entry = Entry(); break;
    case Id::Video: m_picture = Picture(); break;
    case Id::Segment:
        if (c.depth() == 1)
            beginSegment();
        break;
    default: break;
    }
}

void SetupChecks::row(CheckContext &c, const CheckedRow &row)
{
    Q_UNUSED(c);
    switch (row.kind) {
    case RowKind::TrackNumber: m_block.track = quint64(row.number); break;
    case RowKind::Timecode:
        m_block.timecode = row.number;
        m_block.timed = true;
        break;
    case RowKind::LaceCount: m_block.frames = quint64(row.number); break;
    default: break;
    }
}

void SetupChecks::end(CheckContext &c)
{
    const OpenElement &e = c.current();
    const quint32 parent = c.parentId();
    const quint64 value = e.hasValue ? quint64(e.number) : 0;
    switch (e.id) {
    case Id::SimpleBlock: blockEnd(m_block, -1); break;
    case Id::Block:
        m_groupBlock = m_block;
        m_groupHasBlock = true;
        break;
    case Id::BlockDuration:
        if (parent == Id::BlockGroup && e.hasValue)
            m_groupDuration = qint64(qMin<quint64>(value, quint64(1) << 62));
        break;
    case Id::BlockGroup:
        if (m_groupHasBlock)
            blockEnd(m_groupBlock, m_groupDuration);
        break;
    case Id::Timestamp:
        if (parent == Id::Cluster && e.hasValue)
            m_clusterTime = qint64(qMin<quint64>(value, quint64(1) << 62));
        break;
    case Id::EbmlReadVersion:
    case Id::EbmlMaxIdLength:
    case Id::EbmlMaxSizeLength:
    case Id::DocTypeVersion:
        if (parent == Id::Ebml && e.hasValue)
            headerLimit(c, e);
        break;
    case Id::TrackNumber:
        if (parent == Id::TrackEntry)
            m_entry.number = value;
        break;
    case Id::TrackType:
        if (parent == Id::TrackEntry)
            m_entry.type = value;
        break;
    case Id::DefaultDuration:
        if (parent == Id::TrackEntry)
            m_entry.defaultDuration = value;
        break;
    case Id::CodecId:
        if (parent == Id::TrackEntry && e.dataSize <= 64) {
            m_entry.codec.resize(qsizetype(e.dataSize));
            m_entry.codec.resize(
                qsizetype(c.read(e.dataOffset, m_entry.codec.data(), qint64(e.dataSize))));
            while (m_entry.codec.endsWith('\0'))
                m_entry.codec.chop(1);
        }
        break;
    case Id::CodecPrivate:
        if (parent == Id::TrackEntry) {
            m_entry.hasPrivate = true;
            m_entry.privateOffset = e.dataOffset;
            m_entry.privateSize = e.dataSize;
        }
        break;
    case Id::ContentEncodingScope:
        m_entry.privateEncoded = m_entry.privateEncoded || (value & 2);
        break;
    case Id::Video:
        if (parent == Id::TrackEntry) {
            m_entry.hasVideo = true;
            crop(c);
        }
        break;
    case Id::Audio: m_entry.hasAudio = m_entry.hasAudio || parent == Id::TrackEntry; break;
    case Id::PixelWidth:
        if (parent == Id::Video)
            pictureSize(c, e, &m_picture.width);
        break;
    case Id::PixelHeight:
        if (parent == Id::Video)
            pictureSize(c, e, &m_picture.height);
        break;
    case Id::PixelCropLeft:
    case Id::PixelCropRight:
    case Id::PixelCropTop:
    case Id::PixelCropBottom: {
        static const quint32 crops[4]
            = {Id::PixelCropLeft, Id::PixelCropRight, Id::PixelCropTop, Id::PixelCropBottom};
        if (parent == Id::Video)
            m_picture.crop[std::find(crops, crops + 4, quint32(e.id)) - crops] = value;
        break;
    }
    case Id::SamplingFrequency:
        if (parent == Id::Audio && e.hasValue && valueAsDouble(e.number) == 0) {
            c.valueReported = e.offset;
            c.report(Severity::Error, "track-settings", [] {
                return QStringLiteral("SamplingFrequency 0: an audio track has samples per second");
            });
        }
        break;
    case Id::TrackEntry: endTrackEntry(c); break;
    case Id::TrackUid:
    case Id::EditionUid:
    case Id::ChapterUid:
    case Id::FileUid:
        for (int kind = 0; kind < UidKinds; ++kind) {
            if (UidSources[kind].id == e.id && UidSources[kind].parent == parent && e.hasValue) {
                m_uidsFull[kind] = m_uidsFull[kind] || m_uids[kind].size() == MaxUids;
                if (!m_uidsFull[kind])
                    m_uids[kind].push_back(value);
            }
        }
        break;
    case Id::TagTrackUid:
    case Id::TagEditionUid:
    case Id::TagChapterUid:
    case Id::TagAttachmentUid:
    case Id::ChapterTrackUid: uidReference(c, e); break;
    case Id::TimestampScale:
        if (parent == Id::Info && e.hasValue && value > 0)
            m_scale = double(value);
        break;
    case Id::Duration:
        if (parent == Id::Info && e.hasValue && !m_hasDuration) {
            m_hasDuration = true;
            m_duration = valueAsDouble(e.number);
            m_durationOffset = e.offset;
            m_durationPath = c.currentPath();
        }
        break;
    case Id::Segment:
        if (c.depth() == 1) {
            resolveReferences(c);
            if (!e.pastFileEnd)
                checkDuration(c);
        }
        break;
    default: break;
    }
}

void SetupChecks::headerLimit(CheckContext &c, const OpenElement &e)
{
    const quint64 value = quint64(e.number);
    for (const HeaderLimit &limit : HeaderLimits) {
        if (limit.id != quint32(e.id) || (value >= limit.least && value <= limit.most))
            continue;
        c.valueReported = e.offset;
        c.report(Severity::Error, "ebml-header", [&] {
            return QStringLiteral("%1 %2: %3, and no reader can read this file")
                .arg(e.name)
                .arg(value)
                .arg(QLatin1String(limit.why));
        });
    }
}

void SetupChecks::pictureSize(CheckContext &c, const OpenElement &e, quint64 *size)
{
    *size = e.hasValue ? quint64(e.number) : 0;
    if (!isZero(e))
        return;
    c.valueReported = e.offset;
    c.report(Severity::Error, "track-settings", [&] {
        return QStringLiteral("%1 0: a picture has at least one pixel each way").arg(e.name);
    });
}

void SetupChecks::crop(CheckContext &c)
{
    const Picture &p = m_picture;
    const bool across = p.width && p.crop[0] + p.crop[1] >= p.width;
    const bool down = p.height && p.crop[2] + p.crop[3] >= p.height;
    if (!across && !down)
        return;
    c.report(Severity::Error, "track-settings", [&] {
        return across ? QStringLiteral("PixelCropLeft %1 and PixelCropRight %2 leave no pixel of "
                                       "PixelWidth %3")
                            .arg(p.crop[0])
                            .arg(p.crop[1])
                            .arg(p.width)
                      : QStringLiteral("PixelCropTop %1 and PixelCropBottom %2 leave no pixel of "
                                       "PixelHeight %3")
                            .arg(p.crop[2])
                            .arg(p.crop[3])
                            .arg(p.height);
    });
}

void SetupChecks::endTrackEntry(CheckContext &c)
{
    const Entry &t = m_entry;
    if ((t.type == 1 && !t.hasVideo) || (t.type == 2 && !t.hasAudio))
        c.report(Severity::Error, "track-settings", [&] {
            return t.type == 1 ? QStringLiteral("a video track (TrackType 1) without Video")
                               : QStringLiteral("an audio track (TrackType 2) without Audio");
        });
    codecPrivate(c);
    if (t.defaultDuration && m_defaultDurations.size() < MaxTracks) {
        const std::pair<quint64, quint64> track(t.number, t.defaultDuration);
        m_defaultDurations.insert(
            std::lower_bound(m_defaultDurations.begin(), m_defaultDurations.end(), track), track);
    }
}

void SetupChecks::codecPrivate(CheckContext &c)
{
    const Entry &t = m_entry;
    const auto setup = std::find_if(std::begin(CodecSetups), std::end(CodecSetups),
                                    [&](const CodecSetup &s) { return t.codec == s.codec; });
    if (setup == std::end(CodecSetups) || t.privateEncoded)
        return; // compressed CodecPrivate is not judged
    const QString codec = QString::fromLatin1(t.codec);
    const QLatin1String needs(setup->needs);
    if (!t.hasPrivate || t.privateSize == 0)
        return c.report(Severity::Error, "codec-private", [&] {
            return QStringLiteral("%1 needs CodecPrivate (%2); this track has none")
                .arg(codec, needs);
        });
    if (t.privateSize < setup->least)
        return c.report(Severity::Error, "codec-private", [&] {
            return QStringLiteral("CodecPrivate of %1 is %2 bytes, fewer than the %3 of %4")
                .arg(codec)
                .arg(t.privateSize)
                .arg(setup->least)
                .arg(needs);
        });
    if (!setup->check)
        return;
    const qsizetype wanted = qsizetype(qMin<quint64>(t.privateSize, quint64(setup->reads)));
    QByteArray bytes(wanted, Qt::Uninitialized);
    if (c.read(t.privateOffset, bytes.data(), wanted) < wanted)
        return; // cut by the end of the file
    const QString fault = setup->check(bytes, t.privateSize);
    if (!fault.isEmpty())
        c.report(Severity::Error, "codec-private", [&] {
            return QStringLiteral("CodecPrivate of %1 is not %2: %3").arg(codec, needs, fault);
        });
}

void SetupChecks::uidReference(CheckContext &c, const OpenElement &e)
{
    const quint32 parent = c.parentId();
    for (const UidReference &rule : UidReferences) {
        // 0 means all of them.
        if (rule.id != quint32(e.id) || rule.parent != parent || !e.hasValue || e.number == 0)
            continue;
        if (m_references.size() < MaxReferences)
            m_references.push_back(
                Reference {&rule, quint64(e.number), e.offset, e.name, c.currentPath()});
    }
}

// At the end of the Segment, when all its UIDs are known.
void SetupChecks::resolveReferences(CheckContext &c)
{
    for (std::vector<quint64> &uids : m_uids)
        std::sort(uids.begin(), uids.end());
    for (const Reference &r : m_references) {
        const UidKind kind = r.rule->kind;
        if (m_uidsFull[kind]
            || std::binary_search(m_uids[kind].begin(), m_uids[kind].end(), r.value))
            continue;
        c.reportAt(
            r.rule->severity, "uid-reference", r.offset, [&] { return r.path; },
            [&] {
                return QStringLiteral("%1 %2 is the UID of no %3")
                    .arg(r.name)
                    .arg(r.value)
                    .arg(QLatin1String(UidSources[kind].holder));
            });
    }
    m_references.clear();
}

void SetupChecks::blockEnd(const Block &block, qint64 blockDuration)
{
    if (!block.timed)
        return;
    double end = double(m_clusterTime) + double(block.timecode);
    if (blockDuration >= 0) {
        end += double(blockDuration);
    } else {
        const auto track = std::lower_bound(
            m_defaultDurations.begin(), m_defaultDurations.end(), block.track,
            [](const std::pair<quint64, quint64> &t, quint64 number) { return t.first < number; });
        if (track != m_defaultDurations.end() && track->first == block.track)
            end += double(block.frames) * double(track->second) / m_scale;
    }
    m_mediaEnd = m_sawBlock ? std::max(m_mediaEnd, end) : end;
    m_sawBlock = true;
}

void SetupChecks::checkDuration(CheckContext &c)
{
    if (!m_hasDuration || !m_sawBlock)
        return;
    const double seconds = m_scale / NanosecondsPerSecond;
    const double gap = std::abs(m_duration - m_mediaEnd) * seconds;
    if (!(gap > 1))
        return;
    c.reportAt(
        Severity::Warning, "duration", m_durationOffset, [&] { return m_durationPath; },
        [&] {
            return QStringLiteral("Duration %1 (%2 s) is %3 s away from where the media ends, "
                                  "%4 (%5 s): the latest end of a block")
                .arg(m_duration, 0, 'g', 12)
                .arg(m_duration * seconds, 0, 'f', 3)
                .arg(gap, 0, 'f', 3)
                .arg(m_mediaEnd, 0, 'g', 12)
                .arg(m_mediaEnd * seconds, 0, 'f', 3);
        });
}

void SetupChecks::finish(CheckContext &c)
{
    resolveReferences(c);
    beginSegment();
}

} // namespace

void addSetupChecks(Checks *checks)
{
    checks->push_back(std::make_unique<SetupChecks>());
}
