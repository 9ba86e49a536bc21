// SPDX-License-Identifier: MIT
#pragma once

#include "containerabstract.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

#if defined(VANTOREL_MKV_LIBRARY)
#define VANTOREL_MKV_EXPORT Q_DECL_EXPORT
#else
#define VANTOREL_MKV_EXPORT Q_DECL_IMPORT
#endif

// Walks a Matroska or WebM file as EBML and reports every element as a node
// with its rows; registers every block of a video track as a frame.
class VANTOREL_MKV_EXPORT ContainerMKV : public ContainerAbstract
{
public:
    // Results of the walker, the handlers and the reporters.
    enum Status {
        StatusDone = 0,
        StatusFileRefused = 3,   // verifyContainerFormat: not an mkv/webm name, or
                                 // (today's Matroska) not a Matroska or WebM file
        StatusLengthRefused = 6, // ID over 4 bytes, float not 4/8, integer over 8
        StatusUnknownID = 7,     // searchID: not in the catalogue
        StatusNoMemory = 9,      // a payload buffer could not be allocated
    };

    enum ElementType {
        SInteger = 1,
        UInteger = 2,
        Float = 3,
        String = 4,
        UTF8 = 5,
        Date = 6,
        Master = 7,
        Binary = 8,
    };

    class ElementMKV;
    typedef int (ContainerMKV::*ElementHandler)(ElementMKV *element);

    class VANTOREL_MKV_EXPORT ElementMKV : public ContainerAbstract::CommonElement
    {
    public:
        ElementMKV();
        ElementMKV(int type, ElementHandler handler, const QString &name,
                   const QString &description);
        ElementMKV(const ElementMKV &other) = default;
        ElementMKV &operator=(const ElementMKV &other) = default;
        ~ElementMKV() = default;

        ElementHandler handler;
        quint64 elementOffset;
        quint64 elementSize;
        quint64 dataOffset;
        quint64 dataSize;
        QString description;
    };

    struct Stream
    {
        quint64 trackNumber = 0;
        quint64 trackType = 0;
    };

    // Masters nested deeper than this are reported with their id and size
    // rows and an annotation, and not entered. One level of the walk's
    // recursion costs about 210 bytes of stack (about 550 with
    // AddressSanitizer at -O2), so the deepest walk stays within a fifth of
    // a 1 MiB thread stack. Live recordings nest clusters of unknown size one
    // in another, so the bound is kept high.
    static constexpr int MaxNesting = 1000;

    // Most bytes of an ASCII string loaded for its value, unless binaryLimit
    // is larger.
    static constexpr quint64 StringLoadLimit = 1 << 20;

    ContainerMKV();
    ~ContainerMKV() override;

protected:
    int verifyContainerFormat(const QString &fileName) override;
    int findBeginOfContainer(qint64 *offset) override;
    int parseElement(quint64 *length) override;
    void prepareParsing() override;
    void finalizeParsing() override;

    // EBML readers
    quint8 getEBMLsize(quint8 firstByte);
    int getID(quint32 *id, quint8 *length);
    int getEBMLelement(quint64 *value, quint8 *length);
    // An element's ID and size field, as the look-aheads read them.
    struct Header
    {
        bool idRead = false; // false: an ID over 4 bytes, idLength 0
        quint32 id = 0;
        quint8 idLength = 0;
        quint64 size = 0;
        quint8 sizeLength = 0;
        quint64 length() const { return quint64(idLength) + sizeLength; }
        // False for a first size byte of 0, which reads as 2^56 or more.
        bool sizeRead() const { return size < (quint64(1) << 56); }
        // All value bits set: the size is unknown (RFC 8794, 6.2).
        bool unknownSize() const { return size == (quint64(1) << (7 * sizeLength)) - 1; }
    };
    Header readHeader(quint64 position);
    // The same from the 12 bytes at bytes (zeros past the end of the input).
    Header headerOf(const unsigned char *bytes);
    // An unsigned number from the 8 bytes at bytes, and its length.
    quint64 numberOf(const unsigned char *bytes, quint8 *length);

    // Walker
    int searchID(unsigned int id, ElementMKV *record);
    int parseUnknownObject(quint64 offset, quint64 size);

    // Value reporters
    int reportValue(ElementMKV *element);
    int reportValueString(ElementMKV *element);
    int reportValueUTF8(ElementMKV *element);
    int reportValueSInteger(ElementMKV *element);
    int reportValueUInteger(ElementMKV *element);
    int reportValueFloat(ElementMKV *element);
    int reportValueBinary(ElementMKV *element);
    int reportValueDate(ElementMKV *element);
    int parseData(ElementMKV *element);
    int parseJunk(ElementMKV *element);

    // Blocks
    int parseBlock(ElementMKV *element);

    // Tracks
    int parseTrackEntry(ElementMKV *element);
    int parseTrackNumber(ElementMKV *element);
    int parseTrackType(ElementMKV *element);
    void reset_stream();
    int parseDisplayUnit(ElementMKV *element);
    int parseDefaultDuration(ElementMKV *element);
    int parsePixelWidth(ElementMKV *element);
    int parsePixelHeight(ElementMKV *element);
    int parseTrackTimecodeScale(ElementMKV *element);
    int parseCodecID(ElementMKV *element);
    int parseCodecPrivate(ElementMKV *element);

    QHash<unsigned int, ElementMKV *> elements;
    Stream stream;
    QHash<quint64, quint64> trackTypes;
    QVector<quint64> videoTracks;

private:
    // Row names and the empty text: rows pass these by reference, so that
    // no text is made or dropped per row (made per row, they cost the text
    // and JSON outputs of 367,000 small elements 4 to 6 % more time, 5 %
    // more instructions).
    struct RowTexts
    {
        QString id, size, value, trackNumber, timecode, timestamp, flags, data, none;
    };
    static const RowTexts Texts;

    void fillCatalogue();
    // The catalogue with every element of today's Matroska added, and its
    // handlers: made when the first walk of today's Matroska is prepared.
    void fillModernCatalogue();
    QHash<unsigned int, ElementMKV *> m_modernElements;

    // What the reading of a walk decides: chosen in prepareParsing, the
    // classic catalogue until then. The walker, blocks, tracks and meanings
    // ask it, never the setting, and the per-row answers are plain members.
    // As it stands here, the classic reading's answers.
    struct Dialect
    {
        // The elements known, with their handlers.
        const QHash<unsigned int, ElementMKV *> *catalogue = nullptr;
        // The label of an integer value of the element of that ID.
        QString (*label)(quint32 id, quint64 value) = nullptr;
        // Rows say their kind in the code and their number in the tag,
        // nodes their ID in the tag, annotations that hosts act on their
        // kind (a Data row for a number its bytes do not hold whole). As
        // masks, which a row's code and tag take without a branch: all
        // ones and 0 when they do, 0 and all ones (a tag of -1) otherwise.
        bool saysKinds = false;
        quint8 codeMask = 0;
        qint64 tagFill = -1;
        // An unknown element's id row shows its ID.
        bool showsUnknownIds = false;
        // A master whose size bits are all ones ends where no child of it
        // can stand (RFC 8794, 6.2).
        bool unknownSizes = false;
        // Bytes that can begin no element are skipped as one node.
        bool damagedData = false;
        // Lace headers, and a Block's keyframe from its BlockGroup.
        bool blockDetails = false;
        // Values that are shown cut say so.
        bool cutMeanings = false;
        // An accepted file is announced on standard error.
        bool announcesFormat = true;
        // A file is taken by its content, not by its name's suffix.
        bool byContent = false;
        // The name of a block's row of its time relative to its Cluster.
        const QString *blockTimeName = &Texts.timecode;
        // A header (an element's, a block's, a lace header) that the end of
        // the input cuts shows the bytes it holds, and is not read further.
        bool cutHeaders = false;
        // UTF-8 texts (titles, names, tags) are shown whole, as ASCII ones
        // are, up to StringLoadLimit, not cut at binaryLimit.
        bool wholeTexts = false;
    };
    Dialect m_dialect;
    Dialect classicDialect();
    Dialect modernDialect();
    // The dialect that the parser's setting asks for.
    Dialect settingDialect();
    // Why the input is not a Matroska or WebM file by its content, or the
    // empty text when it is one.
    QString contentRefusal();
    // The names of the classic catalogue's track types and display units.
    static QString classicLabel(quint32 id, quint64 value);
    // The ID of the element read last (0 when none could be read): the
    // element whose payload a handler or reporter has before it.
    quint32 m_elementId = 0;
    // Registers a track's number and type; pairs with a 0 in them are not
    // registered. The one place where videoTracks and m_videoStreams grow.
    void registerTrack(quint64 number, quint64 type);
    // Decimal texts of numbers, shared for the small ones.
    static QString decimal(quint64 value);
    static QString decimal(qint64 value);
    void seekTo(quint64 position);
    quint64 bytesLeftAt(quint64 position) const;
    // A row's code and tag: its kind and the number it holds in a dialect
    // that says them, 0 and -1 otherwise.
    quint8 rowCode(RowKind kind) const { return quint8(kind) & m_dialect.codeMask; }
    qint64 rowTag(qint64 number) const { return number | m_dialect.tagFill; }
    // A row of a number read from its bytes: a Data row (tag -1) when they
    // are not whole in the input.
    void addNumberField(quint64 offset, RowKind kind, quint64 length, const QString &name,
                        const QString &value, const QString &meaning, bool whole, qint64 number)
    {
        addField(false, offset, rowCode(whole ? kind : RowKind::Data), length, name, value,
                 Texts.none, meaning, rowTag(whole ? number : -1));
    }
    // The value row of a payload that holds no number (tag -1), and of one
    // that holds this number (an integer's or date's, a double's bits).
    void addValueRow(const ElementMKV *element, const QString &value,
                     const QString &meaning = QString());
    void addNumberRow(const ElementMKV *element, qint64 number, const QString &value,
                      const QString &meaning = QString());
    static qint64 doubleBits(double value);
    // An annotation that hosts act on, with its kind where the dialect says it.
    void note(const QString &text, NoteKind kind)
    {
        if (m_dialect.saysKinds)
            annotateElement(text, kind);
        else
            annotateElement(text);
    }
    // Reads an unsigned integer payload of up to 8 bytes; false for longer ones.
    bool readUInteger(const ElementMKV *element, quint64 *value);
    struct Payload
    {
        std::unique_ptr<char[]> bytes;
        quint64 size = 0; // bytes delivered
    };
    // Loads up to count bytes at the device position, never more than the
    // input still holds there. StatusNoMemory when no buffer can be had.
    int loadPayload(quint64 count, Payload *payload);
    enum RecordKind { RecordUnknown, RecordKnown, RecordDamaged, RecordCut };
    RecordKind beginRecord(ElementMKV *record);
    // The node of an element whose header the end of the input cuts.
    RecordKind beginCutRecord(ElementMKV *record, bool known, quint32 id, quint8 idLength,
                              quint8 sizeLength);
    // A Data row of a header field that the end of the input cuts: the
    // length bytes that it holds, in hex (as binaryLimit allows).
    void addCutField(quint64 offset, quint64 length, const QString &name);
    int parsePayload(ElementMKV *record, bool known);
    int walkChildren(ElementMKV *record);

    // The stream of each video track number: the position of its first
    // entry in videoTracks, which a repeated number also takes a place in.
    QHash<quint64, qsizetype> m_videoStreams;

    // --- Today's Matroska: walker (unknown sizes, damaged data) ---
    // Where a master of unknown size that begins its payload at from ends:
    // at the first element that can stand neither in it nor in an
    // unknown-sized master opened within it, or at limit. Reads headers only.
    quint64 unknownSizeEnd(quint32 id, quint64 from, quint64 limit);
    // A scan that met masters of its own ID and unknown size one in another
    // (ChapterAtoms, SimpleTags): where the payload of each begins, and where
    // the scan ended, at the limit or at an element. Each of those masters
    // ends there too (or at a nearer limit), and is not scanned again: the
    // runs being walked, outermost first.
    struct UnknownRun
    {
        quint32 id;
        quint64 end;
        bool endsAtLimit;
        std::vector<quint64> starts;
        size_t next; // the first start the walk has not reached
    };
    std::vector<UnknownRun> m_unknownRuns;
    // The ID of the innermost master being walked, 0 at the top level.
    quint32 m_parentId = 0;
    // How many bytes of damaged data begin at start: up to the next place in
    // the master being walked where an element may begin, or its end.
    quint64 damagedLength(quint64 start);
    // The ID bytes of the headers that must fit where the walk goes on,
    // unless the master ends first.
    static constexpr int ResyncIdBytes = 5;
    bool resyncFits(quint64 position, quint64 end);
    static constexpr quint64 PeekLength = 12; // a 4-byte ID and an 8-byte size field
    void peek(quint64 position, quint64 candidate, unsigned char *bytes);
    // The resync's read-ahead: m_resyncLength bytes from m_resyncStart,
    // m_resyncAhead (at most ResyncAheadMax) of them read at a time.
    static constexpr quint64 ResyncAheadMax = 1 << 20;
    std::unique_ptr<unsigned char[]> m_resync;
    quint64 m_resyncStart = 0;
    quint64 m_resyncLength = 0;
    quint64 m_resyncAhead = 0;
    void loadResync(quint64 position);

    // --- Today's Matroska: blocks (lacing, keyframes, times) ---
    // The Timestamp of the Cluster being walked, in ticks; unknown until
    // the Cluster's Timestamp element is read.
    quint64 m_clusterTimestamp = 0;
    bool m_clusterTimestampKnown = false;
    // The children of the BlockGroup opened last, and whether one of them
    // is a ReferenceBlock: a Block among them without one is a keyframe.
    quint64 m_groupStart = 0;
    quint64 m_groupEnd = 0;
    bool m_groupHasReference = false;
    int parseCluster(ElementMKV *element);
    int parseClusterTimestamp(ElementMKV *element);
    int parseBlockGroup(ElementMKV *element);
    int parseBlockTicks(ElementMKV *element);
    // Ticks as a time at the Segment's TimestampScale, valid until the next
    // call; empty when the time does not fit 64 bits.
    const QString &ticksTime(qint64 ticks);
    QString m_timeText;
    quint64 m_timeSecond = 0; // the whole seconds that m_timeText shows
    bool m_timeNegative = false;
    // The LaceCount, LaceSize and frame rows of a laced block's data; cut
    // says whether the end of the input cuts its lace header.
    int parseLacing(int lacing, quint64 offset, quint64 size, bool *cut);

    // --- Today's Matroska: meanings of values ---
    // Nanoseconds per tick of the Segment being walked (its TimestampScale).
    quint64 m_timestampScale = 1000000;
    int parseTimestampScale(ElementMKV *element);
    // A time as HH:MM:SS.nnnnnnnnn, with a '-' before a negative one.
    static QString timeText(qint64 nanoseconds);
    // Writes the time's characters to end at end, and returns where they
    // begin: at most TimeTextMax of them.
    static constexpr int TimeTextMax = 32;
    static char16_t *writeTime(char16_t *end, qint64 nanoseconds);
    // An 8-byte date, nanoseconds from 2001-01-01T00:00:00 UTC, in ISO 8601.
    static QString dateText(qint64 nanoseconds);
    // The schema label of an integer value of the element of that ID, or
    // the empty text.
    static QString enumerationLabel(quint32 id, quint64 value);
    // "cut: N of M bytes shown" when the dialect says so and fewer bytes
    // than the payload's are shown, else the empty text.
    QString cutMeaning(const ElementMKV *element, quint64 shown) const;
    static QString hexText(const char *bytes, quint64 size);
    bool readSInteger(const ElementMKV *element, qint64 *value);
    bool readFloat(const ElementMKV *element, double *value); // false unless 4 or 8 bytes
    // Value handlers whose rows carry a meaning.
    int parseDuration(ElementMKV *element); // float ticks
    int parseDateUTC(ElementMKV *element);
    int parseNanoseconds(ElementMKV *element); // unsigned
    int parseSignedNanoseconds(ElementMKV *element);
    int parseTicks(ElementMKV *element);           // unsigned ticks of m_timestampScale
    int parseEnumeration(ElementMKV *element);     // integer labels
    int parseTextEnumeration(ElementMKV *element); // string labels
    int parseSeekID(ElementMKV *element);          // the name of the ID it holds

    int m_nesting = 0;                 // masters entered by the current walk
    quint64 m_parentEnd = ~quint64(0); // end of the innermost enclosing master
};

// Entry points, exported under their plain names for the host's resolver.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
extern "C" {
VANTOREL_MKV_EXPORT ContainerAbstract *createParser();
VANTOREL_MKV_EXPORT QStringList supportedExtensions();
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
