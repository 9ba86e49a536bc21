// SPDX-License-Identifier: MIT
// The plug-in on real files made by ffmpeg, mkvmerge and GStreamer, held against two independent
// readers: mkvinfo for the element tree (offsets, lengths, nesting, names, values, block headers,
// keyframe flags, laced frames) and ffprobe for the frames of the video tracks and their times.
// Each file in both modes, the classic catalogue and today's Matroska; each tool runs once per
// file. Then the same walks on several threads at once.
#include "e2e_support.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <thread>

namespace {

// One element of `mkvinfo -v -v -z -P`: "|  + Label: text at OFFSET size WHOLE data size PAYLOAD"
// (or "size is unknown"), nested by the characters before '+'; a block's "Frame at OFFSET size N"
// lines go to the block.
struct Info
{
    QString label, text;
    quint64 offset = 0, size = 0, dataSize = 0, firstFrame = 0;
    bool sizeUnknown = false;
    std::vector<Info> children;
    std::vector<std::pair<quint64, quint64>> frames;
    quint64 payload() const { return offset + size - dataSize; }
};

std::vector<Info> parseMkvinfo(const QByteArray &output, QStringList *unread)
{
    static const QRegularExpression line(QStringLiteral(
        R"(^([| ]*)\+ (.*) at (\d+) size (?:(\d+) data size (\d+)|is unknown|(\d+))$)"));
    std::vector<Info> roots;
    std::vector<Info *> open; // the last element of each level; the pointers stay valid
    for (const QString &text : QString::fromUtf8(output).split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = line.match(text);
        const size_t depth = size_t(m.capturedLength(1));
        const bool frame = m.capturedLength(6) > 0;
        if (!m.hasMatch() || depth > open.size() || (frame && (!depth || m.captured(2) != "Frame")))
            *unread << text;
        else if (frame) {
            Info &block = *open[depth - 1];
            block.frames.emplace_back(m.captured(3).toULongLong(), m.captured(6).toULongLong());
            block.firstFrame = block.frames.front().first;
        } else {
            open.resize(depth);
            Info &e = (open.empty() ? roots : open.back()->children).emplace_back();
            e.label = m.captured(2).section(": ", 0, 0), e.text = m.captured(2).section(": ", 1);
            e.offset = m.captured(3).toULongLong(), e.sizeUnknown = m.captured(4).isEmpty();
            e.size = m.captured(4).toULongLong(), e.dataSize = m.captured(5).toULongLong();
            open.push_back(&e);
        }
    }
    return roots;
}

// mkvinfo's labels that are not the element's name in words ("Seek position" is SeekPosition):
// the names they stand for ('/' between two; "Unknown|Name" for elements newer than the catalogue,
// which only today's Matroska names), and
// after ':' how the value shows if not as stored: # the track number and mkvmerge's ID, F a
// float, H the bytes in hex, T a word for the track type, K a time held in timestamp-scale ticks,
// L the same as a float, N a time held in nanoseconds, D a date.
const char *const labelTable = R"(EBML head=EBML;EBML void=Void;Seek entry=Seek;Seek ID=:H;
Maximum EBML ID length=EBMLMaxIDLength;Maximum EBML size length=EBMLMaxSizeLength;
Document type=DocType;Document type version=DocTypeVersion;Segment UID=SegmentUID|SegmentUUID:H;
Document type read version=DocTypeReadVersion;Segment information=SegmentInfo|Info;
Timestamp scale=TimecodeScale|TimestampScale;Multiplexing application=MuxingApp;Writing application=WritingApp;
Duration=:L;Date=DateUTC:D;Track=TrackEntry;Track number=:#;Track UID=TrackUID/TagTrackUID;
Track type=:T;"Lacing" flag=FlagLacing;"Default track" flag=FlagDefault;Name=TagName/Name;
Codec's private data=CodecPrivate;Default duration=:N;Video track=Video;Audio track=Audio;
Interlaced=FlagInterlaced;Sampling frequency=:F;Cluster timestamp=Timecode|Timestamp:K;Cue time=:K;
Block duration=:K;Reference block=:K;Cue duration=:K;Attached=AttachedFile;String=TagString;
MIME type=FileMimeType|FileMediaType;Chapter time start=:N;Chapter string=ChapString;Simple=SimpleTag;
Chapter language=ChapLanguage;Language (IETF BCP 47)=Unknown|LanguageBCP47;
Discard padding=Unknown|DiscardPadding;Chapter language (IETF BCP 47)=Unknown|ChapLanguageBCP47;
Tag language (IETF BCP 47)=Unknown|TagLanguageBCP47;Codec-inherent delay=Unknown|CodecDelay:N;
Seek pre-roll=Unknown|SeekPreRoll:N;Video color information=Unknown|Colour;Color range=Range;
Color matrix coefficients=MatrixCoefficients;Color transfer=TransferCharacteristics;
Color primaries=Primaries;Cluster previous size=PrevSize;)";

// The names a label stands for in a mode, and the form of its value.
std::pair<QStringList, char> label(const QString &text, bool modern)
{
    static const QString table = ';' + QString(labelTable).remove('\n');
    const qsizetype at = table.indexOf(';' + text + '=');
    const QString entry = at < 0 ? QString() : table.mid(at + 1).section(';', 0, 0).section('=', 1);
    QString joined;
    for (const QString &word : text.split(' '))
        joined += word.left(1).toUpper() + word.mid(1);
    const QString named = entry.section(':', 0, 0).section('|', modern ? -1 : 0, modern ? -1 : 0);
    const QString names = named.isEmpty() ? joined : named;
    return {names.split('/'), entry.section(':', 1).toLatin1().append('\0').at(0)};
}

// "[-]HH:MM:SS.nnnnnnnnn" at the start of a text, in nanoseconds.
bool parseTime(const QString &text, qint64 *ns)
{
    static const QRegularExpression time(QStringLiteral(R"(^(-?)(\d+):(\d\d):(\d\d)\.(\d{9}))"));
    const QRegularExpressionMatch m = time.match(text);
    const qint64 s = (m.captured(2).toLongLong() * 60 + m.captured(3).toLongLong()) * 60
        + m.captured(4).toLongLong();
    *ns = (m.captured(1).isEmpty() ? 1 : -1) * (s * 1000000000 + m.captured(5).toLongLong());
    return m.hasMatch();
}

// Whether the plug-in's value row says what mkvinfo's text does.
bool sameValue(char form, const QString &text, const QString &ours, qint64 scale)
{
    static const QDateTime epoch = QDateTime::fromString("2001-01-01T00:00:00Z", Qt::ISODate);
    qint64 ns = 0;
    const bool time = parseTime(text, &ns);
    const double value = ours.toDouble(), theirs = text.toDouble();
    QString hex;
    switch (form) {
    case '#': return ours == text.section(' ', 0, 0);
    case 'T':
        return QString(";video=1;audio=2;subtitles=17;").contains(';' + text + '=' + ours + ';');
    case 'F': return std::fabs(value - theirs) <= std::fabs(theirs) * 1e-6;
    case 'K': return time && ns % scale == 0 && ours == QString::number(ns / scale);
    case 'L': // 6 significant digits against nanoseconds
        return time && std::fabs(value * double(scale) - double(ns)) <= double(ns) * 1e-5 + scale;
    case 'N': return time && ours == QString::number(ns);
    case 'D': // "2024-06-01 12:34:56 UTC" against nanoseconds since 2001
        return epoch.addMSecs(ours.toLongLong() / 1000000).toString("yyyy-MM-dd hh:mm:ss")
            == text.left(19);
    case 'H':
        for (const QString &token : text.split(' '))
            if (token.startsWith("0x"))
                hex += token.mid(2).rightJustified(2, '0');
        return ours == hex;
    }
    return ours == text;
}

struct Sample
{
    bool modern = false;
    std::unique_ptr<e2e::Walk> walk;
    QString error;      // why nothing could be compared
    QStringList faults; // disagreements
    qint64 scale = 1000000, clusterNs = 0;
    int values = 0, blocks = 0;
    struct Block
    {
        quint64 numberLength = 0;
        QString kind;
        qint64 ns = 0; // its time, as today's Matroska gives it
    };
    std::map<quint64, Block> blockAt; // by payload
    // What the default view's line of a block says, as mkvinfo has it: texts the line holds, and
    // whether it says "key" (of a SimpleBlock), by the block's offset.
    std::map<quint64, std::pair<QStringList, int>> blockLine;
    QDebug fault() { return QDebug(&faults.emplace_back()).noquote(); }
};

void checkValue(Sample &s, const ElementNode &n, const Info &e, const QString &here)
{
    if (e.label == "Timestamp scale")
        s.scale = e.text.toLongLong();
    if (e.label == "Cluster timestamp")
        parseTime(e.text, &s.clusterNs);
    if (e.text.isEmpty() || e.text.startsWith("size ") || n.name == "Unknown")
        return; // masters, binary data and elements the plug-in does not know
    ++s.values;
    const ElementRow row = n.row("value") ? *n.row("value") : ElementRow {};
    const char form = label(e.label, s.modern).second;
    if (row.name.isEmpty() || row.offset != e.payload() || row.length != e.dataSize
        || !sameValue(form, e.text, row.value, s.scale))
        s.fault() << here << "value" << row.value << "at" << row.offset << "length" << row.length
                  << "; mkvinfo" << e.text << "at" << e.payload() << "length" << e.dataSize;
    // Today's Matroska gives times and dates their text, as mkvinfo writes them: durations and
    // offsets must have it, other times may.
    qint64 ns = 0, oursNs = 0;
    const bool time = s.modern && parseTime(e.text, &ns);
    const bool mustHave = QString(";Duration;Default duration;Block duration;Reference block;"
                                  "Codec-inherent delay;Seek pre-roll;")
                              .contains(';' + e.label + ';');
    if (time && (mustHave || !row.meaning.isEmpty())
        && !(parseTime(row.meaning, &oursNs)
             && std::llabs(oursNs - ns) <= (form == 'L' ? s.scale : 0)))
        s.fault() << here << "time" << row.meaning << "; mkvinfo" << e.text;
    if (s.modern && form == 'D'
        && !row.meaning.startsWith(QString(e.text.left(19)).replace(' ', 'T')))
        s.fault() << here << "date" << row.meaning << "; mkvinfo" << e.text;
}

// A block header: track number, timecode against the cluster's, flags, data.
void checkBlock(Sample &s, const ElementNode &n, const Info &e, const std::vector<Info> &siblings,
                const QString &here)
{
    static const QRegularExpression header(QStringLiteral(
        R"(^((?:[a-z ]+, )*)track number (\d+), (\d+) frame\(s\), timestamp (\S+))"));
    const QRegularExpressionMatch m = header.match(e.text);
    const QStringList words = m.captured(1).split(", ", Qt::SkipEmptyParts);
    const quint64 track = m.captured(2).toULongLong(), at = e.payload();
    const quint64 l = track < 127 ? 1 : track < 16383 ? 2 : 3; // the shortest EBML number for it
    const ElementRow *number = n.row("TrackNumber"),
                     *timecode = n.row(s.modern ? "Timestamp" : "Timecode"),
                     *flags = n.row("Flags"), *data = n.row("data");
    qint64 ns = 0;
    ++s.blocks;
    if (!parseTime(m.captured(4), &ns) || !e.firstFrame || !number || !timecode || !flags || !data)
        return void(s.fault() << here << ": no header rows, or mkvinfo's unread:" << e.text);
    const QString &says = flags->meaning;
    const bool simple = e.label == "Simple block";
    const quint64 laceHeader = e.firstFrame - data->offset;
    // mkvinfo's "key" is bit 7 of a SimpleBlock's flags; in a Block that bit is
    // reserved. Of two or more frames, only fixed-size lacing has a 1-byte lace header.
    if (number->value != QString::number(track) || number->offset != at || number->length != l
        || timecode->offset != at + l || timecode->value.toLongLong() * s.scale != ns - s.clusterNs
        || flags->offset != at + l + 2 || data->offset != at + l + 3
        || data->length != e.dataSize - l - 3
        || (simple && says.contains("Keyframe.") != words.contains("key"))
        || says.contains("Discardable.") != words.contains("discardable")
        || says.contains(" lacing.") != (laceHeader > 0)
        || (m.captured(3) != "1" && says.contains("Fixed-size lacing.") != (laceHeader == 1)))
        s.fault() << here << "track" << number->value << "timecode" << timecode->value << "at"
                  << number->offset << timecode->offset << flags->offset << data->offset << "length"
                  << data->length << "flags" << says << "; mkvinfo" << e.text << "at" << at;
    // Today's Matroska: the block's time, and a laced block's count and frames as mkvinfo reads
    // them; a block that is not laced has none of these rows.
    qint64 oursNs = 0;
    if (s.modern && !(parseTime(timecode->meaning, &oursNs) && oursNs == ns))
        s.fault() << here << "time" << timecode->meaning << "; mkvinfo" << e.text;
    QList<std::pair<quint64, quint64>> frames;
    const ElementRow *count = n.row("LaceCount");
    for (const ElementRow &r : n.rows)
        if (r.name == "frame")
            frames.append({r.offset, r.length});
    const bool laced = s.modern && says.contains(" lacing.");
    const QList<std::pair<quint64, quint64>> theirs(e.frames.begin(), e.frames.end());
    if (laced ? frames != theirs : s.modern && (!frames.isEmpty() || count))
        s.fault() << here << "frames" << frames << "; mkvinfo" << e.frames;
    if (laced && !(count && count->value == m.captured(3) && count->offset == data->offset))
        s.fault() << here << "no LaceCount of" << m.captured(3) << "at" << data->offset;
    QStringList sizes;
    for (const auto &frame : e.frames)
        sizes << QString::number(frame.second);
    // The view's time: nanoseconds in groups of three digits, none but the first three all zeros.
    QString time = m.captured(4);
    while (time.size() - time.lastIndexOf('.') > 4 && time.endsWith("000"))
        time.chop(3);
    s.blockLine[n.offset]
        = {{": track " + m.captured(2) + ", " + time,
            laced ? QString(", %1 frame%2 (%3)")
                        .arg(m.captured(3), m.captured(3) == "1" ? "" : "s", sizes.join(' '))
                  : QString(", %1 bytes").arg(sizes.value(0))},
           simple ? int(words.contains("key")) : -1};
    const bool referenced = std::any_of(siblings.begin(), siblings.end(),
                                        [](const Info &i) { return i.label == "Reference block"; });
    s.blockAt[at] = {l,
                     QString(simple ? "SimpleBlock " : "Block ")
                         + ((simple ? words.contains("key") : !referenced) ? "key" : "delta"),
                     oursNs};
}

// Pairs the plug-in's nodes with mkvinfo's elements level by level: offset, whole length (or
// unknown size and its marker), a name for the label, status 0. mkvinfo never prints CRC-32
// elements: they must be 6-byte first children. Unknown elements are opaque: no children.
void visit(Sample &s, const std::vector<ElementNode> &nodes, const std::vector<Info> &infos,
           const QString &path, quint64 parentEnd)
{
    std::vector<const ElementNode *> ours;
    for (const ElementNode &n : nodes) {
        if (n.name != "CRC-32")
            ours.push_back(&n);
        else if (&n != &nodes[0] || n.size != 6)
            s.fault() << path << ": a CRC-32 not a 6-byte first child at" << n.offset;
    }
    for (size_t i = 0; i < qMin(ours.size(), infos.size()); ++i) {
        const ElementNode &n = *ours[i];
        const Info &e = infos[i];
        const QString here = path + '/' + n.name + '@' + QString::number(n.offset);
        const ElementRow size = n.rows.value(1);
        const bool unknownSize = size.length >= 1 && size.length <= 8
            && size.value == QString::number((quint64(1) << (7 * size.length)) - 1)
            && (size.meaning == "unknown") == s.modern;
        // Today's Matroska ends an element of unknown size where the next one that cannot be its
        // child begins: mkvinfo's next sibling, or the end of the parent.
        const quint64 end = i + 1 < infos.size() ? infos[i + 1].offset : parentEnd;
        const quint64 length = e.sizeUnknown && s.modern ? end - e.offset : e.size;
        if (n.offset != e.offset || ((!e.sizeUnknown || s.modern) && n.size != length)
            || e.sizeUnknown != unknownSize)
            return void(s.fault() << here << "size" << n.size << "unlike" << e.label << e.offset
                                  << e.size); // and so would its siblings be
        if (!label(e.label, s.modern).first.contains(n.name) || n.status != 0)
            s.fault() << here << ": a status, or a name unlike" << e.label;
        if (e.label == "Simple block" || e.label == "Block")
            checkBlock(s, n, e, infos, here);
        else
            checkValue(s, n, e, here);
        if (n.name != "Unknown")
            visit(s, n.children, e.children, here, e.offset + length);
        else if (!n.children.empty())
            s.fault() << here << ": an unknown element with children";
    }
    if (ours.size() != infos.size())
        s.fault() << path << ":" << ours.size() << "children, mkvinfo has" << infos.size();
}

// Frames against ffprobe's video packets (count, order, stream, number in it, offset, size) and
// keyframe flags against mkvinfo's block there (of BlockGroups too, in today's Matroska), and
// there the blocks' times against ffprobe's. ffprobe's "pos" is where the block payload starts; no
// video frame is laced here, and none has content encoding to change its size.
void checkFrames(Sample &s, const QJsonObject &probe)
{
    QHash<int, int> ordinal; // ffprobe's stream index to ours: both in TrackEntry order
    for (const QJsonValue &v : probe.value("streams").toArray())
        ordinal.insert(v["index"].toInt(), ordinal.size());
    const QJsonArray packets = probe.value("packets").toArray();
    const QVector<FrameRecord> &frames = s.walk->tree.frames;
    if (frames.size() != packets.size() || frames.isEmpty())
        return void(s.fault() << frames.size() << "frames, ffprobe has" << packets.size());
    QVector<quint64> numbers(ordinal.size(), 0);
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const FrameRecord &f = frames[i];
        const QJsonValue p = packets[i];
        const int stream = ordinal.value(p["stream_index"].toInt(), -1);
        const quint64 pos = p["pos"].toString().toULongLong(),
                      size = p["size"].toString().toULongLong();
        const quint64 number = stream < 0 ? 0 : numbers[stream]++;
        const Sample::Block block = s.blockAt.count(pos) ? s.blockAt[pos] : Sample::Block();
        const double seconds = p["pts_time"].toString().toDouble();
        if (stream < 0 || f.stream != uint(stream) || f.offset != pos + block.numberLength + 3
            || f.size != size || f.number != number || block.numberLength == 0
            || f.keyframe
                != int(block.kind == "SimpleBlock key" || (s.modern && block.kind == "Block key"))
            || (s.modern && std::fabs(double(block.ns) / 1e9 - seconds) > 1e-6))
            s.fault() << "frame" << i << "stream" << f.stream << "number" << f.number << "at"
                      << f.offset << "size" << f.size << "key" << f.keyframe << "time" << block.ns
                      << "; ffprobe: stream" << stream << "pos" << pos << "size" << size << "time"
                      << seconds << "; mkvinfo:" << block.kind;
    }
}

// The default view of vantorel-inspect, a line per element, against the walk that agrees with
// mkvinfo: each element's line has its name, length and value, a block's line the facts mkvinfo
// prints of it, and the view registers the walk's video frames.
void checkView(Sample &s, const QString &path)
{
    static const QRegularExpression line(
        QStringLiteral(R"(^ *(\S+)(?: 0x[0-9A-F]+)?  @(\d+) (.*)$)"));
    const QString view = QString::fromUtf8(e2e::inspect({path}).out);
    std::map<quint64, QString> lines; // by offset: the name, then what follows it
    for (const QString &text : view.split('\n')) {
        const QRegularExpressionMatch m = line.match(text);
        if (m.hasMatch())
            lines[m.captured(2).toULongLong()] = m.captured(1) + ' ' + m.captured(3);
    }
    const std::function<void(const std::vector<ElementNode> &)> visitAll = [&](const auto &nodes) {
        for (const ElementNode &n : nodes) {
            const QString &said = lines[n.offset];
            const ElementRow *value = n.row("value");
            const QString shown = value ? value->value.left(said.contains("(cut: ") ? 32 : -1) : "";
            const auto block = s.blockLine.find(n.offset);
            bool right = said.startsWith(n.name + " len " + QString::number(n.size))
                && (shown.isEmpty() || said.contains(" = " + shown));
            if (block != s.blockLine.end())
                for (const QString &fact : block->second.first)
                    right = right && said.contains(fact);
            if (block != s.blockLine.end() && block->second.second >= 0)
                right = right && said.contains(", key") == bool(block->second.second);
            if (!right)
                s.fault() << "the view says" << said << "of" << n.name << n.offset;
            visitAll(n.children);
        }
    };
    visitAll(s.walk->tree.roots);
    if (view.count(", video frame ") != s.walk->tree.frames.size())
        s.fault() << "the view registers" << view.count(", video frame ") << "video frames";
}

const char *const probeCommand = "ffprobe -v error -select_streams v -show_packets -show_entries "
                                 "stream=index:packet=stream_index,pos,size,pts_time -of json";

const Sample &sample(const QString &name, bool modern)
{
    static std::map<std::pair<QString, bool>, Sample> cache;
    Sample &s = cache[{name, modern}];
    if (s.walk)
        return s;
    const QString path = e2e::samplePath(name);
    s.modern = modern;
    s.walk = e2e::walkFile(path, 1 << 20, modern); // strings are compared whole
    const auto run = [&](const QString &command) {
        return e2e::runTool(command.section(' ', 0, 0), command.section(' ', 1).split(' ') << path)
            .out;
    };
    // -v -v: every element, also in SeekHead, Cues and later Clusters; -z: whole sizes; -P: offsets
    QStringList unread;
    const std::vector<Info> roots
        = parseMkvinfo(run("mkvinfo --ui-language en_US -v -v -z -P"), &unread);
    const QJsonObject probe = QJsonDocument::fromJson(run(probeCommand)).object();
    if (s.walk->status != 0 || roots.empty() || !unread.isEmpty() || probe.isEmpty())
        QDebug(&s.error).noquote() << "walk status" << s.walk->status << "; unread mkvinfo lines"
                                   << unread << "; ffprobe's output empty:" << probe.isEmpty();
    if (!s.error.isEmpty())
        return s;
    const ElementTree &tree = s.walk->tree;
    if (tree.strayCalls != 0 || tree.openNodes() != 0)
        s.fault() << tree.strayCalls << "stray calls," << tree.openNodes() << "open nodes";
    visit(s, tree.roots, roots, {}, QFileInfo(path).size());
    if (s.values <= 20 || s.blocks == 0)
        s.fault() << "only" << s.values << "values and" << s.blocks << "blocks compared";
    checkFrames(s, probe);
    if (modern)
        checkView(s, path);
    return s;
}

class SampleFile : public ::testing::TestWithParam<std::pair<QString, bool>>
{
};

TEST_P(SampleFile, AgreesWithMkvinfoAndFfprobe)
{
    const Sample &s = sample(GetParam().first, GetParam().second);
    ASSERT_TRUE(s.error.isEmpty()) << s.error.toStdString();
    EXPECT_TRUE(s.faults.isEmpty()) << s.faults.size() << " disagreements, the first ones:\n"
                                    << s.faults.mid(0, 15).join('\n').toStdString();
}

// Every sample in both modes, but the classic catalogue nests a Cluster of unknown size in the
// one before, which mkvinfo does not.
std::vector<std::pair<QString, bool>> samplesAndModes()
{
    std::vector<std::pair<QString, bool>> all;
    for (const QString &name : e2e::sampleNames())
        for (bool modern : {false, true})
            if (modern || name != "gst-live.webm")
                all.emplace_back(name, modern);
    return all;
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleFile, ::testing::ValuesIn(samplesAndModes()),
                         [](const auto &info) {
                             QString name = info.param.first + (info.param.second ? "_modern" : "");
                             return name.replace(QRegularExpression("\\W"), "_").toStdString();
                         });

// Parsers on several threads at once give the trees they give one after the
// other; run alone (the thread sanitizer build does), these walks are also
// the first calls of the handlers that create shared texts.
QString dump(const QString &name)
{
    return golden::text(e2e::walkFile(e2e::samplePath(name))->tree);
}

// Four files and one of them twice, on five threads that start together.
TEST(Threads, ParsersAtOnceGiveTheSequentialTrees)
{
    const QStringList files
        = {"clip.webm", "laced-audio.mkv", "two-video.mkv", "subs-chapters.mkv", "laced-audio.mkv"};
    std::vector<QString> together(size_t(files.size()));
    std::atomic<int> ready {0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < together.size(); ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < int(together.size()))
                std::this_thread::yield();
            together[i] = dump(files[qsizetype(i)]);
        });
    }
    for (std::thread &t : threads)
        t.join();
    for (size_t i = 0; i < together.size(); ++i) {
        const QString alone = dump(files[qsizetype(i)]);
        EXPECT_TRUE(alone.contains(QLatin1String("\nframes ")));
        EXPECT_EQ(together[i], alone) << files[qsizetype(i)].toStdString();
    }
}

} // namespace
