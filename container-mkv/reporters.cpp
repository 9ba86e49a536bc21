// SPDX-License-Identifier: MIT
// Value reporters: each turns an element's payload into one "value" row. The
// row always spans the whole payload, also where fewer bytes were loaded.
#include "containermkv.h"

#include <QtNumeric>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// The first bytes up to a NUL, or all of them.
qsizetype lengthToNul(const char *bytes, quint64 size)
{
    const void *nul = std::memchr(bytes, 0, size_t(size));
    return nul ? static_cast<const char *>(nul) - bytes : qsizetype(size);
}

// Kept out of line, so that the shared texts cost few instructions.
Q_NEVER_INLINE QString makeDecimal(quint64 magnitude, bool negative)
{
    char digits[21];
    char *d = digits + sizeof digits;
    do {
        *--d = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative)
        *--d = '-';
    return QString::fromLatin1(d, qsizetype(digits + sizeof digits - d));
}

// Decimal texts of -65535 to 65535, which most rows show (sizes, track
// numbers, timecodes, flags), made once and shared without reference
// counting: slot i holds i right-aligned with a '-' just before its digits.
// Made per row instead, the text and JSON outputs of 367,000 small elements
// take 16 % more time (29 % more instructions: the texts are made, and a
// writer can no longer keep their encodings).
constexpr quint64 SharedNumbers = 65536;
constexpr int SlotWidth = 6;

const char16_t *numberSlots()
{
    static const std::unique_ptr<char16_t[]> table = [] {
        std::unique_ptr<char16_t[]> s(new char16_t[SharedNumbers * SlotWidth]);
        // Slot i is slot i / 10 moved left by one unit, with the last digit
        // of i after it; slots 0 to 9 are written out.
        for (quint64 i = 0; i < 10; ++i) {
            char16_t *slot = s.get() + i * SlotWidth;
            std::fill(slot, slot + SlotWidth - 2, u' ');
            slot[SlotWidth - 2] = u'-';
            slot[SlotWidth - 1] = char16_t(u'0' + i);
        }
        for (quint64 i = 10; i < SharedNumbers; ++i) {
            char16_t *slot = s.get() + i * SlotWidth;
            const char16_t *tenth = s.get() + (i / 10) * SlotWidth;
            std::memcpy(slot, tenth + 1, (SlotWidth - 1) * sizeof(char16_t));
            slot[SlotWidth - 1] = char16_t(u'0' + i % 10);
        }
        return s;
    }();
    return table.get();
}

inline QString sharedNumber(quint64 magnitude, bool negative)
{
    const int length = 1 + (magnitude >= 10) + (magnitude >= 100) + (magnitude >= 1000)
        + (magnitude >= 10000) + negative;
    const char16_t *end = numberSlots() + (magnitude + 1) * SlotWidth;
    return QString::fromRawData(reinterpret_cast<const QChar *>(end - length), length);
}

} // namespace

QString ContainerMKV::decimal(quint64 value)
{
    return value < SharedNumbers ? sharedNumber(value, false) : makeDecimal(value, false);
}

QString ContainerMKV::decimal(qint64 value)
{
    if (value >= 0)
        return decimal(quint64(value));
    const quint64 magnitude = ~quint64(value) + 1;
    return magnitude < SharedNumbers ? sharedNumber(magnitude, true) : makeDecimal(magnitude, true);
}

void ContainerMKV::addValueRow(const ElementMKV *element, const QString &value,
                               const QString &meaning)
{
    addField(false, element->dataOffset, rowCode(RowKind::Value), element->dataSize, Texts.value,
             value, Texts.none, meaning, -1);
}

void ContainerMKV::addNumberRow(const ElementMKV *element, qint64 number, const QString &value,
                                const QString &meaning)
{
    const bool whole = bytesLeftAt(element->dataOffset) >= element->dataSize;
    if (whole || !m_dialect.cutHeaders) {
        addNumberField(element->dataOffset, RowKind::Value, element->dataSize, Texts.value, value,
                       meaning, whole, number);
        return;
    }
    // A number that the input's end cuts shows the bytes it holds, as
    // binary data does.
    seekTo(element->dataOffset);
    Payload payload;
    loadPayload(qMin(element->dataSize, binaryLimit), &payload);
    addField(false, element->dataOffset, rowCode(RowKind::Data), element->dataSize, Texts.value,
             hexText(payload.bytes.get(), payload.size), Texts.none,
             cutMeaning(element, payload.size), -1);
}

qint64 ContainerMKV::doubleBits(double value)
{
    qint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool ContainerMKV::readUInteger(const ElementMKV *element, quint64 *value)
{
    // Matroska integers hold at most 8 bytes; a longer payload is refused
    // rather than read past the buffer.
    if (element->dataSize > 8)
        return false;
    unsigned char buffer[8] = {};
    const auto n = quint8(element->dataSize);
    dataSource->readBytes(reinterpret_cast<char *>(buffer), n);
    swapByteOrder(buffer, n);
    quint64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | buffer[i];
    *value = v;
    return true;
}

int ContainerMKV::reportValue(ElementMKV *element)
{
    switch (element->type) {
    case SInteger:
    case Date: return reportValueSInteger(element);
    case UInteger: return reportValueUInteger(element);
    case Float: return reportValueFloat(element);
    case String: return reportValueString(element);
    case UTF8: return reportValueUTF8(element);
    case Binary: return reportValueBinary(element);
    default: return StatusDone;
    }
}

bool ContainerMKV::readSInteger(const ElementMKV *element, qint64 *value)
{
    quint64 raw = 0;
    if (!readUInteger(element, &raw))
        return false;
    const auto n = unsigned(element->dataSize);
    *value = 0;
    if (n == 8)
        *value = qint64(raw);
    else if (n > 0)
        *value = (raw >> (8 * n - 1)) ? qint64(raw) - (qint64(1) << (8 * n)) : qint64(raw);
    return true;
}

int ContainerMKV::reportValueSInteger(ElementMKV *element)
{
    qint64 value = 0;
    if (!readSInteger(element, &value))
        return StatusLengthRefused;
    addNumberRow(element, value, decimal(value));
    return StatusDone;
}

int ContainerMKV::reportValueUInteger(ElementMKV *element)
{
    quint64 value = 0;
    if (!readUInteger(element, &value))
        return StatusLengthRefused;
    addNumberRow(element, qint64(value), decimal(value));
    return StatusDone;
}

bool ContainerMKV::readFloat(const ElementMKV *element, double *value)
{
    const quint64 n = element->dataSize;
    if (n != 4 && n != 8)
        return false;
    unsigned char input[8] = {};
    dataSource->readBytes(reinterpret_cast<char *>(input), qint64(n));
    // The payload is the big-endian bit pattern of the number. Assembled as
    // an integer, it is copied into the float whatever the host's byte order.
    static_assert(sizeof(float) == 4 && sizeof(double) == 8, "4-byte floats, 8-byte doubles");
    quint64 bits = 0;
    for (quint64 i = 0; i < n; ++i)
        bits = (bits << 8) | input[i];
    if (n == 4) {
        const auto bits32 = quint32(bits);
        float single = 0;
        std::memcpy(&single, &bits32, 4);
        *value = single;
    } else {
        std::memcpy(value, &bits, 8);
    }
    return true;
}

int ContainerMKV::reportValueFloat(ElementMKV *element)
{
    double value = 0;
    if (!readFloat(element, &value))
        return StatusLengthRefused;
    addNumberRow(element, doubleBits(value), QString::number(value, 'g', 6));
    return StatusDone;
}

int ContainerMKV::reportValueString(ElementMKV *element)
{
    // ASCII strings are shown whole. Matroska's are short (codec IDs,
    // languages, URLs); the cap only keeps a forged size field from making
    // the load as large as the file.
    const quint64 limit = qMax(binaryLimit, StringLoadLimit);
    Payload payload;
    if (loadPayload(qMin(element->dataSize, limit), &payload) != StatusDone)
        return StatusNoMemory;
    addValueRow(
        element,
        QString::fromLatin1(payload.bytes.get(), lengthToNul(payload.bytes.get(), payload.size)),
        cutMeaning(element, payload.size));
    return StatusDone;
}

int ContainerMKV::reportValueUTF8(ElementMKV *element)
{
    const quint64 limit = m_dialect.wholeTexts ? qMax(binaryLimit, StringLoadLimit) : binaryLimit;
    Payload payload;
    if (loadPayload(qMin(element->dataSize, limit), &payload) != StatusDone)
        return StatusNoMemory;
    addValueRow(
        element,
        QString::fromUtf8(payload.bytes.get(), lengthToNul(payload.bytes.get(), payload.size)),
        cutMeaning(element, payload.size));
    return StatusDone;
}

QString ContainerMKV::hexText(const char *bytes, quint64 size)
{
    static const char digits[] = "0123456789abcdef";
    QString text(qsizetype(2 * size), Qt::Uninitialized);
    QChar *out = text.data();
    for (quint64 i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[size_t(i)]);
        *out++ = QLatin1Char(digits[byte >> 4]);
        *out++ = QLatin1Char(digits[byte & 0x0F]);
    }
    return text;
}

int ContainerMKV::reportValueBinary(ElementMKV *element)
{
    Payload payload;
    if (loadPayload(qMin(element->dataSize, binaryLimit), &payload) != StatusDone)
        return StatusNoMemory;
    addValueRow(element, hexText(payload.bytes.get(), payload.size),
                cutMeaning(element, payload.size));
    return StatusDone;
}

int ContainerMKV::reportValueDate(ElementMKV *element)
{
    Q_UNUSED(element);
    return StatusDone;
}

int ContainerMKV::parseData(ElementMKV *element)
{
    // Attached files can be large: the row marks where the data lies.
    addValueRow(element, QString());
    return StatusDone;
}

int ContainerMKV::parseJunk(ElementMKV *element)
{
    if (!showJunk)
        return StatusDone;
    Payload payload;
    if (loadPayload(qMin(element->dataSize, binaryLimit), &payload) != StatusDone)
        return StatusNoMemory;
    addValueRow(
        element,
        QString::fromLatin1(payload.bytes.get(), lengthToNul(payload.bytes.get(), payload.size)),
        cutMeaning(element, payload.size));
    return StatusDone;
}

int ContainerMKV::parseTimestampScale(ElementMKV *element)
{
    quint64 scale = 0;
    // A scale of 0 would make every time 0: the default stays.
    if (readUInteger(element, &scale) && scale)
        m_timestampScale = scale;
    seekTo(element->dataOffset);
    return reportValue(element);
}

namespace {

// "00" to "99", two characters per number.
struct DigitPairs
{
    char16_t digits[200] = {};
    constexpr DigitPairs()
    {
        for (int i = 0; i < 100; ++i) {
            digits[2 * i] = char16_t(u'0' + i / 10);
            digits[2 * i + 1] = char16_t(u'0' + i % 10);
        }
    }
};
constexpr DigitPairs digitPairs;

inline void putPair(char16_t *at, quint32 value)
{
    at[0] = digitPairs.digits[2 * value];
    at[1] = digitPairs.digits[2 * value + 1];
}

// The nine digits of a fraction of a second, ending at end.
inline void putFraction(char16_t *end, quint32 fraction)
{
    end[-1] = char16_t(u'0' + fraction % 10);
    fraction /= 10;
    for (int i = 3; i <= 9; i += 2, fraction /= 100)
        putPair(end - i, fraction % 100);
}

} // namespace

char16_t *ContainerMKV::writeTime(char16_t *end, qint64 nanoseconds)
{
    // Two digits at a time: snprintf would take a third of the walk's time
    // on a file of small blocks, each with its time.
    const bool negative = nanoseconds < 0;
    const quint64 magnitude = negative ? ~quint64(nanoseconds) + 1 : quint64(nanoseconds);
    const quint64 seconds = magnitude / 1000000000;
    putFraction(end, quint32(magnitude % 1000000000));
    end[-10] = u'.';
    putPair(end - 12, quint32(seconds % 60));
    end[-13] = u':';
    putPair(end - 15, quint32(seconds / 60 % 60));
    end[-16] = u':';
    char16_t *d = end - 16;
    quint64 hours = seconds / 3600;
    do {
        d -= 2;
        putPair(d, quint32(hours % 100));
        hours /= 100;
    } while (hours);
    if (*d == u'0' && d < end - 18)
        ++d; // hours take at least two digits, and no more zeros than that
    if (negative)
        *--d = u'-';
    return d;
}

QString ContainerMKV::timeText(qint64 nanoseconds)
{
    char16_t text[TimeTextMax];
    char16_t *const end = text + TimeTextMax;
    const char16_t *start = writeTime(end, nanoseconds);
    return QString(reinterpret_cast<const QChar *>(start), qsizetype(end - start));
}

const QString &ContainerMKV::ticksTime(qint64 ticks)
{
    qint64 nanoseconds = 0;
    if (m_timestampScale > quint64(std::numeric_limits<qint64>::max())
        || qMulOverflow(ticks, qint64(m_timestampScale), &nanoseconds))
        return Texts.none;
    // Times of one second share all but the fraction's digits, which alone
    // are rewritten, in the text's own buffer unless a sink kept the text.
    const bool negative = nanoseconds < 0;
    const quint64 magnitude = negative ? ~quint64(nanoseconds) + 1 : quint64(nanoseconds);
    const quint64 second = magnitude / 1000000000;
    if (m_timeText.isDetached() && m_timeSecond == second && m_timeNegative == negative) {
        putFraction(reinterpret_cast<char16_t *>(m_timeText.data()) + m_timeText.size(),
                    quint32(magnitude % 1000000000));
        return m_timeText;
    }
    char16_t text[TimeTextMax];
    char16_t *const end = text + TimeTextMax;
    char16_t *const d = writeTime(end, nanoseconds);
    const auto length = qsizetype(end - d);
    if (m_timeText.isDetached() && m_timeText.capacity() >= length) {
        if (m_timeText.size() != length)
            m_timeText.resize(length);
        std::copy(d, end, reinterpret_cast<char16_t *>(m_timeText.data()));
    } else {
        // A resize of a shared text would grow its buffer each time.
        m_timeText = QString(reinterpret_cast<const QChar *>(d), length);
    }
    m_timeSecond = second;
    m_timeNegative = negative;
    return m_timeText;
}
