// SPDX-License-Identifier: MIT
// Block and SimpleBlock headers: track number, timecode and flags as rows,
// the rest of the payload as the block's data, which is never loaded. Blocks
// of video tracks are registered as the next frame of their stream. In
// today's Matroska, block times, lace headers and the keyframes of
// BlockGroups (RFC 9559 sections 10 and 11) too.
#include "containermkv.h"
#include "ebmldecoder.h"
#include "matroskaids.h"

#include <QtNumeric>

#include <limits>

namespace {

enum Lacing { NoLacing = 0, XiphLacing = 1, FixedLacing = 2, EbmlLacing = 3 };

// A lace header read a few bytes at a time, never past its end: the reads
// stay within the input device's window and no buffer follows a size field.
class LaceHeader
{
public:
    LaceHeader(InputDevice *device, quint64 offset, quint64 end)
        : m_device(device)
        , m_next(offset)
        , m_end(end)
    {
        if (offset < end)
            device->seek(qint64(offset));
    }

    quint64 position() const { return m_next - quint64(m_have - m_at); }
    // Whether a read found no byte left before the end.
    bool ranShort() const { return m_short; }

    bool next(quint8 *byte)
    {
        if (m_at == m_have) {
            m_short = m_next >= m_end;
            if (m_short)
                return false;
            const qint64 n = qint64(qMin<quint64>(sizeof m_bytes, m_end - m_next));
            const qint64 got = m_device->readBytes(reinterpret_cast<char *>(m_bytes), n);
            m_short = got <= 0;
            if (m_short)
                return false;
            m_next += quint64(got);
            m_have = int(got);
            m_at = 0;
        }
        *byte = m_bytes[m_at++];
        return true;
    }

    // The bytes of an EBML number into bytes, and their count: 0 for a first
    // byte of 0 or a number cut by the end.
    int number(unsigned char *bytes)
    {
        if (!next(&bytes[0]))
            return 0;
        const int n = EbmlDecoder::length(bytes[0]);
        for (int i = 1; i < n; ++i) {
            if (!next(&bytes[i]))
                return 0;
        }
        return n;
    }

private:
    InputDevice *m_device;
    quint64 m_next; // the position of the next byte to fetch
    quint64 m_end;
    unsigned char m_bytes[8] = {};
    int m_have = 0;
    int m_at = 0;
    bool m_short = false;
};

const QString &laceCountText()
{
    static const QString text = QStringLiteral("LaceCount");
    return text;
}

const QString &laceSizeText()
{
    static const QString text = QStringLiteral("LaceSize");
    return text;
}

const QString &frameText()
{
    static const QString text = QStringLiteral("frame");
    return text;
}

const QString &lacesMisfitText()
{
    static const QString text = QStringLiteral("Lace sizes do not fit the block!");
    return text;
}

// Names of lacing codes 1 to 3, shared by all parsers; creation is
// thread-safe and they live until the library is unloaded.
const QString &lacingName(int code)
{
    static const QString names[] = {
        QString(),
        QStringLiteral("Xiph"),
        QStringLiteral("Fixed-size"),
        QStringLiteral("EBML"),
    };
    return names[code & 3];
}

QString flagWords(quint8 flags)
{
    QString text;
    if (flags & 0x80)
        text += QLatin1String("Keyframe. ");
    if (flags & 0x08)
        text += QLatin1String("Invisible. ");
    const int lacing = (flags >> 1) & 3;
    if (lacing)
        text += lacingName(lacing) + QLatin1String(" lacing. ");
    if (flags & 0x01)
        text += QLatin1String("Discardable.");
    return text;
}

const QString &blockCutText()
{
    static const QString text = QStringLiteral("Block is cut by the end of the file!");
    return text;
}

const QString &shortBlockText()
{
    static const QString text = QStringLiteral("Block is shorter than its header!");
    return text;
}

} // namespace

int ContainerMKV::parseBlock(ElementMKV *element)
{
    const quint64 offset = element->dataOffset;
    const quint64 size = element->dataSize;

    quint64 track = 0;
    quint8 l = 0;
    getEBMLelement(&track, &l);

    // A payload shorter than its header shows only the fields that lie in
    // it; its data length would wrap below zero, so it has no data row and
    // is never registered as a frame.
    // Fields that the input's end cuts are Data rows in today's Matroska,
    // with the bytes that the input holds; the block goes no further.
    const quint64 held = bytesLeftAt(offset);
    const bool cut = m_dialect.cutHeaders && held < qMin(size, quint64(l) + 3);
    const auto field = [&](quint64 from, quint64 length, RowKind kind, const QString &name,
                           const QString &value, const QString &meaning, qint64 number) {
        if (!cut || held >= from + length)
            addNumberField(offset + from, kind, length, name, value, meaning, held >= from + length,
                           number);
        else if (held > from)
            addCutField(offset + from, held - from, name);
    };
    if (size >= l)
        field(0, l, RowKind::TrackNumber, Texts.trackNumber, decimal(qint64(track)), Texts.none,
              qint64(track));
    if (size >= quint64(l) + 2) {
        seekTo(offset + l);
        unsigned char timecode[2] = {};
        dataSource->readBytes(reinterpret_cast<char *>(timecode), 2);
        swapByteOrder(timecode, 2);
        const int value = qint16(quint16(timecode[0] | (timecode[1] << 8)));
        // The block's time, when its Cluster's is known (a handler of
        // today's Matroska reads it).
        const QString *time = &Texts.none;
        qint64 ticks = 0;
        if (m_clusterTimestampKnown
            && m_clusterTimestamp <= quint64(std::numeric_limits<qint64>::max())
            && !qAddOverflow(qint64(m_clusterTimestamp), qint64(value), &ticks))
            time = &ticksTime(ticks);
        field(l, 2, RowKind::Timecode, *m_dialect.blockTimeName, decimal(qint64(value)), *time,
              value);
    }
    if (size < quint64(l) + 3) {
        note(shortBlockText(), NoteKind::ShortBlock);
        if (cut)
            annotateElement(blockCutText());
        seekTo(offset);
        return StatusLengthRefused;
    }

    seekTo(offset + l + 2);
    char flagsByte = 0;
    dataSource->readBytes(&flagsByte, 1);
    const auto flags = quint8(flagsByte);
    field(quint64(l) + 2, 1, RowKind::Flags, Texts.flags, decimal(qint64(qint8(flags))),
          flagWords(flags), flags);
    if (cut) {
        annotateElement(blockCutText());
        seekTo(offset);
        return StatusDone;
    }

    const quint64 dataOffset = offset + l + 3;
    const quint64 dataSize = size - l - 3;
    seekTo(dataOffset);
    addField(false, dataOffset, rowCode(RowKind::Data), dataSize, Texts.data, Texts.none,
             Texts.none, Texts.none, -1);

    // Today's Matroska: a Block's flags hold no keyframe bit; its BlockGroup
    // tells. Laced data shows its frames.
    bool keyframe = flags & 0x80;
    int status = StatusDone;
    bool lacesCut = false;
    if (m_dialect.blockDetails) {
        if (m_elementId == MatroskaSchema::Id::Block)
            keyframe = element->elementOffset >= m_groupStart && element->elementOffset < m_groupEnd
                && !m_groupHasReference;
        if (flags & 0x06)
            status = parseLacing((flags >> 1) & 3, dataOffset, dataSize, &lacesCut);
        seekTo(dataOffset);
    }

    // A block whose header the input does not hold whole (a cut file) is no
    // frame: its flags would be made up of missing bytes, its lace sizes
    // unknown.
    const bool headerInInput = held >= quint64(l) + 3 && !lacesCut;
    if (headerInInput && trackTypes.value(track, 0) == 1) {
        frameKeyframe = keyframe ? 1 : 0;
        frameOffset = dataOffset;
        frameSize = dataSize;
        const qsizetype index = m_videoStreams.value(track, -1);
        if (index >= 0) {
            quint64 number = 0;
            if (!frameCounters.isEmpty()) {
                // Streams past the host's counters get counters of their own,
                // made when the first block past the last counter comes.
                if (frameCounters.size() <= index)
                    frameCounters.resize(index + 1);
                number = frameCounters[index];
            }
            addFrame(uint(index), number);
            if (!frameCounters.isEmpty())
                ++frameCounters[index];
        }
    }

    seekTo(offset);
    return status;
}

int ContainerMKV::parseLacing(int lacing, quint64 offset, quint64 size, bool *cut)
{
    // Up to 256 frames: the count byte holds the number less one.
    quint64 sizes[256];
    const quint64 held = bytesLeftAt(offset);
    LaceHeader header(dataSource, offset, offset + qMin(size, held));
    quint8 countByte = 0;
    bool fits = header.next(&countByte);
    const int frames = countByte + 1;
    if (fits)
        addField(false, offset, rowCode(RowKind::LaceCount), 1, laceCountText(),
                 decimal(quint64(frames)), Texts.none, Texts.none, rowTag(frames));
    // Sizes of all frames but the last, which takes what remains.
    quint64 total = 0;
    if (fits && lacing == FixedLacing) {
        fits = (size - 1) % quint64(frames) == 0;
        total = (size - 1) / quint64(frames) * quint64(frames - 1);
        for (int i = 0; i < frames - 1; ++i)
            sizes[i] = (size - 1) / quint64(frames);
    }
    quint64 field = offset; // where the size being read begins
    for (int i = 0; fits && lacing != FixedLacing && i < frames - 1; ++i) {
        field = header.position();
        quint64 value = 0;
        if (lacing == XiphLacing) {
            quint8 b = 255;
            while (fits && b == 255) {
                fits = header.next(&b);
                value += b;
            }
        } else {
            // The first size, then signed differences to the one before.
            // Both fit 57 bits.
            unsigned char bytes[8];
            const int n = header.number(bytes);
            qint64 difference = 0;
            if (i == 0) {
                fits = EbmlDecoder::readSize(bytes, n, &value) > 0;
            } else {
                fits = EbmlDecoder::readLaceDifference(bytes, n, &difference) > 0;
                const qint64 next = qint64(sizes[i - 1]) + difference;
                fits = fits && next >= 0;
                value = quint64(next);
            }
        }
        const quint64 remaining = size - (header.position() - offset);
        fits = fits && total <= remaining && value <= remaining - total;
        if (!fits)
            break;
        addField(false, field, rowCode(RowKind::LaceSize), header.position() - field,
                 laceSizeText(), decimal(value), Texts.none, Texts.none, rowTag(qint64(value)));
        sizes[i] = value;
        total += value;
    }
    const quint64 frameStart = header.position();
    if (fits && total > size - (frameStart - offset))
        fits = false;
    // Reads that the input's end stopped, before the block's: the header
    // is cut there, and shows the bytes of the field it cuts.
    *cut = !fits && header.ranShort() && held < size && m_dialect.cutHeaders;
    if (*cut) {
        if (offset + held > field)
            addCutField(field, offset + held - field, laceSizeText());
        annotateElement(blockCutText());
        return StatusDone;
    }
    if (!fits) {
        note(lacesMisfitText(), NoteKind::LacesMisfit);
        return StatusLengthRefused;
    }
    sizes[frames - 1] = size - (frameStart - offset) - total;
    quint64 p = frameStart;
    for (int i = 0; i < frames; ++i) {
        addField(false, p, rowCode(RowKind::Frame), sizes[i], frameText(), decimal(quint64(i)),
                 Texts.none, Texts.none, rowTag(i));
        p += sizes[i];
    }
    return StatusDone;
}

int ContainerMKV::parseCluster(ElementMKV *element)
{
    Q_UNUSED(element);
    m_clusterTimestampKnown = false;
    return StatusDone;
}

int ContainerMKV::parseClusterTimestamp(ElementMKV *element)
{
    m_clusterTimestampKnown = readUInteger(element, &m_clusterTimestamp);
    seekTo(element->dataOffset);
    return reportValue(element);
}

int ContainerMKV::parseBlockGroup(ElementMKV *element)
{
    // The ReferenceBlock mostly follows the Block: a look-ahead over the
    // children's headers, stepping as the walk will, finds it first.
    const quint64 end = qMin(qMin(element->elementOffset + element->elementSize, m_parentEnd),
                             quint64(qMax<qint64>(dataSource->size(), 0)));
    bool reference = false;
    for (quint64 p = element->dataOffset; p < end && !reference;) {
        const Header h = readHeader(p);
        reference = h.idRead && h.id == MatroskaSchema::Id::ReferenceBlock;
        const quint64 length = h.length() + h.size;
        if (length >= end - p)
            break;
        p += length;
    }
    m_groupStart = element->dataOffset;
    m_groupEnd = end;
    m_groupHasReference = reference;
    seekTo(element->dataOffset);
    return StatusDone;
}

int ContainerMKV::parseBlockTicks(ElementMKV *element)
{
    // BlockDuration counts unsigned ticks, ReferenceBlock signed ones.
    quint64 raw = 0;
    if (!readUInteger(element, &raw))
        return StatusLengthRefused;
    const auto n = unsigned(element->dataSize);
    qint64 ticks = qint64(raw);
    if (element->type == SInteger) {
        if (n > 0 && n < 8 && (raw >> (8 * n - 1)))
            ticks = qint64(raw) - (qint64(1) << (8 * n));
        addNumberRow(element, ticks, decimal(ticks), ticksTime(ticks));
    } else {
        addNumberRow(element, qint64(raw), decimal(raw),
                     raw <= quint64(std::numeric_limits<qint64>::max()) ? ticksTime(ticks)
                                                                        : Texts.none);
    }
    return StatusDone;
}
