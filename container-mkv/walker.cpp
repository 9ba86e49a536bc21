// SPDX-License-Identifier: MIT
// The element walker: one call reads one element at currentPosition, reports
// it as a node with its "id" and "size" rows, and walks a master's children
// by calling itself once per child.
#include "containermkv.h"
#include "ebmldecoder.h"
#include "matroskaschema.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

const QString &unknownElementText()
{
    static const QString text = QStringLiteral("Unknown element!");
    return text;
}

const QString &nestingTooDeepText()
{
    static const QString text = QStringLiteral("Nesting too deep!");
    return text;
}

const QString &headerCutText()
{
    static const QString text = QStringLiteral("Header is cut by the end of the file!");
    return text;
}

const QString &unknownNameText()
{
    static const QString text = QStringLiteral("Unknown");
    return text;
}

const QString &damagedDataText()
{
    static const QString text = QStringLiteral("Damaged data");
    return text;
}

namespace Id = MatroskaSchema::Id;

const QString &unknownSizeText()
{
    static const QString text = QStringLiteral("unknown");
    return text;
}

// Whether a payload of size bytes suits the element's type and the length
// that the schema gives it.
bool sizeSuits(const MatroskaSchema::Element &element, quint64 size)
{
    switch (element.type) {
    case MatroskaSchema::UInteger:
    case MatroskaSchema::SInteger:
        if (size > 8)
            return false;
        break;
    case MatroskaSchema::Float:
        if (size != 0 && size != 4 && size != 8)
            return false;
        break;
    case MatroskaSchema::Date:
        if (size != 0 && size != 8)
            return false;
        break;
    default: break;
    }
    return size >= element.minLength && size <= element.maxLength;
}

// Whether an element may stand in a master, as the schema says; an ID that
// the schema does not know ends no master.
bool mayHold(quint32 parentId, quint32 childId)
{
    const MatroskaSchema::Element *child = MatroskaSchema::find(childId);
    return !child || child->mayStandIn(parentId);
}

} // namespace

const ContainerMKV::RowTexts ContainerMKV::Texts = {
    QStringLiteral("id"),          QStringLiteral("size"),     QStringLiteral("value"),
    QStringLiteral("TrackNumber"), QStringLiteral("Timecode"), QStringLiteral("Timestamp"),
    QStringLiteral("Flags"),       QStringLiteral("data"),     QString(),
};

void ContainerMKV::seekTo(quint64 position)
{
    // Claimed sizes can put a position past what a qint64 holds; such a
    // position is past the end of any input all the same.
    const quint64 last = quint64(std::numeric_limits<qint64>::max());
    dataSource->seek(qint64(position < last ? position : last));
}

quint64 ContainerMKV::bytesLeftAt(quint64 position) const
{
    const qint64 size = dataSource->size();
    return size > 0 && position < quint64(size) ? quint64(size) - position : 0;
}

int ContainerMKV::loadPayload(quint64 count, Payload *payload)
{
    const quint64 n = qMin(count, bytesLeftAt(quint64(dataSource->pos())));
    if (n > quint64(std::numeric_limits<qint64>::max()))
        return StatusNoMemory;
    payload->bytes.reset(new (std::nothrow) char[size_t(n) + 1]);
    if (!payload->bytes)
        return StatusNoMemory;
    const qint64 read = n ? dataSource->readBytes(payload->bytes.get(), qint64(n)) : 0;
    payload->size = read > 0 ? quint64(read) : 0;
    payload->bytes[size_t(payload->size)] = '\0';
    return StatusDone;
}

// Reads the element's header at currentPosition into the record, opens its
// node and adds its "id" and "size" rows, unless the header is damaged data.
// Kept out of parseElement, which recurses, so that each level of nesting
// costs little stack.
Q_NEVER_INLINE ContainerMKV::RecordKind ContainerMKV::beginRecord(ElementMKV *record)
{
    const quint64 start = currentPosition;
    quint32 id = 0;
    quint8 idLength = 0;
    // An ID over 4 bytes leaves idLength 0 and is never looked up.
    const bool idRead = getID(&id, &idLength) == StatusDone;

    seekTo(start + idLength);
    quint64 size = 0;
    quint8 sizeLength = 0;
    getEBMLelement(&size, &sizeLength);
    seekTo(start + idLength + sizeLength);

    const bool known = idRead && searchID(id, record) == StatusDone;
    // No element begins with an ID over four bytes (a first byte under 0x10,
    // zero among them), a size field whose first byte is zero, or an ID that
    // no schema knows claiming more than its master holds.
    const quint64 end = qMin(m_parentEnd, quint64(qMax<qint64>(dataSource->size(), 0)));
    if (m_dialect.damagedData && start < end) {
        const quint64 room = end - start;
        const quint64 header = quint64(idLength) + sizeLength;
        if (!idRead || (idLength < room && size >= (quint64(1) << 56))
            || (!known && header <= room && size > room - header)) {
            seekTo(start);
            return RecordDamaged;
        }
    }
    // Nor is a header read from bytes past the end of the input.
    if (m_dialect.cutHeaders && idRead && quint64(idLength) + sizeLength > bytesLeftAt(start))
        return beginCutRecord(record, known, id, idLength, sizeLength);
    m_elementId = idRead ? id : 0;
    record->elementOffset = start;
    record->dataOffset = start + idLength + sizeLength;
    record->dataSize = size;
    // A master whose size bits are all ones has an unknown size (RFC 8794,
    // 6.2); its extent is found ahead of its walk.
    const bool unknownSize = m_dialect.unknownSizes && known && record->type == Master
        && EbmlDecoder::unknownSize(size, sizeLength);
    if (unknownSize) {
        // A master that its parent cuts within its header holds nothing, and
        // reaches past the parent's end.
        const quint64 found = unknownSizeEnd(id, record->dataOffset, end);
        record->dataSize = found > record->dataOffset ? found - record->dataOffset : 0;
        seekTo(record->dataOffset);
    }
    // A size field holds less than 2^57, so this cannot wrap.
    record->elementSize = idLength + sizeLength + record->dataSize;

    // Hosts learn each element's ID through the tag.
    const quint8 idCode = rowCode(idRead ? RowKind::Id : RowKind::Data);
    const qint64 idTag = rowTag(idRead ? qint64(id) : -1);
    beginElement(start, record->elementSize, record->name, idTag);
    if (m_dialect.showsUnknownIds && idRead && !known)
        addField(false, start, idCode, idLength, Texts.id, record->name, Texts.none,
                 QLatin1String("0x") + QString::number(id, 16).toUpper(), idTag);
    else
        addField(false, start, idCode, idLength, Texts.id, record->name, Texts.none, Texts.none,
                 idTag);
    const int base = numberBase >= 2 && numberBase <= 36 ? numberBase : 10;
    addField(false, start + idLength, rowCode(RowKind::Size), sizeLength, Texts.size,
             base == 10 ? decimal(size) : QString::number(size, base), Texts.none,
             unknownSize ? unknownSizeText() : Texts.none, rowTag(qint64(size)));
    return known ? RecordKnown : RecordUnknown;
}

Q_NEVER_INLINE ContainerMKV::RecordKind ContainerMKV::beginCutRecord(ElementMKV *record, bool known,
                                                                     quint32 id, quint8 idLength,
                                                                     quint8 sizeLength)
{
    const quint64 start = currentPosition;
    const quint64 there = bytesLeftAt(start);
    // An ID that the end cuts names no element. The element is as long as
    // the shortest header its bytes allow (a size field of one byte when
    // even its first is missing), which reaches past the end.
    const bool idWhole = there >= idLength;
    const quint64 length = quint64(idLength) + (there > idLength ? sizeLength : 1);
    m_elementId = idWhole ? id : 0;
    record->elementOffset = start;
    record->elementSize = length;
    record->dataOffset = start + length;
    record->dataSize = 0;
    if (!idWhole || !known)
        record->name = unknownNameText();
    beginElement(start, length, record->name, rowTag(idWhole ? qint64(id) : -1));
    if (idWhole)
        addField(false, start, rowCode(RowKind::Id), idLength, Texts.id, record->name, Texts.none,
                 known ? QString() : QLatin1String("0x") + QString::number(id, 16).toUpper(),
                 rowTag(qint64(id)));
    else
        addCutField(start, there, Texts.id);
    if (there > idLength)
        addCutField(start + idLength, there - idLength, Texts.size);
    annotateElement(headerCutText());
    seekTo(start);
    return RecordCut;
}

void ContainerMKV::addCutField(quint64 offset, quint64 length, const QString &name)
{
    seekTo(offset);
    Payload payload;
    loadPayload(qMin(length, binaryLimit), &payload);
    addField(false, offset, rowCode(RowKind::Data), length, name,
             hexText(payload.bytes.get(), payload.size), Texts.none,
             payload.size < length
                 ? QStringLiteral("cut: %1 of %2 bytes shown").arg(payload.size).arg(length)
                 : QString(),
             -1);
}

Q_NEVER_INLINE quint64 ContainerMKV::unknownSizeEnd(quint32 id, quint64 from, quint64 limit)
{
    // Runs the walk has left behind: it only moves forward.
    while (!m_unknownRuns.empty() && m_unknownRuns.back().end < from)
        m_unknownRuns.pop_back();
    for (auto run = m_unknownRuns.rbegin(); run != m_unknownRuns.rend(); ++run) {
        if (run->id != id)
            continue;
        while (run->next < run->starts.size() && run->starts[run->next] < from)
            ++run->next;
        if (run->next == run->starts.size() || run->starts[run->next] != from)
            continue;
        // From here the scan of the run went on as this one would: it ends
        // where the run does, or at a nearer limit.
        if (limit <= run->end)
            return limit;
        if (!run->endsAtLimit)
            return run->end;
    }

    // The unknown-sized masters the scan is in, innermost last. A run of one
    // recursive ID takes one place: each would end at the same element. The
    // schema nests distinct masters far less deep than this.
    constexpr int Depth = 16;
    quint32 open[Depth] = {id};
    int depth = 1;
    UnknownRun *run = nullptr;
    quint64 p = from;
    const auto done = [&](quint64 at, bool atLimit) {
        if (run) {
            run->end = at;
            run->endsAtLimit = atLimit;
        }
        return at;
    };
    while (p < limit) {
        const Header h = readHeader(p);
        if (!h.idRead)
            return done(p, false);
        while (depth > 0 && !mayHold(open[depth - 1], h.id))
            --depth;
        if (depth == 0)
            return done(p, false);
        const ElementMKV *child = m_dialect.catalogue->value(h.id, nullptr);
        if (child && child->type == Master && h.unknownSize()) {
            if (open[depth - 1] != h.id) {
                if (depth == Depth)
                    return done(p, false);
                open[depth++] = h.id;
            } else if (depth == 1) {
                // A master of this ID, within the run: its scan would begin
                // here as this one goes on. Only levels the walk may enter
                // are noted.
                if (!run) {
                    m_unknownRuns.push_back(UnknownRun {id, limit, true, {}, 0});
                    run = &m_unknownRuns.back();
                }
                if (run->starts.size() <= size_t(MaxNesting))
                    run->starts.push_back(p + h.length());
            }
            p += h.length();
        } else {
            // A size field holds less than 2^57: this cannot wrap.
            if (h.size >= limit - p || h.length() + h.size > limit - p)
                return done(limit, true);
            p += h.length() + h.size;
        }
    }
    return done(limit, true);
}

// The payload of an element that is not a master.
Q_NEVER_INLINE int ContainerMKV::parsePayload(ElementMKV *record, bool known)
{
    if (!known) {
        const int status = parseUnknownObject(record->dataOffset, record->dataSize);
        note(unknownElementText(), NoteKind::UnknownElement);
        return status;
    }
    seekTo(record->dataOffset);
    return record->handler ? (this->*record->handler)(record) : reportValue(record);
}

Q_ALWAYS_INLINE int ContainerMKV::walkChildren(ElementMKV *record)
{
    const quint32 enclosingId = m_parentId;
    m_parentId = m_elementId;
    int status = StatusDone;
    if (record->handler)
        status = (this->*record->handler)(record);

    // Children end with their master, and never past the master that holds
    // it: every byte is walked once, however far a size field reaches. Nor
    // past the end of the input: a master that claims more than the file
    // holds (unknown sizes, cut files) ends there, with no element read from
    // the zeros beyond it.
    const quint64 end = qMin(qMin(record->elementOffset + record->elementSize, m_parentEnd),
                             quint64(qMax<qint64>(dataSource->size(), 0)));
    const quint64 enclosingEnd = m_parentEnd;
    m_parentEnd = end;
    ++m_nesting;
    quint64 p = record->dataOffset;
    while (p < end) {
        currentPosition = p;
        seekTo(p);
        quint64 childLength = 0;
        status = parseElement(&childLength);
        if (childLength >= end - p)
            break;
        p += childLength;
    }
    --m_nesting;
    m_parentEnd = enclosingEnd;
    m_parentId = enclosingId;
    return status;
}

int ContainerMKV::parseElement(quint64 *length)
{
    ElementMKV record;
    const RecordKind kind = beginRecord(&record);
    if (kind == RecordDamaged) {
        // Bytes that can begin no element are skipped as one node, up to
        // where an element may begin again.
        const quint64 start = currentPosition;
        const quint64 skipped = damagedLength(start);
        beginElement(start, skipped, damagedDataText(), -1);
        addField(false, start, rowCode(RowKind::Data), skipped, Texts.data, Texts.none, Texts.none,
                 Texts.none, -1);
        note(QStringLiteral("Skipped %1 bytes that are no element.").arg(skipped),
             NoteKind::DamagedData);
        endElement();
        seekTo(start);
        *length = skipped;
        return StatusDone;
    }
    const bool known = kind == RecordKnown;
    *length = record.elementSize;

    int status = StatusDone;
    if (kind == RecordCut) {
        // Its header is all that the input holds of it.
    } else if (known && record.type == Master) {
        if (m_nesting >= MaxNesting) {
            annotateElement(nestingTooDeepText());
            record.description.clear();
        } else {
            status = walkChildren(&record);
        }
    } else {
        status = parsePayload(&record, known);
    }
    if (known && !record.description.isEmpty())
        annotateElement(record.description);

    endElement();
    currentPosition = record.elementOffset;
    seekTo(record.elementOffset);
    return status;
}

int ContainerMKV::parseUnknownObject(quint64 offset, quint64 size)
{
    if (!showUnknown || size == 0)
        return StatusDone;
    const quint64 n = qMin(size, binaryLimit);
    Payload payload;
    if (loadPayload(n, &payload) != StatusDone)
        return StatusNoMemory;
    // Printable ASCII and DEL stay; everything else shows as a dot. Only the
    // bytes the input delivered are shown.
    QString text(qsizetype(payload.size), Qt::Uninitialized);
    QChar *out = text.data();
    for (quint64 i = 0; i < payload.size; ++i) {
        const auto byte = static_cast<unsigned char>(payload.bytes[size_t(i)]);
        out[i] = QLatin1Char(byte < 0x20 || byte >= 0x80 ? '.' : char(byte));
    }
    addField(false, offset, rowCode(RowKind::Value), n, Texts.value, text, Texts.none, Texts.none,
             -1);
    return StatusDone;
}

// Whether an element begins at position: it and the elements after it in the
// file (a master's first child, else what follows the element) are each of
// the schema and of some version of the format, stand in their master, fit
// in it and have a size that their type allows (a block: that of a known
// track), two of them at least and until their IDs add up to ResyncIdBytes,
// or up to the end of the master being walked. A CRC-32 stands only first in
// a master, and the walk does not go on from a Void: padding may hold
// anything, and one that ends where an element begins is no sign that it
// begins an element itself. Frame data hits a short ID of the schema every
// few dozen bytes, a chain of five rarely; a four-byte ID needs one more
// element.
bool ContainerMKV::resyncFits(quint64 position, quint64 end)
{
    struct Level
    {
        quint32 id;
        quint64 end;
        bool unknownSize;
    };
    Level levels[ResyncIdBytes + 1] = {{m_parentId, end, false}};
    int depth = 0, idBytes = 0;
    const quint64 inputEnd = bytesLeftAt(0);
    quint64 p = position;
    bool firstChild = false;
    for (int n = 0; n < 2 || idBytes < ResyncIdBytes; ++n) {
        while (depth > 0 && p == levels[depth].end)
            --depth;
        if (p == levels[depth].end || p >= inputEnd)
            return true;
        unsigned char bytes[PeekLength];
        peek(p, position, bytes);
        const Header h = headerOf(bytes);
        const MatroskaSchema::Element *element
            = h.idRead && h.sizeRead() ? MatroskaSchema::find(h.id) : nullptr;
        if (!element || element->maxVersion == 0 || !sizeSuits(*element, h.size)
            || (h.id == Id::Crc32 && !firstChild) || (h.id == Id::Void && n == 0))
            return false;
        if ((h.id == Id::SimpleBlock || h.id == Id::Block) && !trackTypes.isEmpty()) {
            // The track number, then a timecode and flags.
            peek(p + h.length(), position, bytes);
            quint8 length = 0;
            const quint64 track = numberOf(bytes, &length);
            if (h.size < length + 3u || !trackTypes.contains(track))
                return false;
        }
        const bool unknownSize = element->type == Master && h.unknownSize();
        // An element of the Segment or the top level with a four-byte ID may
        // begin where the master being walked claims to go on: it is taken
        // wherever it ends, and ends the chain when another comes first.
        const bool segmentLevel = h.idLength == 4
            && (element->parent == MatroskaSchema::TopLevel || element->parent == Id::Segment);
        if (n == 0 && segmentLevel) {
            levels[0] = {element->parent, inputEnd, false};
        } else {
            while (depth > 0 && levels[depth].unknownSize && !element->mayStandIn(levels[depth].id))
                --depth;
            if (!element->mayStandIn(levels[depth].id))
                return depth == 0 && segmentLevel;
            const quint64 room = levels[depth].end - p;
            if (!unknownSize && (h.length() > room || h.size > room - h.length()))
                return false;
        }
        idBytes += h.idLength;
        firstChild = element->type == Master;
        if (firstChild) {
            const quint64 masterEnd
                = unknownSize ? levels[depth].end : p + h.length() + h.size; // below 2^58
            levels[++depth] = {h.id, masterEnd, unknownSize};
            p += h.length();
        } else {
            p += h.length() + h.size;
        }
    }
    return true;
}

// The PeekLength bytes at position (zeros past the end of the input): from
// the resync's read-ahead, which is read again from the candidate on when
// they lie within half of it, else read alone without moving the device's
// window.
void ContainerMKV::peek(quint64 position, quint64 candidate, unsigned char *bytes)
{
    const quint64 wanted = qMin<quint64>(PeekLength, bytesLeftAt(position));
    std::memset(bytes, 0, PeekLength);
    const auto held = [&] {
        return position >= m_resyncStart && position - m_resyncStart + wanted <= m_resyncLength;
    };
    if (!held() && position - candidate < m_resyncAhead / 2)
        loadResync(candidate);
    if (held())
        std::memcpy(bytes, m_resync.get() + (position - m_resyncStart), size_t(wanted));
    else if (wanted > 0)
        dataSource->readDirect(qint64(position), reinterpret_cast<char *>(bytes), qint64(wanted));
}

void ContainerMKV::loadResync(quint64 position)
{
    if (!m_resync)
        m_resync.reset(new unsigned char[size_t(ResyncAheadMax)]);
    seekTo(position);
    const qint64 n = dataSource->readBytes(reinterpret_cast<char *>(m_resync.get()),
                                           qint64(qMin(m_resyncAhead, bytesLeftAt(position))));
    m_resyncStart = position;
    m_resyncLength = n > 0 ? quint64(n) : 0;
}

Q_NEVER_INLINE quint64 ContainerMKV::damagedLength(quint64 start)
{
    const quint64 end = qMin(m_parentEnd, quint64(qMax<qint64>(dataSource->size(), 0)));
    // The scan reads forward, ahead of the candidate about twice as far as it
    // has come (a page at least, ResyncAheadMax at most), and looks closer only
    // where an ID of the schema begins.
    m_resyncStart = m_resyncLength = 0;
    quint64 found = end;
    for (quint64 q = start + 1; q < end; ++q) {
        m_resyncAhead = qBound<quint64>(4096, 2 * (q - start), ResyncAheadMax);
        // The bytes of an ID that ends by the end of the master.
        const quint64 idBytes = qMin<quint64>(4, end - q);
        if (q < m_resyncStart || q - m_resyncStart + idBytes > m_resyncLength) {
            loadResync(q);
            if (m_resyncLength == 0)
                break;
        }
        const unsigned char *b = m_resync.get() + (q - m_resyncStart);
        const quint64 there = qMin(idBytes, m_resyncLength - (q - m_resyncStart));
        quint32 id = 0;
        if (!EbmlDecoder::readId(b, qint64(there), &id))
            continue;
        if (MatroskaSchema::find(id) && resyncFits(q, end)) {
            found = q;
            break;
        }
    }
    seekTo(start);
    return found - start;
}
