// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "matroskaids.h"
#include "sink.h"

#include <QString>

#include <memory>
#include <vector>

class InputDevice;

// The IDs of the elements, as Id::Cluster and the like.
namespace Id = MatroskaSchema::Id;

// A row of the element being walked, as the plug-in gave it.
struct CheckedRow
{
    RowKind kind;
    quint64 offset;
    quint64 length;
    qint64 number; // the number it holds (elementsink.h)
    const QString &value;
};

// What the checks share: the open elements, the facts of the EBML header,
// the input, and the one way to report.
class CheckContext
{
public:
    CheckContext(Sink *next, InputDevice *input, const ElementTracker &tracker)
        : m_next(next)
        , m_input(input)
        , m_tracker(&tracker)
    {}

    // The open elements, outermost first; the innermost is the one whose
    // calls come now. During end() it is still open.
    size_t depth() const { return m_tracker->depth(); }
    const OpenElement &at(size_t depth) const { return m_tracker->at(depth); }
    const OpenElement &current() const { return m_tracker->current(); }
    // The element around the current one, or null at the top level.
    const OpenElement *parent() const { return m_tracker->parent(); }
    // The ID of the current element's parent: 0 at the top level, as the
    // schema writes it (MatroskaSchema::TopLevel).
    quint32 parentId() const { return m_tracker->parentId(); }
    // The innermost open Segment, or null.
    const OpenElement *segment() const { return m_tracker->segment(); }

    // /Segment/Cluster[3]/SimpleBlock[17] for the open element at depth,
    // cut short past ElementTracker::PathComponents steps.
    QString path(size_t depth) const { return m_tracker->path(depth); }
    QString currentPath() const { return m_tracker->currentPath(); }
    // The path of the open element at depth up to its own step: what the
    // paths of its siblings share.
    QString pathTo(size_t depth) const { return m_tracker->pathTo(depth); }
    // "/Name" or "/Name[index]", a step of a path.
    static QString step(const QString &name, quint64 index)
    {
        return ElementTracker::step(name, index);
    }

    // How many more findings of check are shown: each shows at most
    // ShownFindingsPerCheck of a file, and the rest are only counted.
    quint64 shownLeft(const char *check) { return ShownFindingsPerCheck - entry(check).shown; }

    // A finding at the first byte of the current element, or of the open
    // element at depth. message() makes its text, and the path is made,
    // only for a finding that is shown.
    template <typename Message>
    void report(Severity severity, const char *check, const Message &message)
    {
        reportAbout(depth() - 1, severity, check, message);
    }
    template <typename Message>
    void reportAbout(size_t depth, Severity severity, const char *check, const Message &message)
    {
        if (take(severity, check))
            sendAbout(depth, severity, check, message);
    }
    // A finding about an element at another place; path() gives its path
    // (empty: the file).
    template <typename Path, typename Message>
    void reportAt(Severity severity, const char *check, quint64 offset, const Path &path,
                  const Message &message)
    {
        if (take(severity, check))
            sendAt(severity, check, offset, path, message);
    }
    // Counts n findings that will not be shown, without making them.
    void count(Severity severity, const char *check, quint64 n = 1);

    // Reads up to count bytes at position without moving the walk's input;
    // the number read, 0 past the end.
    qint64 read(quint64 position, char *bytes, qint64 count) const;
    quint64 fileSize() const { return m_fileSize; }

    // The EBML header's facts, with their defaults until its rows come.
    QString docType = QStringLiteral("matroska");
    quint64 docTypeVersion = 1;
    quint64 docTypeReadVersion = 1;
    quint64 maxIdLength = 4;
    quint64 maxSizeLength = 8;
    bool sawEbmlHeader = false; // an EBML element at offset 0
    // The offset of an element whose value a check more specific than
    // value-range has reported; value-range leaves that element out.
    quint64 valueReported = ~quint64(0);

    // Whether the current element is, or stands in, a later copy of an
    // identically recurring element of its Segment (Info, Tracks, Chapters):
    // such a copy is no more occurrence, and its tracks are no other tracks.
    // The recurring group, which comes first, marks it as it opens.
    bool inRecurringCopy() const
    {
        return m_copyDepth < depth() && at(m_copyDepth).offset == m_copyOffset;
    }
    void markRecurringCopy()
    {
        m_copyDepth = depth() - 1;
        m_copyOffset = current().offset;
    }

private:
    friend class CheckStage;
    // The findings of one check: shown, and counted by severity.
    struct Tally
    {
        const char *check;
        quint64 shown = 0;
        quint64 counted[3] = {};
    };
    Tally &entry(const char *check);
    // A shown finding's path and text are made out of line: few findings
    // are shown, and the checks' code on every element stays small.
    template <typename Message>
    Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void sendAbout(size_t depth, Severity severity,
                                                       const char *check, const Message &message)
    {
        send(severity, check, at(depth).offset, path(depth), message());
    }
    template <typename Path, typename Message>
    Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void sendAt(Severity severity, const char *check,
                                                    quint64 offset, const Path &path,
                                                    const Message &message)
    {
        send(severity, check, offset, path(), message());
    }
    // Whether a finding is shown; counts it when not.
    bool take(Severity severity, const char *check);
    void send(Severity severity, const char *check, quint64 offset, const QString &path,
              const QString &message);
    // The counted findings, one Finding per check and severity.
    void sendCounts();

    Sink *m_next;
    InputDevice *m_input;
    const ElementTracker *m_tracker;
    quint64 m_fileSize = 0;
    std::vector<Tally> m_tallies;
    size_t m_lastTally = 0;
    size_t m_copyDepth = ~size_t(0);
    quint64 m_copyOffset = 0;
};

// A group of checks. The stage calls each group for every node, row,
// annotation and end, in the order of the walk; a group keeps only what it
// must (counts per open master, track numbers, targets to look at) so that
// memory stays flat.
class Check
{
public:
    virtual ~Check() = default;
    // The current element has opened: its offset, size, ID, name, index and
    // bounds are known, its rows not yet.
    virtual void begin(CheckContext &c) { Q_UNUSED(c); }
    // The current element's Size row has come: its header is known.
    virtual void header(CheckContext &c) { Q_UNUSED(c); }
    // Whether the group wants the rows of the current element, asked after
    // begin(); rows are most of a walk's calls, so the default is no.
    virtual bool wantsRows(const OpenElement &element) const
    {
        Q_UNUSED(element);
        return false;
    }
    // A row of the current element; the tracker already holds it.
    virtual void row(CheckContext &c, const CheckedRow &row)
    {
        Q_UNUSED(c);
        Q_UNUSED(row);
    }
    virtual void annotation(CheckContext &c, NoteKind kind)
    {
        Q_UNUSED(c);
        Q_UNUSED(kind);
    }
    // The current element ends: its rows and children have all come.
    virtual void end(CheckContext &c) { Q_UNUSED(c); }
    // The verdict on the CRC-32 first child of the current element, just
    // before its end().
    virtual void crc(CheckContext &c, CrcVerdict verdict)
    {
        Q_UNUSED(c);
        Q_UNUSED(verdict);
    }
    // After the last element of the file.
    virtual void finish(CheckContext &c) { Q_UNUSED(c); }
};

using Checks = std::vector<std::unique_ptr<Check>>;

// The groups, one source file each.
// Later copies of Info, Tracks and Chapters: marks them, and compares each
// with the first; it comes before the other groups.
void addRecurringChecks(Checks *checks);
// EBML header, DocType versions, ID and size lengths, unknown elements,
// parents, occurrences, unknown sizes, values, deprecated, WebM.
void addSchemaChecks(Checks *checks);
// Seek and Cue targets, read at the positions they name.
void addTargetChecks(Checks *checks);
// Blocks and tracks, Cluster timestamps, damaged data, elements past their
// parent or the file, CRC-32 mismatches.
void addStreamChecks(Checks *checks);
// The Cluster index: Cluster PrevSize and Position, Cues by time, order and
// keyframe, top-level elements that the SeekHead leaves out.
void addIndexChecks(Checks *checks);
// The use of the tracks by the blocks: lacing against FlagLacing, tracks
// without a block.
void addTrackUseChecks(Checks *checks);
// What a player needs to set up: the EBML header's limits, track settings,
// CodecPrivate, UIDs that tags and chapters refer to, the Segment Duration.
// They go before the schema's group, which leaves out the value-range
// findings that they make more precise.
void addSetupChecks(Checks *checks);
// The rules of Media Source Extensions for WebM: initialization segment,
// media segments, random access.
void addMseChecks(Checks *checks);

// Sets of checks that --profile adds to the others, a row each.
struct CheckProfile
{
    const char *name;
    void (*add)(Checks *checks);
};
extern const CheckProfile CheckProfiles[];
extern const int CheckProfileCount;
// The profiles of a comma-separated list as a bit each (of CheckProfiles);
// false for a name of none, with a message that lists the known ones.
bool readCheckProfiles(const QString &list, quint32 *profiles, QString *error);
