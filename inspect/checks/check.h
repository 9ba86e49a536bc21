#pragma once

#include "matroskaids.h"
#include "sink.h"

#include <QString>

#include <memory>
#include <vector>

class InputDevice;

// The IDs of the elements, as Id::Cluster and the like.
namespace Id = MatroskaSchema::Id;

constexpr size_t NoSegment = ~size_t(0);

// One element of the walk as the checks see it: its node, its Id and Size
// rows and its Value row, filled in as the calls come.
struct CheckedElement
{
    quint64 offset = 0;
    quint64 size = 0; // the node's length, header included
    quint64 end = 0;  // offset + size, saturated
    qint64 id = -1;   // the node's tag: its ID, -1 when none could be read
    QString name;
    quint64 index = 1;          // 1-based among its parent's children of this name
    unsigned marks = 0;         // PastFileEnd, PastParentEnd (sink.h)
    size_t segment = NoSegment; // the innermost open Segment's place among the open elements

    quint8 idLength = 0;      // from the Id row
    quint8 sizeLength = 0;    // from the Size row
    quint64 dataOffset = 0;   // where the payload begins (after the size field)
    quint64 dataSize = 0;     // the size field's value; for an unknown size, the extent found
    bool unknownSize = false; // the walk found the extent of a master of unknown size

    quint32 rowChecks = 0; // the groups that want its rows, a bit each

    bool hasValue = false; // a Value row came
    qint64 number = -1;    // the number it holds (elementsink.h)
    QString value;         // the value it shows
};

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
    CheckContext(Sink *next, InputDevice *input)
        : m_next(next)
        , m_input(input)
    {}

    // The open elements, outermost first; the innermost is the one whose
    // calls come now. During end() it is still open.
    const std::vector<CheckedElement> &open() const { return m_open; }
    const CheckedElement &current() const { return m_open.back(); }
    // The element around the current one, or null at the top level.
    const CheckedElement *parent() const
    {
        return m_open.size() >= 2 ? &m_open[m_open.size() - 2] : nullptr;
    }
    // The ID of the current element's parent: 0 at the top level, as the
    // schema writes it (MatroskaSchema::TopLevel).
    quint32 parentId() const { return parent() && parent()->id >= 0 ? quint32(parent()->id) : 0; }
    // The innermost open Segment, or null.
    const CheckedElement *segment() const
    {
        return m_open.empty() || m_open.back().segment == NoSegment
            ? nullptr
            : &m_open[m_open.back().segment];
    }

    // /Segment/Cluster[3]/SimpleBlock[17] for the open element at depth.
    // Past PathComponents elements, the first and last PathEnds stay around
    // the count of those left out: /Segment/Cluster/Cluster/...[979 more].../
    // Cluster/BlockGroup/Block. It costs the same at any depth.
    QString path(size_t depth) const
    {
        return pathTo(depth) + step(m_open[depth].name, m_open[depth].index);
    }
    QString currentPath() const { return path(m_open.size() - 1); }
    // The path of the open element at depth up to its own step: what the
    // paths of its siblings share.
    QString pathTo(size_t depth) const;
    // "/Name" or "/Name[index]", a step of a path.
    static QString step(const QString &name, quint64 index);

    // How many more findings of check are shown: each shows at most
    // ShownFindingsPerCheck of a file, and the rest are only counted.
    quint64 shownLeft(const char *check) { return ShownFindingsPerCheck - entry(check).shown; }

    // A finding at the first byte of the current element, or of the open
    // element at depth. message() makes its text, and the path is made,
    // only for a finding that is shown.
    template <typename Message>
    void report(Severity severity, const char *check, const Message &message)
    {
        reportAbout(m_open.size() - 1, severity, check, message);
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

    static constexpr size_t PathComponents = 16;
    static constexpr size_t PathEnds = 3;

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
        send(severity, check, m_open[depth].offset, path(depth), message());
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
    quint64 m_fileSize = 0;
    std::vector<CheckedElement> m_open;
    std::vector<Tally> m_tallies;
    size_t m_lastTally = 0;
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
    // marks are known, its rows not yet.
    virtual void begin(CheckContext &c) { Q_UNUSED(c); }
    // The current element's "size" row has come: its header is known.
    virtual void header(CheckContext &c) { Q_UNUSED(c); }
    // Whether the group wants the rows of the current element, asked after
    // begin(); rows are most of a walk's calls, so the default is no.
    virtual bool wantsRows(const CheckedElement &element) const
    {
        Q_UNUSED(element);
        return false;
    }
    // A row of the current element; the CheckedElement already holds it.
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
// EBML header, DocType versions, ID and size lengths, unknown elements,
// parents, occurrences, unknown sizes, values, deprecated, WebM.
void addSchemaChecks(Checks *checks);
// Seek and Cue targets, read at the positions they name.
void addTargetChecks(Checks *checks);
// Blocks and tracks, Cluster timestamps, damaged data, elements past their
// parent or the file, CRC-32 mismatches.
void addStreamChecks(Checks *checks);
