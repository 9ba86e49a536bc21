#pragma once

#include "inputdevice.h"
#include "streamwriter.h"

#include <QHash>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Writes one self-contained HTML page while the walk goes: the element tree
// with its rows and the bytes of each element, charts of the video frames,
// and a summary. Nodes are streamed into the page as lines of text that the
// page's script reads and turns into DOM only when a subtree is opened; only
// the chain of open nodes is held in memory. Frames wait in a temporary file
// and are appended at the end, with the summary and the script.
//
// A node line, fields separated by tabs:
//   parent  name  offset  size  flags  bytes(base64)  annotation  crc
//   then per row: name  offset  length  value  meaning
// A row offset is empty when the row starts where the previous one ended
// (the first row: at the node), else it is its distance from the node.
// "$text" lines add to a table of repeated texts that "^N" fields refer to;
// "!index  annotation  crc  omitted  status" lines add what a node learns
// after its line went out. Texts escape '\\', '<' and control characters as
// \xHH, and a leading '^' likewise.
class HtmlWriter : public StreamWriter
{
public:
    struct Settings
    {
        quint64 hexLimit = 4096;           // bytes embedded per element
        quint64 maxNodes = 200000;         // elements embedded with rows and bytes
        quint64 hexBudget = 32ull << 20;   // bytes embedded in all; past it, heads only
        quint64 maxFrames = 1000000;       // frames embedded for the charts
    };
    // Node flags in the page.
    enum Flag : unsigned {
        PastFileEnd = 1,
        PastParentEnd = 2,
        HeadOnly = 4, // the byte budget was spent: only the first bytes are there
    };
    static constexpr quint64 HeadBytes = 32;
    static constexpr int MaxValueChars = 1024;

    // Reads the bytes it embeds from path, with a device of its own.
    HtmlWriter(OutputBuffer *out, const QString &path, const Settings &settings);
    ~HtmlWriter() override;

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void topLevelParsed(int status) override;
    void beginFile(const QString &fileName, quint64 size) override;
    void endFile() override;

private:
    // What a node is to the summary and the charts.
    enum Kind : quint8 {
        Other, SegmentInfo, TimecodeScale, Cluster, ClusterTimecode, Block, TrackEntry,
        TrackNumber, TrackType, CodecID, Video, PixelWidth, PixelHeight,
    };
    struct Open
    {
        qint64 index;     // in the page, or -1 past the cap
        qint64 owner;     // the innermost embedded open node (position in m_open), or -1
        quint64 offset;
        quint64 size;
        quint64 end;      // offset + size, saturated
        quint64 omitted = 0; // descendants past the cap
        Kind kind;
        quint8 flags;
        bool flushed = false;     // its line went out, or never will
        bool hasChildren = false;
        bool annotated = false;
        QString annotation;
    };
    struct Track
    {
        quint64 number = 0;
        quint64 type = 0;
        QString typeName;
        QString codec;
        QString width;
        QString height;
    };
    struct Stream
    {
        quint64 track = 0;
        quint64 frames = 0;
    };

    void flush(Open &node, qint64 parentIndex, quint64 bytesTo, CrcCheck::Verdict crc);
    void writeLine(const std::string &line);
    void text(std::string &line, QStringView value, bool mayIntern);
    void reference(std::string &line, const QString &value);
    void writeBase64(std::string &line, quint64 offset, quint64 count);
    void takeValue(const Open &node, const QString &value, const QString &meaning);
    void writeSummary();
    void appendFrames();

    Settings m_settings;
    InputDevice m_bytes;
    bool m_bytesOpen = false;
    quint64 m_size = 0;

    std::vector<Open> m_open;
    // Only the innermost node can wait for its line: its name and rows.
    std::string m_pendingName;
    std::string m_rows;
    quint64 m_rowEnd = 0;  // where the next row would start if it follows on
    std::string m_line;
    QHash<QString, int> m_texts;
    quint64 m_chunk = 0;   // bytes in the current script element
    std::vector<unsigned char> m_read;

    quint64 m_embedded = 0;
    quint64 m_elements = 0;
    quint64 m_unknown = 0;
    quint64 m_pastFile = 0;
    quint64 m_pastParent = 0;
    quint64 m_pastEither = 0;
    quint64 m_hexBytes = 0;
    quint64 m_headOnly = 0;
    qint64 m_lastTopLevel = -1;

    // The summary and the charts.
    quint64 m_timecodeScale = 1000000;
    bool m_clusterTimeKnown = false;
    qint64 m_clusterTime = 0;
    bool m_blockTimeKnown = false;
    qint64 m_blockTime = 0;
    quint64 m_blockTrack = 0;
    std::vector<Track> m_tracks;
    quint64 m_tracksOmitted = 0;
    Track m_track;
    std::map<uint, Stream> m_streams;
    quint64 m_streamsOmitted = 0;

    std::FILE *m_frameFile = nullptr;
    std::unique_ptr<OutputBuffer> m_frameOut;
    std::string m_frameLines; // when no temporary file can be had
    std::string m_frameLine;
    quint64 m_frameBytes = 0;
    quint64 m_frames = 0;
    quint64 m_framesEmbedded = 0;
};
