// SPDX-License-Identifier: MIT
#pragma once

#include "elementsink.h"

#include <QString>

#include <vector>

// What the host's stages find beside what the plug-in reports. A finding
// reaches the next sink as a call of its own, in the order of the walk, so
// that a writer learns it as data and needs to know no stage.

// Marks of the element whose beginElement comes next; several stages may
// mark one element, and a sink adds the marks up.
enum ElementMark : unsigned {
    PastFileEnd = 1,   // it claims more bytes than the file holds from its offset
    PastParentEnd = 2, // it ends after its parent
};

// Where an element that claims size bytes from offset ends, saturated.
inline quint64 elementEnd(quint64 offset, quint64 size)
{
    return size > ~quint64(0) - offset ? ~quint64(0) : offset + size;
}

enum class CrcVerdict : quint8 { None, Ok, Mismatch };

inline const char *crcText(CrcVerdict verdict)
{
    return verdict == CrcVerdict::Ok ? "ok" : "mismatch";
}

// The first element that claims more bytes than the file holds.
struct PastEnd
{
    QString name;
    quint64 offset = 0;
    quint64 size = 0;      // the length it claims
    quint64 remaining = 0; // the bytes the file holds from its offset on
};

// What is known of the frame whose addFrame comes next.
struct FrameFacts
{
    quint64 track = 0;           // the block's track number
    bool timed = false;          // a Cluster time and a block time were seen
    long double nanoseconds = 0; // presentation time: (Cluster + block time) x scale

    // The time in whole microseconds or nanoseconds, when it is known and
    // held by a qint64 (false else).
    bool microseconds(qint64 *us) const { return whole(nanoseconds / 1000, us); }
    bool wholeNanoseconds(qint64 *ns) const { return whole(nanoseconds, ns); }

private:
    bool whole(long double t, qint64 *out) const
    {
        if (!timed || !(t > -0x1p62L && t < 0x1p62L))
            return false;
        *out = qint64(t);
        return true;
    }
};

struct TrackFacts
{
    quint64 number = 0;
    quint64 type = 0;
    QString typeName;
    QString codec;
    QString width;
    QString height;
    QString language;     // LanguageBCP47 when the track has one, else Language
    QString codecDelay;   // in nanoseconds
    QString samplingRate; // in Hz
    QString channels;
    QString defaultDuration; // in nanoseconds
};

struct StreamFacts
{
    uint stream = 0;
    quint64 track = 0; // the track of the stream's first frame
    quint64 frames = 0;
};

struct TrackSummary
{
    quint64 timecodeScale = 1000000;
    std::vector<TrackFacts> tracks;   // in the order of their entries
    quint64 tracksOmitted = 0;        // entries past the listed ones
    std::vector<StreamFacts> streams; // by stream index
    quint64 streamFramesOmitted = 0;  // frames of streams past the counted ones
};

enum class Severity : quint8 { Error, Warning, Info };

inline const char *severityText(Severity severity)
{
    return severity == Severity::Error  ? "error"
        : severity == Severity::Warning ? "warning"
                                        : "info";
}

// Each check shows at most this many findings of a file; the rest are
// counted.
constexpr quint64 ShownFindingsPerCheck = 100;

// What a conformance check found, at the first byte of the element it is
// about; path names that element as /Segment/Cluster[3]/SimpleBlock[17].
// Findings past the shown ones of their check are not made: one Finding
// with counted set stands for that many of its check and severity, without
// offset, path or message.
struct Finding
{
    Severity severity = Severity::Error;
    const char *check = ""; // the check's ID, e.g. "seek-target"
    quint64 offset = 0;
    QString path;
    QString message;
    quint64 counted = 0;
};

// A sink of the host side: the plug-in's calls and the stages' findings.
class Sink : public ElementSink
{
public:
    virtual void mark(unsigned marks) { Q_UNUSED(marks); }
    // The verdict on the CRC-32 first child of the innermost open element,
    // just before that element's endElement.
    virtual void crcChecked(CrcVerdict verdict) { Q_UNUSED(verdict); }
    virtual void frameFacts(const FrameFacts &facts) { Q_UNUSED(facts); }
    // Just before endFile.
    virtual void pastEndFound(const PastEnd &first) { Q_UNUSED(first); }
    virtual void tracksSummed(const TrackSummary &summary) { Q_UNUSED(summary); }
    virtual void finding(const Finding &finding) { Q_UNUSED(finding); }
    // Whether it looks at the Id and Size rows; a sink that does not (the
    // glance view, which says an element's header on its own line) may be
    // spared them.
    virtual bool wantsHeadRows() const { return true; }
    // Whether it reads the numbers that rows carry in their tags. Only a
    // walk that must read them from texts (the classic one) skips them for
    // a chain where no sink does.
    virtual bool readsRowNumbers() const { return false; }
};

// A stage between the plug-in and a writer: it passes every call on to the
// next sink and adds what it finds. A stage overrides only the calls it
// looks at, and passes those on too. One that looks at rows says so with
// takesRows(); the others are skipped for rows.
class Stage : public Sink
{
public:
    explicit Stage(Sink *next)
        : m_next(next)
        , m_rows(next->rowSink())
    {}

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override
    {
        m_next->beginElement(offset, size, name, tag);
    }
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override
    {
        m_rows->addField(flag, offset, code, length, name, value, extra, meaning, tag);
    }
    // An annotation without a kind reaches the stages as an Unsaid note:
    // a stage that looks at annotations overrides noteElement only.
    void annotateElement(const QString &text) override { noteElement(NoteKind::Unsaid, text); }
    void noteElement(NoteKind kind, const QString &text) override
    {
        m_next->noteElement(kind, text);
    }
    void endElement() override { m_next->endElement(); }
    void addFrame(const FrameRecord &frame) override { m_next->addFrame(frame); }
    void topLevelParsed(int status) override { m_next->topLevelParsed(status); }
    void beginFile(const QString &fileName, quint64 size) override
    {
        m_next->beginFile(fileName, size);
    }
    void endFile() override { m_next->endFile(); }
    void mark(unsigned marks) override { m_next->mark(marks); }
    void crcChecked(CrcVerdict verdict) override { m_next->crcChecked(verdict); }
    void frameFacts(const FrameFacts &facts) override { m_next->frameFacts(facts); }
    void pastEndFound(const PastEnd &first) override { m_next->pastEndFound(first); }
    void tracksSummed(const TrackSummary &summary) override { m_next->tracksSummed(summary); }
    void finding(const Finding &finding) override { m_next->finding(finding); }

    ElementSink *rowSink() override { return takesRows() ? this : m_rows; }
    bool wantsHeadRows() const override { return takesRows() || m_next->wantsHeadRows(); }
    bool readsRowNumbers() const override { return m_next->readsRowNumbers(); }

protected:
    virtual bool takesRows() const { return false; }

    Sink *m_next;
    ElementSink *m_rows; // the next sink that takes rows
};
