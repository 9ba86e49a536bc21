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

namespace {

using e2e::forEachNode;

// One element of `mkvinfo -v -v -z -P`: "|  + Label: text at OFFSET size WHOLE
// data size PAYLOAD", nested by the characters before '+', or "... at OFFSET
// size is unknown". A block's "Frame at OFFSET size N" lines go to the block.
struct InfoElement
{
    QString label, text;
    quint64 offset = 0, size = 0, dataSize = 0;
    bool sizeUnknown = false;
    QVector<QPair<quint64, quint64>> frames;
    std::vector<InfoElement> children;

    quint64 payloadOffset() const { return offset + (size - dataSize); }
};

struct InfoFile
{
    std::vector<InfoElement> roots;
    QStringList unparsed;
};

// Every element, parents first, with the list it is in.
template <typename F> void forEachInfo(const std::vector<InfoElement> &elements, F &&f)
{
    for (const InfoElement &e : elements) {
        f(e, elements);
        forEachInfo(e.children, f);
    }
}

InfoFile parseMkvinfo(const QByteArray &output)
{
    static const QRegularExpression elementLine(QStringLiteral(
        R"(^([| ]*)\+ (.*) at (\d+) (?:size (\d+) data size (\d+)|size is unknown)$)"));
    static const QRegularExpression frameLine(
        QStringLiteral(R"(^([| ]*)\+ Frame at (\d+) size (\d+)$)"));
    InfoFile file;
    std::vector<InfoElement *> open;
    for (const QString &line : QString::fromUtf8(output).split('\n', Qt::SkipEmptyParts)) {
        QRegularExpressionMatch m = frameLine.match(line);
        const qsizetype depth = m.capturedLength(1);
        if (m.hasMatch() && depth >= 1 && qsizetype(open.size()) >= depth) {
            open[size_t(depth - 1)]->frames.append(
                {m.captured(2).toULongLong(), m.captured(3).toULongLong()});
            continue;
        }
        m = elementLine.match(line);
        if (!m.hasMatch() || m.capturedLength(1) > qsizetype(open.size())) {
            file.unparsed << line;
            continue;
        }
        open.resize(size_t(m.capturedLength(1))); // the pointers left stay valid
        std::vector<InfoElement> &siblings = open.empty() ? file.roots : open.back()->children;
        InfoElement &e = siblings.emplace_back();
        const QString head = m.captured(2);
        const qsizetype colon = head.indexOf(QLatin1String(": "));
        e.label = colon < 0 ? head : head.left(colon);
        e.text = colon < 0 ? QString() : head.mid(colon + 2);
        e.offset = m.captured(3).toULongLong();
        e.sizeUnknown = m.captured(4).isEmpty();
        e.size = m.captured(4).toULongLong(), e.dataSize = m.captured(5).toULongLong();
        open.push_back(&e);
    }
    return file;
}

// How mkvinfo shows a value comparable with the "value" row.
enum class Form {
    None,
    Text,        // the string as stored
    UInt,        // a decimal number
    TrackNumber, // "N (track ID for mkvmerge & mkvextract: M)"
    Float,       // a decimal number; the row shows 6 significant digits
    Hex,         // "0x15 0x49 ... (KaxInfo)": the bytes
    TrackType,   // a word for the type number
    Ticks,       // a (signed) time; the element holds timestamp-scale units
    Nanoseconds, // a time; the element holds nanoseconds
    FloatTicks,  // the segment duration: a float in timestamp-scale units
    Date,        // "2024-06-01 12:34:56 UTC"; the element holds nanoseconds since 2001
};

struct Label
{
    QStringList names;
    Form form;
};

// mkvinfo's labels for the samples: the catalogue names they stand for (some
// two; elements newer than the catalogue are "Unknown") and their form.
const QHash<QString, Label> &labels()
{
    static const QHash<QString, Label> map = [] {
        const Form N = Form::None, T = Form::Text, U = Form::UInt, TN = Form::TrackNumber,
                   F = Form::Float, H = Form::Hex, TT = Form::TrackType, K = Form::Ticks,
                   NS = Form::Nanoseconds, FK = Form::FloatTicks, D = Form::Date;
        const struct
        {
            const char *label, *names;
            Form form;
        } rows[] = {
            {"EBML head", "EBML", N},
            {"EBML version", "EBMLVersion", U},
            {"EBML read version", "EBMLReadVersion", U},
            {"Maximum EBML ID length", "EBMLMaxIDLength", U},
            {"Maximum EBML size length", "EBMLMaxSizeLength", U},
            {"Document type", "DocType", T},
            {"Document type version", "DocTypeVersion", U},
            {"Document type read version", "DocTypeReadVersion", U},
            {"EBML void", "Void", N},
            {"Segment", "Segment", N},
            {"Seek head", "SeekHead", N},
            {"Seek entry", "Seek", N},
            {"Seek ID", "SeekID", H},
            {"Seek position", "SeekPosition", U},
            {"Segment information", "SegmentInfo", N},
            {"Timestamp scale", "TimecodeScale", U},
            {"Multiplexing application", "MuxingApp", T},
            {"Writing application", "WritingApp", T},
            {"Duration", "Duration", FK},
            {"Segment UID", "SegmentUID", H},
            {"Title", "Title", T},
            {"Date", "DateUTC", D},
            {"Tracks", "Tracks", N},
            {"Track", "TrackEntry", N},
            {"Track number", "TrackNumber", TN},
            {"Track UID", "TrackUID,TagTrackUID", U},
            {"Track type", "TrackType", TT},
            {"\"Lacing\" flag", "FlagLacing", U},
            {"\"Default track\" flag", "FlagDefault", U},
            {"Language", "Language", T},
            {"Language (IETF BCP 47)", "Unknown", N},
            {"Name", "TagName", T},
            {"Codec ID", "CodecID", T},
            {"Codec's private data", "CodecPrivate", N},
            {"Codec-inherent delay", "Unknown", N},
            {"Seek pre-roll", "Unknown", N},
            {"Default duration", "DefaultDuration", NS},
            {"Video track", "Video", N},
            {"Pixel width", "PixelWidth", U},
            {"Pixel height", "PixelHeight", U},
            {"Display width", "DisplayWidth", U},
            {"Display height", "DisplayHeight", U},
            {"Video color information", "Unknown", N},
            {"Interlaced", "FlagInterlaced", U},
            {"Audio track", "Audio", N},
            {"Sampling frequency", "SamplingFrequency", F},
            {"Channels", "Channels", U},
            {"Bit depth", "BitDepth", U},
            {"Content encodings", "ContentEncodings", N},
            {"Content encoding", "ContentEncoding", N},
            {"Content compression", "ContentCompression", N},
            {"Cluster", "Cluster", N},
            {"Cluster timestamp", "Timecode", K},
            {"Simple block", "SimpleBlock", N},
            {"Block group", "BlockGroup", N},
            {"Block", "Block", N},
            {"Block duration", "BlockDuration", K},
            {"Reference block", "ReferenceBlock", K},
            {"Discard padding", "Unknown", N},
            {"Cues", "Cues", N},
            {"Cue point", "CuePoint", N},
            {"Cue time", "CueTime", K},
            {"Cue track positions", "CueTrackPositions", N},
            {"Cue track", "CueTrack", U},
            {"Cue cluster position", "CueClusterPosition", U},
            {"Cue relative position", "CueRelativePosition", U},
            {"Cue duration", "CueDuration", K},
            {"Attachments", "Attachments", N},
            {"Attached", "AttachedFile", N},
            {"File name", "FileName", T},
            {"MIME type", "FileMimeType", T},
            {"File data", "FileData", N},
            {"File UID", "FileUID", U},
            {"File description", "FileDescription", T},
            {"Chapters", "Chapters", N},
            {"Edition entry", "EditionEntry", N},
            {"Edition UID", "EditionUID", U},
            {"Edition flag hidden", "EditionFlagHidden", U},
            {"Edition flag default", "EditionFlagDefault", U},
            {"Edition flag ordered", "EditionFlagOrdered", U},
            {"Chapter atom", "ChapterAtom", N},
            {"Chapter UID", "ChapterUID", U},
            {"Chapter time start", "ChapterTimeStart", NS},
            {"Chapter flag hidden", "ChapterFlagHidden", U},
            {"Chapter flag enabled", "ChapterFlagEnabled", U},
            {"Chapter display", "ChapterDisplay", N},
            {"Chapter string", "ChapString", T},
            {"Chapter language", "ChapLanguage", T},
            {"Chapter language (IETF BCP 47)", "Unknown", N},
            {"Tags", "Tags", N},
            {"Tag", "Tag", N},
            {"Targets", "Targets", N},
            {"Target type value", "TargetTypeValue", U},
            {"Target type", "TargetType", T},
            {"Simple", "SimpleTag", N},
            {"String", "TagString", T},
            {"Tag language (IETF BCP 47)", "Unknown", N},
        };
        QHash<QString, Label> m;
        for (const auto &r : rows)
            m.insert(QString::fromLatin1(r.label),
                     {QString::fromLatin1(r.names).split(QLatin1Char(',')), r.form});
        return m;
    }();
    return map;
}

// "[-]HH:MM:SS.nnnnnnnnn" at the start of a text, in nanoseconds.
bool parseTime(const QString &text, qint64 *ns)
{
    static const QRegularExpression time(QStringLiteral(R"(^(-?)(\d+):(\d\d):(\d\d)\.(\d{9}))"));
    const QRegularExpressionMatch m = time.match(text);
    const qint64 value = ((m.captured(2).toLongLong() * 60 + m.captured(3).toLongLong()) * 60
                          + m.captured(4).toLongLong())
            * 1000000000LL
        + m.captured(5).toLongLong();
    *ns = m.captured(1).isEmpty() ? value : -value;
    return m.hasMatch();
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
    for (const QString &w : m.captured(1).split(QLatin1String(", "), Qt::SkipEmptyParts))
        info.words << w.trimmed();
    info.track = m.captured(2).toULongLong();
    info.frameCount = m.captured(3).toInt();
    info.valid = m.hasMatch() && parseTime(m.captured(4), &info.timestampNs);
    return info;
}

bool isBlockLabel(const QString &label)
{
    return label == QLatin1String("Simple block") || label == QLatin1String("Block");
}

// Length of a block's track number: the shortest EBML number holding it.
quint64 trackNumberLength(quint64 track)
{
    quint64 length = 1;
    while (length < 8 && track >= (quint64(1) << (7 * length)) - 1)
        ++length;
    return length;
}

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
};

QString describe(const ElementNode &n)
{
    return QStringLiteral("%1@%2+%3").arg(n.name).arg(n.offset).arg(n.size);
}

QString describe(const InfoElement &e)
{
    return QStringLiteral("'%1'@%2+%3")
        .arg(e.label)
        .arg(e.offset)
        .arg(e.sizeUnknown ? QStringLiteral("unknown") : QString::number(e.size));
}

// The size row holds the unknown-size marker: all value bits of its length set.
bool sizeIsUnknown(const ElementNode &n)
{
    const ElementRow *size = n.row(QStringLiteral("size"));
    return size && size->length >= 1 && size->length <= 8
        && size->value == QString::number((quint64(1) << (7 * size->length)) - 1);
}

// Pairs the plug-in's nodes with mkvinfo's elements level by level: same
// offset, whole length (or unknown size and its marker), parent, a name for
// the label, and sound rows. mkvinfo never prints CRC-32 elements: they must
// be 6-byte first children. Unknown elements are opaque: no children.
void matchLevel(const std::vector<ElementNode> &nodes, const std::vector<InfoElement> &infos,
                const QString &path, Match *match)
{
    std::vector<const ElementNode *> ours;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].name != QLatin1String("CRC-32"))
            ours.push_back(&nodes[i]);
        else if (i != 0 || nodes[i].size != 6)
            match->mismatches << path + QStringLiteral(": CRC-32 not a 6-byte first child: ")
                    + describe(nodes[i]);
    }
    const size_t common = qMin(ours.size(), infos.size());
    for (size_t i = 0; i < common; ++i) {
        const ElementNode &n = *ours[i];
        const InfoElement &e = infos[i];
        const QString here = path + QLatin1Char('/') + describe(n);
        if (n.offset != e.offset || (!e.sizeUnknown && n.size != e.size)
            || e.sizeUnknown != sizeIsUnknown(n)) {
            match->mismatches << here + QStringLiteral(": mkvinfo has ") + describe(e);
            return; // siblings after a disagreement would only repeat it
        }
        const QStringList names = labels().value(e.label).names;
        if (!names.contains(n.name))
            match->mismatches << here + QStringLiteral(": mkvinfo calls it ") + describe(e)
                    + QStringLiteral(", expected one of ") + names.join(',');
        // id and size first, adding up with the payload; rows inside; status 0.
        bool sound = n.rows.size() >= 2 && n.rows[0].name == QLatin1String("id")
            && n.rows[1].name == QLatin1String("size") && n.status == 0;
        for (const ElementRow &r : n.rows)
            sound = sound && r.offset >= n.offset && r.offset + r.length <= n.offset + n.size;
        if (sound) {
            const ElementRow &id = n.rows[0], &size = n.rows[1];
            sound = id.offset == n.offset && size.offset == id.offset + id.length
                && id.length + size.length + size.value.toULongLong() == n.size;
        }
        if (!sound)
            match->mismatches << here + QStringLiteral(": unsound rows or status");
        match->pairs.push_back({&n, &e, here});
        if (n.name != QLatin1String("Unknown"))
            matchLevel(n.children, e.children, here, match);
        else if (!n.children.empty())
            match->mismatches << here + QStringLiteral(": an unknown element has children");
    }
    for (size_t i = common; i < ours.size(); ++i)
        match->mismatches << path + QStringLiteral(": only the plug-in has ") + describe(*ours[i]);
    for (size_t i = common; i < infos.size(); ++i)
        match->mismatches << path + QStringLiteral(": only mkvinfo has ") + describe(infos[i]);
}

// Per-sample data, made once and shared by the tests of a sample
struct VideoTrack
{
    quint64 number = 0;
    bool encoded = false;
};

struct Sample
{
    QString path, infoError, probeError;
    std::unique_ptr<e2e::Walk> walk;
    InfoFile info;
    QJsonObject probe;
    Match match;
    QVector<VideoTrack> video; // in TrackEntry order, as the plug-in numbers its streams
    qint64 timestampScale = 1000000;
};

// Runs a tool; its standard output, or an error.
QByteArray toolOutput(const QString &program, const QStringList &arguments, QString *error)
{
    if (!e2e::toolInstalled(program)) {
        *error = program + QStringLiteral(" is not installed");
        return {};
    }
    const e2e::ToolResult r = e2e::runTool(program, arguments);
    if (!r.finished || r.exitCode != 0)
        *error = QStringLiteral("%1 failed (%2): %3")
                     .arg(program)
                     .arg(r.exitCode)
                     .arg(QString::fromUtf8(r.err + r.out).left(500));
    return r.out;
}

Sample &sample(const QString &name)
{
    static std::map<QString, std::unique_ptr<Sample>> cache;
    std::unique_ptr<Sample> &slot = cache[name];
    if (slot)
        return *slot;
    slot = std::make_unique<Sample>();
    Sample &s = *slot;
    s.path = e2e::samplePath(name);
    s.walk = e2e::walkFile(s.path, {1 << 20}); // strings are compared whole

    // -v -v: every element, also inside SeekHead, Cues and past the first
    // Cluster; -z: whole sizes; -P: decimal positions.
    const QByteArray info = toolOutput(
        QStringLiteral("mkvinfo"),
        QStringLiteral("--ui-language en_US -v -v -z -P").split(' ') << s.path, &s.infoError);
    const QByteArray probe
        = toolOutput(QStringLiteral("ffprobe"),
                     QStringLiteral("-v error -select_streams v -show_packets -show_entries "
                                    "stream=index:packet=stream_index,pos,size -of json")
                             .split(' ')
                         << s.path,
                     &s.probeError);
    s.probe = QJsonDocument::fromJson(probe).object();
    if (s.probeError.isEmpty() && s.probe.isEmpty())
        s.probeError = QStringLiteral("ffprobe wrote no JSON object");
    if (!s.infoError.isEmpty() || !s.walk->opened)
        return s;

    s.info = parseMkvinfo(info);
    matchLevel(s.walk->tree.roots, s.info.roots, QString(), &s.match);
    forEachInfo(s.info.roots, [&](const InfoElement &e, const std::vector<InfoElement> &) {
        if (e.label == QLatin1String("Timestamp scale"))
            s.timestampScale = e.text.toLongLong();
        if (e.label != QLatin1String("Track"))
            return;
        VideoTrack t;
        bool video = false;
        for (const InfoElement &c : e.children) {
            if (c.label == QLatin1String("Track number"))
                t.number = c.text.section(QLatin1Char(' '), 0, 0).toULongLong();
            video |= c.label == QLatin1String("Track type") && c.text == "video";
            t.encoded |= c.label.startsWith(QLatin1String("Content encoding"));
        }
        if (video)
            s.video << t;
    });
    return s;
}

class SampleFile : public ::testing::TestWithParam<QString>
{
protected:
    Sample &s() { return sample(GetParam()); }

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

// The tree against mkvinfo

TEST_P(SampleFile, TreeMatchesMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const ElementTree &tree = s().walk->tree;
    EXPECT_EQ(tree.strayCalls, 0);
    EXPECT_EQ(tree.openNodes(), 0);
    const Match &m = s().match;
    EXPECT_TRUE(m.mismatches.isEmpty())
        << m.mismatches.size() << " disagreements, the first ones:\n"
        << m.mismatches.mid(0, 15).join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(m.pairs.empty());
}

// The "value" row of every element whose value mkvinfo prints comparably.
TEST_P(SampleFile, ValuesMatchMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const qint64 scale = s().timestampScale;
    ASSERT_GT(scale, 0);
    static const QHash<QString, int> trackTypes = {{"video", 1}, {"audio", 2}, {"subtitles", 17}};
    static const QDateTime epoch
        = QDateTime::fromString(QStringLiteral("2001-01-01T00:00:00Z"), Qt::ISODate);
    int compared = 0;
    for (const Pair &p : s().match.pairs) {
        const Form form = labels().value(p.info->label).form;
        if (form == Form::None || p.node->name == QLatin1String("Unknown"))
            continue;
        const std::string where = p.path.toStdString();
        const ElementRow *row = p.node->row(QStringLiteral("value"));
        if (!row) {
            ADD_FAILURE() << where << ": no value row";
            continue;
        }
        ++compared;
        EXPECT_EQ(row->offset, p.info->payloadOffset()) << where;
        EXPECT_EQ(row->length, p.info->dataSize) << where;
        const QString &text = p.info->text;
        QString expected = text;
        qint64 ns = 0;
        if (form == Form::Ticks || form == Form::Nanoseconds || form == Form::FloatTicks) {
            ASSERT_TRUE(parseTime(text, &ns)) << where << ": " << text.toStdString();
        }
        switch (form) {
        case Form::None:
        case Form::Text:
        case Form::UInt: break;
        case Form::TrackNumber: expected = text.section(QLatin1Char(' '), 0, 0); break;
        case Form::Float:
            EXPECT_NEAR(row->value.toDouble(), text.toDouble(), std::fabs(text.toDouble()) * 1e-6)
                << where;
            continue;
        case Form::Hex:
            expected.clear();
            for (const QString &token : text.split(QLatin1Char(' ')))
                if (token.startsWith(QLatin1String("0x")))
                    expected += token.mid(2).rightJustified(2, QLatin1Char('0'));
            break;
        case Form::TrackType:
            ASSERT_TRUE(trackTypes.contains(text)) << text.toStdString();
            expected = QString::number(trackTypes.value(text));
            break;
        case Form::Ticks:
            EXPECT_EQ(ns % scale, 0) << where;
            expected = QString::number(ns / scale);
            break;
        case Form::Nanoseconds: expected = QString::number(ns); break;
        case Form::FloatTicks:
            // The row has 6 significant digits; mkvinfo rounds to nanoseconds.
            EXPECT_NEAR(row->value.toDouble() * double(scale), double(ns),
                        double(ns) * 1e-5 + double(scale))
                << where;
            continue;
        case Form::Date: {
            // "2024-06-01 12:34:56 UTC", in whole seconds.
            const QDateTime when = QDateTime::fromString(
                text.left(19).replace(QLatin1Char(' '), QLatin1Char('T')) + 'Z', Qt::ISODate);
            ASSERT_TRUE(when.isValid()) << where << ": " << text.toStdString();
            const qint64 ours = row->value.toLongLong();
            EXPECT_EQ(ours >= 0 ? ours / 1000000000 : -((-ours + 999999999) / 1000000000),
                      epoch.secsTo(when))
                << where << ": " << row->value.toStdString();
            continue;
        }
        }
        EXPECT_EQ(row->value, expected) << where;
    }
    EXPECT_GT(compared, 20);
}

// Block and SimpleBlock headers: track number, timecode relative to the
// cluster, keyframe and lacing flags, and where the frame data lies, against
// mkvinfo's block lines and their "Frame" lines.
TEST_P(SampleFile, BlockHeadersMatchMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    const qint64 scale = s().timestampScale;
    qint64 clusterNs = 0;
    int blocks = 0;
    for (const Pair &p : s().match.pairs) {
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
        EXPECT_EQ(timecode->value.toLongLong() * scale, b.timestampNs - clusterNs) << where;

        // For SimpleBlocks mkvinfo's "key" is bit 7 of the flags; a Block's
        // bit 7 is reserved, and mkvinfo prints no "key" for it.
        const bool keyword = flags->meaning.contains(QLatin1String("Keyframe."));
        if (p.info->label == QLatin1String("Simple block")) {
            EXPECT_EQ(keyword, b.words.contains(QStringLiteral("key"))) << where;
        }
        EXPECT_EQ(b.words.contains(QStringLiteral("discardable")),
                  flags->meaning.contains(QLatin1String("Discardable.")))
            << where;

        // The data row spans the lace header (if any) and all frames. With
        // two or more frames only fixed-size lacing has no frame sizes in
        // its header: the header is the frame count alone.
        const auto &frames = p.info->frames;
        EXPECT_EQ(frames.size(), b.frameCount) << where;
        EXPECT_EQ(data->offset + data->length, frames.back().first + frames.back().second) << where;
        const quint64 laceHeader = frames.front().first - data->offset;
        EXPECT_EQ(flags->meaning.contains(QLatin1String(" lacing.")), laceHeader > 0)
            << where << ": " << flags->meaning.toStdString();
        if (b.frameCount >= 2) {
            EXPECT_EQ(flags->meaning.contains(QLatin1String("Fixed-size lacing.")), laceHeader == 1)
                << where << ": " << flags->meaning.toStdString();
        }
    }
    EXPECT_GT(blocks, 0);
}

// Frames against ffprobe and mkvinfo

// Registered frames against ffprobe's video packets: same count, file order,
// streams, data offsets and sizes, and numbers running per stream. ffprobe's
// "pos" of a Matroska packet is where the block payload starts; the frame
// data follows the track number, the 2-byte timecode and the flags byte.
// Video is never laced in these files, so one packet is one block.
TEST_P(SampleFile, VideoFramesMatchFfprobe)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    ASSERT_TRUE(s().probeError.isEmpty()) << s().probeError.toStdString();
    const QVector<VideoTrack> &video = s().video;
    ASSERT_FALSE(video.isEmpty());
    // make-samples.sh turns content encoding off for every video track:
    // header removal or compression would change ffprobe's packet sizes.
    for (const VideoTrack &t : video)
        ASSERT_FALSE(t.encoded) << "track " << t.number;

    // ffprobe makes one stream per track, in TrackEntry order; its video
    // streams, by index, are then our streams in order.
    const QJsonArray streams = s().probe.value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), video.size());
    QHash<int, uint> ordinal;
    for (const QJsonValue &v : streams)
        ordinal.insert(v.toObject().value(QStringLiteral("index")).toInt(), uint(ordinal.size()));

    const QJsonArray packets = s().probe.value(QStringLiteral("packets")).toArray();
    const QVector<FrameRecord> &frames = s().walk->tree.frames;
    ASSERT_EQ(frames.size(), packets.size());
    QVector<quint64> numbers(video.size(), 0);
    for (qsizetype i = 0, reported = 0; i < frames.size() && reported < 10; ++i) {
        const QJsonObject packet = packets[i].toObject();
        const uint stream = ordinal.value(packet.value(QStringLiteral("stream_index")).toInt(), 99);
        ASSERT_LT(stream, uint(video.size()));
        const quint64 offset = packet.value(QStringLiteral("pos")).toString().toULongLong()
            + trackNumberLength(video[int(stream)].number) + 3;
        const quint64 size = packet.value(QStringLiteral("size")).toString().toULongLong();
        const quint64 number = numbers[int(stream)]++;
        const FrameRecord &f = frames[i];
        const bool same
            = f.stream == stream && f.offset == offset && f.size == size && f.number == number;
        EXPECT_TRUE(same) << "frame " << i << ": plug-in stream " << f.stream << " number "
                          << f.number << " offset " << f.offset << " size " << f.size
                          << "; ffprobe stream " << stream << " offset " << offset << " size "
                          << size;
        reported += !same;
    }
}

// The keyframe flag of every frame against mkvinfo's video blocks: a
// SimpleBlock's "key" is bit 7 of its flags, which FrameRecord::keyframe
// carries. A Block's bit 7 is reserved (its keyness is having no
// ReferenceBlock beside it): its flag is 0 whatever the group holds.
// ffprobe's K flag mixes both notions.
TEST_P(SampleFile, KeyframeFlagsMatchMkvinfo)
{
    ASSERT_NO_FATAL_FAILURE(requireWalkAndInfo());
    QVector<quint64> videoNumbers;
    for (const VideoTrack &t : s().video)
        videoNumbers << t.number;

    struct Expected
    {
        uint stream;
        quint64 offset;
        bool simple, key, referenced;
    };
    QVector<Expected> expected;
    forEachInfo(
        s().info.roots, [&](const InfoElement &e, const std::vector<InfoElement> &siblings) {
            const BlockInfo b = parseBlockText(e.text);
            const qsizetype stream = videoNumbers.indexOf(b.track);
            if (!isBlockLabel(e.label) || stream < 0)
                return;
            bool referenced = false;
            for (const InfoElement &sibling : siblings)
                referenced |= sibling.label == QLatin1String("Reference block");
            expected.append({uint(stream), e.payloadOffset() + trackNumberLength(b.track) + 3,
                             e.label == QLatin1String("Simple block"),
                             b.words.contains(QStringLiteral("key")), referenced});
        });

    const QVector<FrameRecord> &frames = s().walk->tree.frames;
    ASSERT_EQ(frames.size(), expected.size());
    int simple[2] = {0, 0}, grouped[2] = {0, 0}; // [not key, key]
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const FrameRecord &f = frames[i];
        const Expected &e = expected[i];
        ASSERT_EQ(f.stream, e.stream) << "frame " << i;
        ASSERT_EQ(f.offset, e.offset) << "frame " << i;
        EXPECT_EQ(f.keyframe, e.simple && e.key ? 1 : 0) << "frame " << i << " at " << f.offset;
        ++(e.simple ? simple[e.key] : grouped[!e.referenced]);
    }
    // A sample with video in SimpleBlocks has both kinds of frame, as has
    // one with video in BlockGroups: the checks above saw both values.
    if (simple[0] + simple[1] > 0) {
        EXPECT_TRUE(simple[0] > 0 && simple[1] > 0);
    }
    if (grouped[0] + grouped[1] > 0) {
        EXPECT_TRUE(grouped[0] > 0 && grouped[1] > 0);
    }
}

std::string sampleTestName(const ::testing::TestParamInfo<QString> &info)
{
    QString name = info.param;
    return name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"))
        .toStdString();
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleFile, ::testing::ValuesIn(e2e::sampleNames()),
                         sampleTestName);

// What the set of samples exercises

// The comparisons above are only as good as the files: this shows what the
// samples lose when make-samples.sh runs with other tool versions.
TEST(SampleSet, ExercisesTheFeaturesTheComparisonsRelyOn)
{
    QSet<QString> names, lacings;
    int videoStreamsMax = 0, videoInBlocks = 0, insideUnknown = 0, longTrackNumbers = 0,
        unknownSizes = 0;
    for (const QString &name : e2e::sampleNames()) {
        const Sample &x = sample(name);
        ASSERT_TRUE(x.walk->opened) << name.toStdString();
        for (const Pair &p : x.match.pairs)
            insideUnknown += p.node->name == QLatin1String("Unknown") && !p.info->children.empty();
        QSet<quint64> frameOffsets;
        for (const FrameRecord &f : x.walk->tree.frames) {
            videoStreamsMax = qMax(videoStreamsMax, int(f.stream) + 1);
            frameOffsets.insert(f.offset);
        }
        forEachNode(x.walk->tree.roots, [&](const ElementNode &n, int) {
            names.insert(n.name);
            unknownSizes += sizeIsUnknown(n);
            if (const ElementRow *track = n.row(QStringLiteral("TrackNumber")))
                longTrackNumbers += track->length > 1;
            if (const ElementRow *flags = n.row(QStringLiteral("Flags")))
                for (const char *kind : {"Xiph", "EBML", "Fixed-size"})
                    if (flags->meaning.contains(QString::fromLatin1(kind) + " lacing."))
                        lacings.insert(QLatin1String(kind));
            const ElementRow *data = n.row(QStringLiteral("data"));
            videoInBlocks
                += n.name == QLatin1String("Block") && data && frameOffsets.contains(data->offset);
        });
    }
    for (const char *expected : {"SimpleBlock",
                                 "BlockGroup",
                                 "Block",
                                 "ReferenceBlock",
                                 "BlockDuration",
                                 "CRC-32",
                                 "Void",
                                 "Unknown",
                                 "Cues",
                                 "Tags",
                                 "Chapters",
                                 "ChapterAtom",
                                 "Attachments",
                                 "AttachedFile",
                                 "FileData",
                                 "SeekHead",
                                 "SegmentUID",
                                 "ContentEncodings",
                                 "ContentCompression",
                                 "DateUTC"})
        EXPECT_TRUE(names.contains(QLatin1String(expected))) << expected;
    EXPECT_EQ(lacings.size(), 3);
    EXPECT_GE(videoStreamsMax, 2);
    EXPECT_GT(videoInBlocks, 0) << "no video frame in a BlockGroup";
    EXPECT_GT(insideUnknown, 0) << "no master unknown to the catalogue with children";
    EXPECT_GT(longTrackNumbers, 0) << "no block with a track number over one byte";
    EXPECT_GT(unknownSizes, 0) << "no element of unknown size";
}

} // namespace
