// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "framespool.h"
#include "outputbuffer.h"
#include "sink.h"

#include <QHash>

#include <string>
#include <vector>

class InputDevice;

// Writes one self-contained HTML page while the walk goes: the element tree
// with its rows and the bytes of each element, charts of the video frames,
// and a summary. Nodes are streamed into the page as lines (report/
// lineformat.h) that the page's script turns into DOM only when a subtree is
// opened; only the chain of open nodes is held in memory. Frames are spooled
// and appended at the end, with the summary and the script.
class HtmlWriter : public Sink
{
public:
    struct Settings
    {
        quint64 hexLimit = 4096;         // bytes embedded per element
        quint64 maxNodes = 200000;       // elements embedded with rows and bytes
        quint64 maxRows = 2000000;       // rows of those embedded in all
        quint64 hexBudget = 32ull << 20; // bytes embedded in all; past it, heads only
        quint64 maxFrames = 1000000;     // frames embedded for the charts
    };
    static constexpr quint64 HeadBytes = 32;
    static constexpr int MaxValueChars = 1024;

    // Embeds the bytes of the elements from input (null: none), without
    // moving its position; the open elements are those of tracker.
    HtmlWriter(OutputBuffer *out, InputDevice *input, const Settings &settings,
               const ElementTracker &tracker);

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void noteElement(NoteKind kind, const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void topLevelParsed(int status) override;
    void beginFile(const QString &fileName, quint64 size) override;
    void endFile() override;
    void mark(unsigned marks) override { m_marks |= marks; }
    void crcChecked(CrcVerdict verdict) override;
    void frameFacts(const FrameFacts &facts) override { m_frameFacts = facts; }
    void pastEndFound(const PastEnd &first) override;
    void tracksSummed(const TrackSummary &summary) override;

private:
    // What the page needs of an open element besides the tracker's facts.
    struct Open
    {
        qint64 index;        // in the page, or -1 past the cap
        qint64 owner;        // the innermost embedded open node (position in m_open), or -1
        quint64 omitted = 0; // descendants past the cap
        quint64 rowsOmitted = 0;
        quint8 flags;
        bool flushed = false; // its line went out, or never will
        bool annotated = false;
        CrcVerdict crc = CrcVerdict::None;
        QString annotation;
    };
    struct Frame
    {
        FrameRecord frame;
        FrameFacts facts;
        qint64 node;
    };

    void flush(Open &node, const OpenElement &element, qint64 parentIndex, quint64 bytesTo);
    void writeLine(const std::string &line);
    void text(std::string &line, QStringView value, bool mayIntern);
    void reference(std::string &line, const QString &value);
    void writeBase64(std::string &line, quint64 offset, quint64 count);
    void writeFrame(const Frame &frame);
    void writeSummary();

    OutputBuffer *m_out;
    Settings m_settings;
    InputDevice *m_input;
    const ElementTracker &m_tracker;
    quint64 m_size = 0;
    unsigned m_marks = 0;

    std::vector<Open> m_open;
    // Only the innermost node can wait for its line: its name and rows.
    std::string m_pendingName;
    std::string m_rows;
    quint64 m_rowEnd = 0; // where the next row would start if it follows on
    std::string m_line;
    QHash<QString, int> m_texts;
    quint64 m_chunk = 0; // bytes in the current script element
    std::vector<unsigned char> m_read;

    quint64 m_embedded = 0;
    quint64 m_rowCount = 0; // rows of the embedded elements
    quint64 m_rowsEmbedded = 0;
    quint64 m_elements = 0;
    quint64 m_unknown = 0;
    quint64 m_pastFile = 0;
    quint64 m_pastParent = 0;
    quint64 m_pastEither = 0;
    quint64 m_hexBytes = 0;
    quint64 m_headOnly = 0;
    qint64 m_lastTopLevel = -1;

    FrameFacts m_frameFacts;
    FrameSpool<Frame> m_frames;
    quint64 m_frameCount = 0;
    quint64 m_framesEmbedded = 0;
    bool m_pastEndFound = false;
    PastEnd m_firstPastEnd;
    TrackSummary m_summary;
};
