// The plug-in on real files made by ffmpeg and mkvmerge, held against two
// independent readers: mkvinfo for the element tree (offsets, lengths,
// nesting, names, values, block headers, keyframe flags) and ffprobe for the
// frames of the video tracks.
#include "e2e_support.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

using e2e::forEachNode;

// ---------------------------------------------------------------------------
// mkvinfo's view of a file

// One element as `mkvinfo -v -v -z -P` prints it:
//   "|  + Label: text at OFFSET size WHOLE data size PAYLOAD"
// where the number of characters before '+' is the nesting depth, -z makes
// "size" the whole element (ID + size field + payload) and "data size" the
// payload. Blocks are followed by one "Frame at OFFSET size N" line per
// (laced) frame; those lines are not elements and go to the block. An
// element whose size field holds the unknown-size marker (all value bits
// set) is printed as "Label: size unknown at OFFSET size is unknown".
struct InfoElement
{
    QString label;
    QString text;
    quint64 offset = 0;
    quint64 size = 0;
    quint64 dataSize = 0;
    bool sizeUnknown = false;
    QVector<QPair<quint64, quint64>> frames;
    std::vector<InfoElement> children;

    quint64 payloadOffset() const { return offset + (size - dataSize); }
};

struct InfoFile
{
    bool ran = false;
    std::vector<InfoElement> roots;
    QStringList unparsed;
};

InfoFile parseMkvinfo(const QByteArray &output)
{
    static const QRegularExpression elementLine(
        QStringLiteral(R"(^([| ]*)\+ (.*) at (\d+) size (\d+) data size (\d+)$)"));
    static const QRegularExpression frameLine(
        QStringLiteral(R"(^([| ]*)\+ Frame at (\d+) size (\d+)$)"));
    static const QRegularExpression unknownSizeLine(
        QStringLiteral(R"(^([| ]*)\+ (.*) at (\d+) size is unknown$)"));

    InfoFile file;
    file.ran = true;
    std::vector<InfoElement *> open;
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        QRegularExpressionMatch m = frameLine.match(line);
        if (m.hasMatch()) {
            const qsizetype depth = m.capturedLength(1);
            if (depth < 1 || qsizetype(open.size()) < depth) {
                file.unparsed << line;
                continue;
            }
            open[size_t(depth - 1)]->frames.append(
                {m.captured(2).toULongLong(), m.captured(3).toULongLong()});
            continue;
        }
        m = elementLine.match(line);
        const bool sizeUnknown = !m.hasMatch();
        if (sizeUnknown)
            m = unknownSizeLine.match(line);
        if (!m.hasMatch()) {
            file.unparsed << line;
            continue;
        }
        const qsizetype depth = m.capturedLength(1);
        if (depth > qsizetype(open.size())) {
            file.unparsed << line;
            continue;
        }
        open.resize(size_t(depth));
        // Only the innermost open element's children grow, so the pointers
        // to its ancestors stay valid.
        std::vector<InfoElement> &siblings = open.empty() ? file.roots : open.back()->children;
        siblings.emplace_back();
        InfoElement &e = siblings.back();
        const QString head = m.captured(2);
        const qsizetype colon = head.indexOf(QLatin1String(": "));
        e.label = colon < 0 ? head : head.left(colon);
        e.text = colon < 0 ? QString() : head.mid(colon + 2);
        e.offset = m.captured(3).toULongLong();
        e.sizeUnknown = sizeUnknown;
        if (!sizeUnknown) {
            e.size = m.captured(4).toULongLong();
            e.dataSize = m.captured(5).toULongLong();
        }
        open.push_back(&e);
    }
    return file;
}

// mkvinfo labels and the catalogue names they stand for. Some labels are
// shared by two elements (the track UID of a TrackEntry and of a tag's
// Targets). Elements that are newer than the catalogue may also show as
// "Unknown": they are still walked, as opaque elements.
const QHash<QString, QStringList> &namesForLabel()
{
    static const QHash<QString, QStringList> map = [] {
        QHash<QString, QStringList> m;
        auto add = [&m](const char *label, std::initializer_list<const char *> names) {
            QStringList list;
            for (const char *n : names)
                list << QString::fromLatin1(n);
            m.insert(QString::fromLatin1(label), list);
        };
        add("EBML head", {"EBML"});
        add("EBML version", {"EBMLVersion"});
        add("EBML read version", {"EBMLReadVersion"});
        add("Maximum EBML ID length", {"EBMLMaxIDLength"});
        add("Maximum EBML size length", {"EBMLMaxSizeLength"});
        add("Document type", {"DocType"});
        add("Document type version", {"DocTypeVersion"});
        add("Document type read version", {"DocTypeReadVersion"});
        add("EBML void", {"Void"});
        add("Segment", {"Segment"});
        add("Seek head", {"SeekHead"});
        add("Seek entry", {"Seek"});
        add("Seek ID", {"SeekID"});
        add("Seek position", {"SeekPosition"});
        add("Segment information", {"SegmentInfo"});
        add("Timestamp scale", {"TimecodeScale"});
        add("Multiplexing application", {"MuxingApp"});
        add("Writing application", {"WritingApp"});
        add("Duration", {"Duration"});
        add("Segment UID", {"SegmentUID"});
        add("Title", {"Title"});
        add("Date", {"DateUTC"});
        add("Tracks", {"Tracks"});
        add("Track", {"TrackEntry"});
        add("Track number", {"TrackNumber"});
        add("Track UID", {"TrackUID", "TagTrackUID"});
        add("Track type", {"TrackType"});
        add("\"Lacing\" flag", {"FlagLacing"});
        add("\"Default track\" flag", {"FlagDefault"});
        add("\"Forced display\" flag", {"FlagForced"});
        add("\"Enabled\" flag", {"FlagEnabled"});
        add("Language", {"Language"});
        add("Language (IETF BCP 47)", {"LanguageIETF", "Unknown"});
        add("Name", {"Name", "TagName"});
        add("Codec ID", {"CodecID"});
        add("Codec's private data", {"CodecPrivate"});
        add("Codec name", {"CodecName"});
        add("Codec-inherent delay", {"CodecDelay", "Unknown"});
        add("Seek pre-roll", {"SeekPreRoll", "Unknown"});
        add("Default duration", {"DefaultDuration"});
        add("Video track", {"Video"});
        add("Pixel width", {"PixelWidth"});
        add("Pixel height", {"PixelHeight"});
        add("Display width", {"DisplayWidth"});
        add("Display height", {"DisplayHeight"});
        add("Display unit", {"DisplayUnit"});
        add("Video color information", {"Colour", "Unknown"});
        add("Interlaced", {"FlagInterlaced"});
        add("Audio track", {"Audio"});
        add("Sampling frequency", {"SamplingFrequency"});
        add("Output sampling frequency", {"OutputSamplingFrequency"});
        add("Channels", {"Channels"});
        add("Bit depth", {"BitDepth"});
        add("Content encodings", {"ContentEncodings"});
        add("Content encoding", {"ContentEncoding"});
        add("Content compression", {"ContentCompression"});
        add("Cluster", {"Cluster"});
        add("Cluster timestamp", {"Timecode"});
        add("Cluster previous size", {"PrevSize"});
        add("Cluster position", {"Position"});
        add("Simple block", {"SimpleBlock"});
        add("Block group", {"BlockGroup"});
        add("Block", {"Block"});
        add("Block duration", {"BlockDuration"});
        add("Reference block", {"ReferenceBlock"});
        add("Discard padding", {"DiscardPadding", "Unknown"});
        add("Cues", {"Cues"});
        add("Cue point", {"CuePoint"});
        add("Cue time", {"CueTime"});
        add("Cue track positions", {"CueTrackPositions"});
        add("Cue track", {"CueTrack"});
        add("Cue cluster position", {"CueClusterPosition"});
        add("Cue relative position", {"CueRelativePosition"});
        add("Cue duration", {"CueDuration"});
        add("Cue block number", {"CueBlockNumber"});
        add("Attachments", {"Attachments"});
        add("Attached", {"AttachedFile"});
        add("File name", {"FileName"});
        add("MIME type", {"FileMimeType"});
        add("File data", {"FileData"});
        add("File UID", {"FileUID"});
        add("File description", {"FileDescription"});
        add("Chapters", {"Chapters"});
        add("Edition entry", {"EditionEntry"});
        add("Edition UID", {"EditionUID"});
        add("Edition flag hidden", {"EditionFlagHidden"});
        add("Edition flag default", {"EditionFlagDefault"});
        add("Edition flag ordered", {"EditionFlagOrdered"});
        add("Chapter atom", {"ChapterAtom"});
        add("Chapter UID", {"ChapterUID"});
        add("Chapter time start", {"ChapterTimeStart"});
        add("Chapter time end", {"ChapterTimeEnd"});
        add("Chapter flag hidden", {"ChapterFlagHidden"});
        add("Chapter flag enabled", {"ChapterFlagEnabled"});
        add("Chapter display", {"ChapterDisplay"});
        add("Chapter string", {"ChapString"});
        add("Chapter language", {"ChapLanguage"});
        add("Chapter language (IETF BCP 47)", {"ChapLanguageIETF", "Unknown"});
        add("Tags", {"Tags"});
        add("Tag", {"Tag"});
        add("Targets", {"Targets"});
        add("Target type value", {"TargetTypeValue"});
        add("Target type", {"TargetType"});
        add("Simple", {"SimpleTag"});
        add("String", {"TagString"});
        add("Tag language", {"TagLanguage"});
        add("Tag language (IETF BCP 47)", {"TagLanguageIETF", "Unknown"});
        add("Default language", {"TagDefault"});
        return m;
    }();
    return map;
}

// How mkvinfo shows the value of an element, when it shows it in a form the
// plug-in's "value" row can be held against.
enum class ValueForm {
    Text,        // the string as stored
    UInt,        // a decimal number
    TrackNumber, // "N (track ID for mkvmerge & mkvextract: M)"
    Float,       // a decimal number; the row shows 6 significant digits
    Hex,         // "0x15 0x49 ... (KaxInfo)": the bytes
    TrackType,   // a word for the type number
    Ticks,       // a time; the element holds it in timestamp-scale units
    SignedTicks, // a time that may be negative, in timestamp-scale units
    Nanoseconds, // a time; the element holds nanoseconds
    FloatTicks,  // the segment duration: a float in timestamp-scale units
    Date,        // "2024-06-01 12:34:56 UTC"; the element holds nanoseconds since 2001
};

const QHash<QString, ValueForm> &valueForms()
{
    static const QHash<QString, ValueForm> map = [] {
        QHash<QString, ValueForm> m;
        for (const char *label :
             {"Document type", "Multiplexing application", "Writing application", "Title",
              "Language", "Name", "Codec ID", "Codec name", "File name", "MIME type",
              "File description", "Chapter string", "Chapter language", "Target type", "String",
              "Tag language"})
            m.insert(QString::fromLatin1(label), ValueForm::Text);
        for (const char *label :
             {"EBML version", "EBML read version", "Maximum EBML ID length",
              "Maximum EBML size length", "Document type version", "Document type read version",
              "Seek position", "Timestamp scale", "Track UID", "\"Lacing\" flag",
              "\"Default track\" flag", "\"Forced display\" flag", "\"Enabled\" flag",
              "Pixel width", "Pixel height", "Display width", "Display height", "Interlaced",
              "Channels", "Bit depth", "Cue track", "Cue cluster position",
              "Cue relative position", "Cue block number", "File UID", "Edition UID",
              "Edition flag hidden", "Edition flag default", "Edition flag ordered",
              "Chapter UID", "Chapter flag hidden", "Chapter flag enabled",
              "Target type value"})
            m.insert(QString::fromLatin1(label), ValueForm::UInt);
        m.insert(QStringLiteral("Track number"), ValueForm::TrackNumber);
        m.insert(QStringLiteral("Sampling frequency"), ValueForm::Float);
        m.insert(QStringLiteral("Output sampling frequency"), ValueForm::Float);
        m.insert(QStringLiteral("Seek ID"), ValueForm::Hex);
        m.insert(QStringLiteral("Segment UID"), ValueForm::Hex);
        m.insert(QStringLiteral("Track type"), ValueForm::TrackType);
        m.insert(QStringLiteral("Cluster timestamp"), ValueForm::Ticks);
        m.insert(QStringLiteral("Cue time"), ValueForm::Ticks);
        m.insert(QStringLiteral("Cue duration"), ValueForm::Ticks);
        m.insert(QStringLiteral("Block duration"), ValueForm::Ticks);
        m.insert(QStringLiteral("Reference block"), ValueForm::SignedTicks);
        m.insert(QStringLiteral("Default duration"), ValueForm::Nanoseconds);
        m.insert(QStringLiteral("Chapter time start"), ValueForm::Nanoseconds);
        m.insert(QStringLiteral("Chapter time end"), ValueForm::Nanoseconds);
        m.insert(QStringLiteral("Duration"), ValueForm::FloatTicks);
        m.insert(QStringLiteral("Date"), ValueForm::Date);
        return m;
    }();
    return map;
}

// "[-]HH:MM:SS.nnnnnnnnn" at the start of a text, in nanoseconds.
bool parseTime(const QString &text, qint64 *ns)
{
    static const QRegularExpression time(QStringLiteral(R"(^(-?)(\d+):(\d\d):(\d\d)\.(\d{9}))"));
    const QRegularExpressionMatch m = time.match(text);
    if (!m.hasMatch())
        return false;
    const qint64 value = ((m.captured(2).toLongLong() * 60 + m.captured(3).toLongLong()) * 60
                          + m.captured(4).toLongLong())
            * 1000000000LL
        + m.captured(5).toLongLong();
    *ns = m.captured(1).isEmpty() ? value : -value;
    return true;
}

// A block line's text: "key, track number 2, 8 frame(s), timestamp 00:00:00.000000000".
struct BlockInfo
{
    bool valid = false;
    QStringList words; // "key", "discardable", ... before the track number
    quint64 track = 0;
    int frameCount = 0;
    qint64 timestampNs = 0;
};

BlockInfo parseBlockText(const QString &text)
{
    static const QRegularExpression block(QStringLiteral(
        R"(^((?:[a-z ]+, )*)track number (\d+), (\d+) frame\(s\), timestamp (\S+))"));
    BlockInfo info;
    const QRegularExpressionMatch m = block.match(text);
    if (!m.hasMatch())
        return info;
    for (const QString &w : m.captured(1).split(QLatin1String(", "), Qt::SkipEmptyParts))
        info.words << w.trimmed();
    info.track = m.captured(2).toULongLong();
    info.frameCount = m.captured(3).toInt();
    info.valid = parseTime(m.captured(4), &info.timestampNs);
    return info;
}

bool isBlockLabel(const QString &label)
{
    return label == QLatin1String("Simple block") || label == QLatin1String("Block");
}

// Length of the track number at the start of a block payload: the shortest
// EBML number that holds it (muxers write it so).
quint64 trackNumberLength(quint64 track)
{
    quint64 length = 1;
    while (length < 8 && track >= (quint64(1) << (7 * length)) - 1)
        ++length;
    return length;
}

// Track number, type and content encoding of every TrackEntry, in order.
struct TrackInfo
{
    quint64 number = 0;
    QString type;
    bool encoded = false;
};

// ---------------------------------------------------------------------------
// The tree and mkvinfo side by side

struct Pair
{
    const ElementNode *node;
    const InfoElement *info;
    QString path;
};

struct Match
{
    std::vector<Pair> pairs;
    QStringList mismatches;
    int crcSkipped = 0;
    int unknownSkipped = 0; // mkvinfo elements inside an opaque (Unknown) node
};

QString describe(const ElementNode &n)
{
    return QStringLiteral("%1@%2+%3").arg(n.name).arg(n.offset).arg(n.size);
}

QString describe(const InfoElement &e)
{
    if (e.sizeUnknown)
        return QStringLiteral("'%1'@%2+unknown").arg(e.label).arg(e.offset);
    return QStringLiteral("'%1'@%2+%3").arg(e.label).arg(e.offset).arg(e.size);
}

// The size row holds the unknown-size marker: all value bits of its length set.
bool sizeIsUnknown(const ElementNode &n)
{
    const ElementRow *size = n.row(QStringLiteral("size"));
    if (!size || size->length < 1 || size->length > 8)
        return false;
    bool ok = false;
    const quint64 value = size->value.toULongLong(&ok, 10);
    return ok && value == (quint64(1) << (7 * size->length)) - 1;
}

int countElements(const std::vector<InfoElement> &elements)
{
    int n = 0;
    for (const InfoElement &e : elements)
        n += 1 + countElements(e.children);
    return n;
}

// Pairs the plug-in's nodes with mkvinfo's elements level by level, in file
// order. Two kinds of element are left out of the pairing:
//  - CRC-32 elements: mkvinfo checks them but never prints them, so the
//    plug-in's CRC-32 nodes have no counterpart. They must be the first child
//    of their master and 6 bytes long (ID, size, 4-byte checksum), which is
//    checked instead.
//  - mkvinfo's children of an element the catalogue does not know: the
//    plug-in reports such an element opaque, without children.
// Everything else must be there on both sides, at the same offset, with the
// same whole length, under the same parent. An element of unknown size has
// no length to compare; its size row must hold the marker.
void matchLevel(const std::vector<ElementNode> &nodes, const std::vector<InfoElement> &infos,
                const QString &path, Match *match)
{
    std::vector<const ElementNode *> ours;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].name == QLatin1String("CRC-32")) {
            ++match->crcSkipped;
            if (i != 0 || nodes[i].size != 6)
                match->mismatches << path + QStringLiteral(": CRC-32 not a 6-byte first child: ")
                        + describe(nodes[i]);
            continue;
        }
        ours.push_back(&nodes[i]);
    }

    const size_t common = qMin(ours.size(), infos.size());
    for (size_t i = 0; i < common; ++i) {
        const ElementNode &n = *ours[i];
        const InfoElement &e = infos[i];
        const QString here = path + QLatin1Char('/') + describe(n);
        if (n.offset != e.offset || (!e.sizeUnknown && n.size != e.size)
            || e.sizeUnknown != sizeIsUnknown(n)) {
            match->mismatches << here + QStringLiteral(": mkvinfo has ") + describe(e);
            // Siblings after a disagreement would only repeat it.
            return;
        }
        const QStringList names = namesForLabel().value(e.label);
        if (names.isEmpty())
            match->mismatches << here + QStringLiteral(": no catalogue name known for mkvinfo's ")
                    + describe(e);
        else if (!names.contains(n.name))
            match->mismatches << here + QStringLiteral(": mkvinfo calls it ") + describe(e)
                    + QStringLiteral(", expected one of ") + names.join(QLatin1Char(','));
        match->pairs.push_back({&n, &e, here});
        if (n.name == QLatin1String("Unknown")) {
            if (!n.children.empty())
                match->mismatches << here + QStringLiteral(": an unknown element has children");
            match->unknownSkipped += countElements(e.children);
            continue;
        }
        matchLevel(n.children, e.children, here, match);
    }
    for (size_t i = common; i < ours.size(); ++i)
        match->mismatches << path + QStringLiteral(": only the plug-in has ") + describe(*ours[i]);
    for (size_t i = common; i < infos.size(); ++i)
        match->mismatches << path + QStringLiteral(": only mkvinfo has ") + describe(infos[i]);
}

// ---------------------------------------------------------------------------
// Per-sample data, made once and shared by the tests of a sample

struct Sample
{
    QString name;
    QString path;
    std::unique_ptr<e2e::Walk> walk;
    InfoFile info;
    QString infoError;
    QJsonObject probe;
    QString probeError;
    Match match;
    QVector<TrackInfo> tracks;
    quint64 timestampScale = 1000000;
};

void collectTracks(const std::vector<InfoElement> &elements, QVector<TrackInfo> *tracks)
{
    for (const InfoElement &e : elements) {
        if (e.label == QLatin1String("Track")) {
            TrackInfo t;
            for (const InfoElement &c : e.children) {
                if (c.label == QLatin1String("Track number"))
                    t.number = c.text.section(QLatin1Char(' '), 0, 0).toULongLong();
                else if (c.label == QLatin1String("Track type"))
                    t.type = c.text;
                else if (c.label.startsWith(QLatin1String("Content encoding")))
                    t.encoded = true;
            }
            tracks->append(t);
            continue;
        }
        collectTracks(e.children, tracks);
    }
}

const InfoElement *findInfo(const std::vector<InfoElement> &elements, const QString &label)
{
    for (const InfoElement &e : elements) {
        if (e.label == label)
            return &e;
        if (const InfoElement *found = findInfo(e.children, label))
            return found;
    }
    return nullptr;
}

Sample &sample(const QString &name)
{
    static std::map<QString, std::unique_ptr<Sample>> cache;
    std::unique_ptr<Sample> &slot = cache[name];
    if (slot)
        return *slot;
    slot = std::make_unique<Sample>();
    Sample &s = *slot;
    s.name = name;
    s.path = e2e::samplePath(name);

    // A large binary limit: string values are compared whole with mkvinfo's.
    e2e::WalkSettings settings;
    settings.binaryLimit = 1 << 20;
    s.walk = e2e::walkFile(s.path, settings);

    if (!e2e::toolInstalled(QStringLiteral("mkvinfo"))) {
        s.infoError = QStringLiteral("mkvinfo is not installed");
    } else {
        // -v -v: every element, also inside SeekHead, Cues and past the first
        // Cluster; -z: whole sizes; -P: decimal positions.
        const e2e::ToolResult r = e2e::runTool(
            QStringLiteral("mkvinfo"),
            {QStringLiteral("--ui-language"), QStringLiteral("en_US"), QStringLiteral("-v"),
             QStringLiteral("-v"), QStringLiteral("-z"), QStringLiteral("-P"), s.path});
        if (!r.finished || r.exitCode != 0)
            s.infoError = QStringLiteral("mkvinfo failed (%1): %2")
                              .arg(r.exitCode)
                              .arg(QString::fromUtf8(r.err + r.out).left(500));
        else
            s.info = parseMkvinfo(r.out);
    }

    if (!e2e::toolInstalled(QStringLiteral("ffprobe"))) {
        s.probeError = QStringLiteral("ffprobe is not installed");
    } else {
        const e2e::ToolResult r = e2e::runTool(
            QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
             QStringLiteral("v"), QStringLiteral("-show_packets"), QStringLiteral("-show_entries"),
             QStringLiteral("stream=index,codec_type:packet=stream_index,pos,size"),
             QStringLiteral("-of"), QStringLiteral("json"), s.path});
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
        if (!r.finished || r.exitCode != 0 || error.error != QJsonParseError::NoError
            || !doc.isObject())
            s.probeError = QStringLiteral("ffprobe failed (%1): %2")
                               .arg(r.exitCode)
                               .arg(QString::fromUtf8(r.err).left(500));
        else
            s.probe = doc.object();
    }

    if (s.walk->opened && s.info.ran) {
        matchLevel(s.walk->tree.roots, s.info.roots, QString(), &s.match);
        collectTracks(s.info.roots, &s.tracks);
        if (const InfoElement *scale = findInfo(s.info.roots, QStringLiteral("Timestamp scale")))
            s.timestampScale = scale->text.toULongLong();
    }
    return s;
}

std::string sampleTestName(const ::testing::TestParamInfo<const char *> &info)
{
    QString name = QString::fromLatin1(info.param);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return name.toStdString();
}

class SampleFile : public ::testing::TestWithParam<const char *>
{
protected:
    Sample &s() { return sample(QString::fromLatin1(GetParam())); }

    // The walk and mkvinfo's output, or a fatal failure.
    void requireWalkAndInfo()
    {
        Sample &x = s();
        ASSERT_TRUE(x.walk->opened) << "cannot open " << x.path.toStdString();
        ASSERT_EQ(x.walk->status, 0);
        ASSERT_TRUE(x.infoError.isEmpty()) << x.infoError.toStdString();
        ASSERT_TRUE(x.info.unparsed.isEmpty())
            << "mkvinfo lines in an unexpected form:\n"
            << x.info.unparsed.mid(0, 10).join(QLatin1Char('\n')).toStdString();
        ASSERT_FALSE(x.info.roots.empty());
    }
};

// ---------------------------------------------------------------------------
// The walk on its own

// Soundness of the calls the plug-in made and the shape every Matroska file
// has: the top-level elements and the children of every master tile their
// parent's bytes exactly, rows lie inside their node, and every block of a
// video track became the next frame of its stream.
TEST_P(SampleFile, WalkIsSoundAndCoversTheFile)
{
    Sample &x = s();
    ASSERT_TRUE(x.walk->opened) << "cannot open " << x.path.toStdString();
    const ElementTree &tree = x.walk->tree;
    EXPECT_EQ(x.walk->status, 0);
    EXPECT_EQ(tree.strayCalls, 0);
    EXPECT_EQ(tree.openNodes(), 0);

    // An element of unknown size reaches to the end of its parent (the file,
    // for a top-level one): that is where its extent is taken to end.
    auto extentEnd = [](const ElementNode &n, quint64 parentEnd) {
        return sizeIsUnknown(n) ? parentEnd : n.offset + n.size;
    };

    int ebml = 0, segment = 0;
    quint64 end = 0;
    for (const ElementNode &root : tree.roots) {
        EXPECT_EQ(root.status, 0) << describe(root).toStdString();
        EXPECT_EQ(root.offset, end) << "top-level elements leave a gap before "
                                    << describe(root).toStdString();
        end = extentEnd(root, x.walk->fileSize);
        ebml += root.name == QLatin1String("EBML");
        segment += root.name == QLatin1String("Segment");
    }
    EXPECT_EQ(end, x.walk->fileSize);
    EXPECT_EQ(ebml, 1);
    EXPECT_EQ(segment, 1);
    ASSERT_FALSE(tree.roots.empty());
    EXPECT_EQ(tree.roots.front().name, QStringLiteral("EBML"));

    // Every node: "id" and "size" rows first, whole length = their lengths +
    // the payload size, rows inside the node and inside the file, children
    // tiling the payload.
    int problems = 0;
    std::function<void(const ElementNode &, quint64)> check = [&](const ElementNode &n,
                                                                   quint64 parentEnd) {
        if (problems > 20)
            return;
        const QString where = describe(n);
        if (n.rows.size() < 2 || n.rows[0].name != QLatin1String("id")
            || n.rows[1].name != QLatin1String("size")) {
            ADD_FAILURE() << where.toStdString() << ": no id and size rows first";
            ++problems;
            return;
        }
        const ElementRow &id = n.rows[0];
        const ElementRow &size = n.rows[1];
        const quint64 payload = size.value.toULongLong();
        const quint64 dataStart = n.offset + id.length + size.length;
        const quint64 nodeEnd = extentEnd(n, parentEnd);
        EXPECT_EQ(id.offset, n.offset) << where.toStdString();
        EXPECT_EQ(size.offset, n.offset + id.length) << where.toStdString();
        EXPECT_EQ(id.length + size.length + payload, n.size) << where.toStdString();
        EXPECT_LE(nodeEnd, parentEnd) << where.toStdString() << ": reaches past its parent";
        for (const ElementRow &r : n.rows) {
            if (r.offset < n.offset || r.offset + r.length > nodeEnd
                || r.offset + r.length > x.walk->fileSize) {
                ADD_FAILURE() << where.toStdString() << ": row " << r.name.toStdString()
                              << " at " << r.offset << "+" << r.length
                              << " outside the node or the file";
                ++problems;
            }
        }
        if (!n.children.empty()) {
            quint64 p = dataStart;
            for (const ElementNode &c : n.children) {
                if (c.offset != p) {
                    ADD_FAILURE() << where.toStdString() << ": child " << describe(c).toStdString()
                                  << " does not start where the previous one ended (" << p << ")";
                    ++problems;
                    break;
                }
                p = extentEnd(c, nodeEnd);
                check(c, nodeEnd);
            }
            EXPECT_EQ(p, nodeEnd) << where.toStdString() << ": children do not fill it";
        }
    };
    for (const ElementNode &root : tree.roots)
        check(root, x.walk->fileSize);

    // Tracks with TrackEntry children that carry a number and a type.
    const ElementNode *segmentNode = nullptr;
    for (const ElementNode &root : tree.roots)
        if (root.name == QLatin1String("Segment"))
            segmentNode = &root;
    ASSERT_NE(segmentNode, nullptr);
    const ElementNode *tracks = segmentNode->child(QStringLiteral("Tracks"));
    ASSERT_NE(tracks, nullptr);
    QVector<quint64> videoTracks;
    int entries = 0;
    for (const ElementNode &entry : tracks->children) {
        if (entry.name != QLatin1String("TrackEntry"))
            continue;
        ++entries;
        const ElementNode *number = entry.child(QStringLiteral("TrackNumber"));
        const ElementNode *type = entry.child(QStringLiteral("TrackType"));
        ASSERT_TRUE(number && number->row(QStringLiteral("value")));
        ASSERT_TRUE(type && type->row(QStringLiteral("value")));
        if (type->row(QStringLiteral("value"))->value == QLatin1String("1"))
            videoTracks << number->row(QStringLiteral("value"))->value.toULongLong();
        // make-samples.sh turns content encoding off for every video track,
        // so the frame comparisons below cover every video track.
        if (type->row(QStringLiteral("value"))->value == QLatin1String("1"))
            EXPECT_EQ(entry.child(QStringLiteral("ContentEncodings")), nullptr)
                << "track " << number->row(QStringLiteral("value"))->value.toStdString();
    }
    EXPECT_GT(entries, 0);
    ASSERT_FALSE(videoTracks.isEmpty());

    // Blocks of video tracks, per stream, in file order.
    QVector<QVector<const ElementNode *>> videoBlocks(videoTracks.size());
    forEachNode(tree.roots, [&](const ElementNode &n, int) {
        if (n.name != QLatin1String("SimpleBlock") && n.name != QLatin1String("Block"))
            return;
        const ElementRow *track = n.row(QStringLiteral("TrackNumber"));
        if (!track)
            return;
        const qsizetype stream = videoTracks.indexOf(track->value.toULongLong());
        if (stream >= 0)
            videoBlocks[stream] << &n;
    });
    QVector<int> seen(videoTracks.size(), 0);
    quint64 lastOffset = 0;
    for (const FrameRecord &f : tree.frames) {
        ASSERT_LT(int(f.stream), videoTracks.size());
        const int i = seen[int(f.stream)]++;
        EXPECT_EQ(f.number, quint64(i)) << "stream " << f.stream;
        EXPECT_GT(f.offset, lastOffset) << "frames out of file order";
        lastOffset = f.offset;
        if (i < videoBlocks[int(f.stream)].size()) {
            const ElementRow *data = videoBlocks[int(f.stream)][i]->row(QStringLiteral("data"));
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(f.offset, data->offset) << "stream " << f.stream << " frame " << i;
            EXPECT_EQ(f.size, data->length) << "stream " << f.stream << " frame " << i;
        }
    }
    for (int stream = 0; stream < videoTracks.size(); ++stream) {
        EXPECT_EQ(seen[stream], videoBlocks[stream].size()) << "stream " << stream;
        EXPECT_GT(seen[stream], 0) << "stream " << stream;
    }
}

// ---------------------------------------------------------------------------
// The tree against mkvinfo

TEST_P(SampleFile, TreeMatchesMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const Match &m = s().match;
    EXPECT_TRUE(m.mismatches.isEmpty())
        << m.mismatches.size() << " disagreements, the first ones:\n"
        << m.mismatches.mid(0, 15).join(QLatin1Char('\n')).toStdString();
    // Every element mkvinfo printed was paired or lies in an opaque element.
    EXPECT_EQ(int(m.pairs.size()) + m.unknownSkipped, countElements(s().info.roots));
}

// The "value" row of every element whose value mkvinfo prints in a
// comparable form.
TEST_P(SampleFile, ValuesMatchMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const Sample &x = s();
    const qint64 scale = qint64(x.timestampScale);
    ASSERT_GT(scale, 0);
    static const QHash<QString, int> trackTypes = {
        {QStringLiteral("video"), 1},     {QStringLiteral("audio"), 2},
        {QStringLiteral("complex"), 3},   {QStringLiteral("logo"), 16},
        {QStringLiteral("subtitles"), 17}, {QStringLiteral("buttons"), 18},
        {QStringLiteral("control"), 32},
    };

    int compared = 0;
    for (const Pair &p : x.match.pairs) {
        const auto form = valueForms().constFind(p.info->label);
        if (form == valueForms().constEnd() || p.node->name == QLatin1String("Unknown"))
            continue;
        const ElementRow *row = p.node->row(QStringLiteral("value"));
        if (!row) {
            ADD_FAILURE() << p.path.toStdString() << ": no value row";
            continue;
        }
        EXPECT_EQ(row->offset, p.info->payloadOffset()) << p.path.toStdString();
        EXPECT_EQ(row->length, p.info->dataSize) << p.path.toStdString();
        const QString &text = p.info->text;
        QString expected;
        qint64 ns = 0;
        switch (*form) {
        case ValueForm::Text:
            expected = text;
            break;
        case ValueForm::UInt:
            expected = text;
            break;
        case ValueForm::TrackNumber:
            expected = text.section(QLatin1Char(' '), 0, 0);
            break;
        case ValueForm::Float: {
            bool ok = false;
            const double ours = row->value.toDouble(&ok);
            EXPECT_TRUE(ok) << p.path.toStdString() << ": " << row->value.toStdString();
            EXPECT_NEAR(ours, text.toDouble(), std::fabs(text.toDouble()) * 1e-6)
                << p.path.toStdString();
            ++compared;
            continue;
        }
        case ValueForm::Hex:
            for (const QString &token : text.split(QLatin1Char(' ')))
                if (token.startsWith(QLatin1String("0x")))
                    expected += token.mid(2).rightJustified(2, QLatin1Char('0'));
            break;
        case ValueForm::TrackType:
            ASSERT_TRUE(trackTypes.contains(text)) << text.toStdString();
            expected = QString::number(trackTypes.value(text));
            break;
        case ValueForm::Ticks:
        case ValueForm::SignedTicks:
            ASSERT_TRUE(parseTime(text, &ns)) << p.path.toStdString() << ": " << text.toStdString();
            EXPECT_EQ(ns % scale, 0) << p.path.toStdString();
            expected = QString::number(ns / scale);
            break;
        case ValueForm::Nanoseconds:
            ASSERT_TRUE(parseTime(text, &ns)) << p.path.toStdString() << ": " << text.toStdString();
            expected = QString::number(ns);
            break;
        case ValueForm::Date: {
            // "2024-06-01 12:34:56 UTC" read as an ISO 8601 UTC time.
            const QDateTime when = QDateTime::fromString(
                text.section(QLatin1Char(' '), 0, 0) + QLatin1Char('T')
                    + text.section(QLatin1Char(' '), 1, 1) + QLatin1Char('Z'),
                Qt::ISODate);
            ASSERT_TRUE(when.isValid()) << p.path.toStdString() << ": " << text.toStdString();
            const QDateTime epoch =
                QDateTime::fromString(QStringLiteral("2001-01-01T00:00:00Z"), Qt::ISODate);
            bool ok = false;
            const qint64 ours = row->value.toLongLong(&ok);
            EXPECT_TRUE(ok) << p.path.toStdString() << ": " << row->value.toStdString();
            // mkvinfo shows whole seconds.
            const qint64 seconds = ours >= 0 ? ours / 1000000000 : -((-ours + 999999999) / 1000000000);
            EXPECT_EQ(seconds, epoch.secsTo(when)) << p.path.toStdString();
            ++compared;
            continue;
        }
        case ValueForm::FloatTicks: {
            ASSERT_TRUE(parseTime(text, &ns)) << p.path.toStdString() << ": " << text.toStdString();
            bool ok = false;
            const double ours = row->value.toDouble(&ok);
            EXPECT_TRUE(ok) << p.path.toStdString() << ": " << row->value.toStdString();
            // The row has 6 significant digits; mkvinfo rounds to nanoseconds.
            EXPECT_NEAR(ours * double(scale), double(ns), double(ns) * 1e-5 + double(scale))
                << p.path.toStdString();
            ++compared;
            continue;
        }
        }
        EXPECT_EQ(row->value, expected) << p.path.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

// Block and SimpleBlock headers: track number, timecode relative to the
// cluster, keyframe and lacing flags, and where the frame data lies, against
// mkvinfo's block lines and their "Frame" lines.
TEST_P(SampleFile, BlockHeadersMatchMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const Sample &x = s();
    const qint64 scale = qint64(x.timestampScale);
    qint64 clusterNs = 0;
    int blocks = 0;
    for (const Pair &p : x.match.pairs) {
        if (p.info->label == QLatin1String("Cluster timestamp")) {
            ASSERT_TRUE(parseTime(p.info->text, &clusterNs));
            continue;
        }
        if (!isBlockLabel(p.info->label))
            continue;
        ++blocks;
        const std::string where = p.path.toStdString();
        const BlockInfo b = parseBlockText(p.info->text);
        ASSERT_TRUE(b.valid) << where << ": " << p.info->text.toStdString();
        ASSERT_FALSE(p.info->frames.isEmpty()) << where;
        const ElementRow *track = p.node->row(QStringLiteral("TrackNumber"));
        const ElementRow *timecode = p.node->row(QStringLiteral("Timecode"));
        const ElementRow *flags = p.node->row(QStringLiteral("Flags"));
        const ElementRow *data = p.node->row(QStringLiteral("data"));
        ASSERT_TRUE(track && timecode && flags && data) << where;

        const quint64 payload = p.info->payloadOffset();
        const quint64 l = trackNumberLength(b.track);
        EXPECT_EQ(track->value, QString::number(b.track)) << where;
        EXPECT_EQ(track->offset, payload) << where;
        EXPECT_EQ(track->length, l) << where;
        EXPECT_EQ(timecode->offset, payload + l) << where;
        EXPECT_EQ(flags->offset, payload + l + 2) << where;
        EXPECT_EQ(data->offset, payload + l + 3) << where;
        EXPECT_EQ(data->length, p.info->dataSize - l - 3) << where;

        // mkvinfo prints the block's absolute time: cluster time plus the
        // signed relative timecode.
        EXPECT_EQ(qint64(timecode->value.toLongLong()) * scale, b.timestampNs - clusterNs) << where;

        // Keyframe: for SimpleBlocks mkvinfo's "key" is bit 7 of the flags.
        // A Block's bit 7 is reserved; mkvinfo prints no "key" for it.
        const bool keyword = flags->meaning.contains(QLatin1String("Keyframe."));
        if (p.info->label == QLatin1String("Simple block"))
            EXPECT_EQ(keyword, b.words.contains(QStringLiteral("key"))) << where;
        else
            EXPECT_FALSE(b.words.contains(QStringLiteral("key"))) << where;
        if (b.words.contains(QStringLiteral("discardable")))
            EXPECT_TRUE(flags->meaning.contains(QLatin1String("Discardable."))) << where;

        // The data row spans the lace header (if any) and all frames.
        const auto &frames = p.info->frames;
        EXPECT_EQ(frames.size(), b.frameCount) << where;
        const quint64 lastEnd = frames.back().first + frames.back().second;
        EXPECT_EQ(data->offset + data->length, lastEnd) << where;
        const quint64 laceHeader = frames.front().first - data->offset;
        const bool laced = flags->meaning.contains(QLatin1String(" lacing."));
        if (laceHeader == 0) {
            EXPECT_FALSE(laced) << where;
            EXPECT_EQ(b.frameCount, 1) << where;
            EXPECT_EQ(data->length, frames.front().second) << where;
        } else {
            EXPECT_TRUE(laced) << where << ": " << flags->meaning.toStdString();
            // With two or more frames only fixed-size lacing has no frame
            // sizes in its header: the header is the frame count alone.
            if (b.frameCount >= 2) {
                const bool fixed = flags->meaning.contains(QLatin1String("Fixed-size lacing."));
                EXPECT_EQ(fixed, laceHeader == 1) << where << ": " << flags->meaning.toStdString();
            }
        }
    }
    EXPECT_GT(blocks, 0);
}

// ---------------------------------------------------------------------------
// Frames against ffprobe and mkvinfo

// Registered frames against ffprobe's video packets: same count, file order,
// data offsets and sizes per stream. ffprobe's "pos" of a Matroska packet is
// where the block payload starts (at the track number); the frame data
// follows the track number, the 2-byte timecode and the flags byte. Video is
// never laced in these files, so one packet is one block.
TEST_P(SampleFile, VideoFramesMatchFfprobe)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const Sample &x = s();
    ASSERT_TRUE(x.probeError.isEmpty()) << x.probeError.toStdString();

    // Video tracks in TrackEntry order, as the plug-in numbers its streams.
    QVector<TrackInfo> video;
    for (const TrackInfo &t : x.tracks)
        if (t.type == QLatin1String("video"))
            video << t;
    ASSERT_FALSE(video.isEmpty());

    // ffprobe makes one stream per track, in TrackEntry order; its video
    // streams, by index, are then our streams in order.
    const QJsonArray streams = x.probe.value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), video.size());
    QHash<int, int> ordinal;
    for (const QJsonValue &v : streams) {
        const int index = v.toObject().value(QStringLiteral("index")).toInt();
        EXPECT_EQ(v.toObject().value(QStringLiteral("codec_type")).toString(),
                  QStringLiteral("video"));
        ordinal.insert(index, ordinal.size());
    }

    // Content encoding (header removal, compression) changes what ffprobe
    // reports as packet sizes: such tracks are left out.
    struct Expected
    {
        uint stream;
        quint64 offset;
        quint64 size;
    };
    QVector<Expected> expected;
    for (const QJsonValue &v : x.probe.value(QStringLiteral("packets")).toArray()) {
        const QJsonObject packet = v.toObject();
        const int index = packet.value(QStringLiteral("stream_index")).toInt();
        ASSERT_TRUE(ordinal.contains(index));
        const int stream = ordinal.value(index);
        if (video[stream].encoded)
            continue;
        const quint64 pos = packet.value(QStringLiteral("pos")).toString().toULongLong();
        const quint64 size = packet.value(QStringLiteral("size")).toString().toULongLong();
        expected.append({uint(stream), pos + trackNumberLength(video[stream].number) + 3, size});
    }
    QVector<FrameRecord> ours;
    for (const FrameRecord &f : x.walk->tree.frames)
        if (f.stream < uint(video.size()) && !video[int(f.stream)].encoded)
            ours << f;

    ASSERT_EQ(ours.size(), expected.size());
    QVector<quint64> numbers(video.size(), 0);
    int reported = 0;
    for (qsizetype i = 0; i < ours.size() && reported < 10; ++i) {
        const FrameRecord &f = ours[i];
        const Expected &e = expected[i];
        const bool same = f.stream == e.stream && f.offset == e.offset && f.size == e.size;
        EXPECT_TRUE(same) << "frame " << i << ": plug-in stream " << f.stream << " offset "
                          << f.offset << " size " << f.size << "; ffprobe stream " << e.stream
                          << " offset " << e.offset << " size " << e.size;
        if (f.stream < uint(numbers.size()))
            EXPECT_EQ(f.number, numbers[int(f.stream)]++) << "frame " << i;
        reported += !same;
    }
}

// The keyframe flag of every frame against mkvinfo's blocks of video tracks.
// For a SimpleBlock, mkvinfo's "key" is bit 7 of the flags byte, which is
// what FrameRecord::keyframe carries. For a Block inside a BlockGroup
// mkvinfo prints no "key": a Block's keyness is the absence of
// ReferenceBlock elements beside it, and bit 7 of a Block's flags is
// reserved and written 0 by both muxers; there the flag must be 0 whatever
// the group holds. (ffprobe's K flag is not used: it mixes both notions.)
TEST_P(SampleFile, KeyframeFlagsMatchMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const Sample &x = s();
    QVector<quint64> videoNumbers;
    for (const TrackInfo &t : x.tracks)
        if (t.type == QLatin1String("video"))
            videoNumbers << t.number;

    struct Expected
    {
        uint stream;
        quint64 offset;
        bool simple;
        bool key;
        bool referenced;
    };
    QVector<Expected> expected;
    std::function<void(const std::vector<InfoElement> &)> collect =
        [&](const std::vector<InfoElement> &elements) {
            for (size_t i = 0; i < elements.size(); ++i) {
                const InfoElement &e = elements[i];
                if (isBlockLabel(e.label)) {
                    const BlockInfo b = parseBlockText(e.text);
                    const qsizetype stream = videoNumbers.indexOf(b.track);
                    if (stream < 0)
                        continue;
                    bool referenced = false;
                    for (const InfoElement &sibling : elements)
                        referenced |= sibling.label == QLatin1String("Reference block");
                    expected.append({uint(stream),
                                     e.payloadOffset() + trackNumberLength(b.track) + 3,
                                     e.label == QLatin1String("Simple block"),
                                     b.words.contains(QStringLiteral("key")), referenced});
                    continue;
                }
                collect(e.children);
            }
        };
    collect(x.info.roots);

    const QVector<FrameRecord> &frames = x.walk->tree.frames;
    ASSERT_EQ(frames.size(), expected.size());
    int simpleKeys = 0, simpleOthers = 0, groupedKeys = 0, groupedOthers = 0;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const FrameRecord &f = frames[i];
        const Expected &e = expected[i];
        ASSERT_EQ(f.stream, e.stream) << "frame " << i;
        ASSERT_EQ(f.offset, e.offset) << "frame " << i;
        if (e.simple) {
            EXPECT_EQ(f.keyframe, e.key ? 1 : 0) << "SimpleBlock frame " << i << " at " << f.offset;
            ++(e.key ? simpleKeys : simpleOthers);
        } else {
            EXPECT_EQ(f.keyframe, 0) << "Block frame " << i << " at " << f.offset;
            ++(e.referenced ? groupedOthers : groupedKeys);
        }
    }
    // A sample with video in SimpleBlocks has both kinds of frame, as has
    // one with video in BlockGroups: the checks above saw both values.
    if (simpleKeys + simpleOthers > 0) {
        EXPECT_GT(simpleKeys, 0);
        EXPECT_GT(simpleOthers, 0);
    }
    if (groupedKeys + groupedOthers > 0) {
        EXPECT_GT(groupedKeys, 0);
        EXPECT_GT(groupedOthers, 0);
    }
}

std::vector<const char *> allSamples()
{
    static std::vector<QByteArray> storage;
    std::vector<const char *> names;
    if (storage.empty())
        for (const QString &n : e2e::sampleNames())
            storage.push_back(n.toLatin1());
    for (const QByteArray &n : storage)
        names.push_back(n.constData());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleFile, ::testing::ValuesIn(allSamples()), sampleTestName);

// ---------------------------------------------------------------------------
// What the set of samples exercises

// The comparisons above are only as good as the files: if make-samples.sh
// is run with other tool versions, this shows which features the samples
// lost.
TEST(SampleSet, ExercisesTheFeaturesTheComparisonsRelyOn)
{
    QSet<QString> names;
    QSet<QString> lacings;
    int videoStreamsMax = 0;
    int videoInBlocks = 0;
    int insideUnknown = 0;
    int longTrackNumbers = 0;
    int unknownSizes = 0;
    for (const QString &name : e2e::sampleNames()) {
        const Sample &x = sample(name);
        ASSERT_TRUE(x.walk->opened) << name.toStdString();
        insideUnknown += x.match.unknownSkipped;
        forEachNode(x.walk->tree.roots, [&](const ElementNode &n, int) {
            names.insert(n.name);
            unknownSizes += sizeIsUnknown(n);
            if (const ElementRow *track = n.row(QStringLiteral("TrackNumber")))
                longTrackNumbers += track->length > 1;
            if (const ElementRow *flags = n.row(QStringLiteral("Flags"))) {
                for (const char *kind : {"Xiph", "EBML", "Fixed-size"})
                    if (flags->meaning.contains(QString::fromLatin1(kind) + QLatin1String(" lacing.")))
                        lacings.insert(QString::fromLatin1(kind));
            }
        });
        int streams = 0;
        QSet<quint64> frameOffsets;
        for (const FrameRecord &f : x.walk->tree.frames) {
            streams = qMax(streams, int(f.stream) + 1);
            frameOffsets.insert(f.offset);
        }
        videoStreamsMax = qMax(videoStreamsMax, streams);
        forEachNode(x.walk->tree.roots, [&](const ElementNode &n, int) {
            const ElementRow *data = n.row(QStringLiteral("data"));
            if (n.name == QLatin1String("Block") && data && frameOffsets.contains(data->offset))
                ++videoInBlocks;
        });
    }
    for (const char *expected :
         {"SimpleBlock", "BlockGroup", "Block", "ReferenceBlock", "BlockDuration", "CRC-32",
          "Void", "Unknown", "Cues", "Tags", "Chapters", "ChapterAtom", "Attachments",
          "AttachedFile", "FileData", "SeekHead", "SegmentUID", "ContentEncodings",
          "ContentCompression", "DateUTC"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(expected))) << expected;
    EXPECT_EQ(lacings.size(), 3) << QStringList(lacings.values()).join(QLatin1Char(',')).toStdString();
    EXPECT_GE(videoStreamsMax, 2);
    EXPECT_GT(videoInBlocks, 0) << "no video frame in a BlockGroup";
    EXPECT_GT(insideUnknown, 0) << "no master unknown to the catalogue with children";
    EXPECT_GT(longTrackNumbers, 0) << "no block with a track number over one byte";
    EXPECT_GT(unknownSizes, 0) << "no element of unknown size";
}

} // namespace
