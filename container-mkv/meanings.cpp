// SPDX-License-Identifier: MIT
// Meanings of values in today's Matroska: times, dates, enumeration labels
// and the names behind seek IDs, each on its value row. Only the records of
// the modern catalogue use these handlers.
#include "containermkv.h"
#include "matroskaschema.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr qint64 NanosecondsPerSecond = 1000000000;
// Days from 1970-01-01 to 2001-01-01, the origin of Matroska dates.
constexpr qint64 DateOriginDays = 11323;

// The schema label of a string value, or null.
const char *textLabel(const MatroskaSchema::Element &element, const char *text, qsizetype size)
{
    for (int i = element.firstLabel; i < element.firstLabel + element.labelCount; ++i) {
        const MatroskaSchema::Label &label = MatroskaSchema::Labels[i];
        if (label.text && qsizetype(std::strlen(label.text)) == size
            && std::memcmp(label.text, text, size_t(size)) == 0)
            return label.label;
    }
    return nullptr;
}

} // namespace

QString ContainerMKV::enumerationLabel(quint32 id, quint64 value)
{
    const MatroskaSchema::Element *element = MatroskaSchema::find(id);
    const char *label = element ? MatroskaSchema::label(*element, value) : nullptr;
    return label ? QString::fromUtf8(label) : QString();
}

QString ContainerMKV::cutMeaning(const ElementMKV *element, quint64 shown) const
{
    if (!m_dialect.cutMeanings || shown >= element->dataSize)
        return QString();
    return QStringLiteral("cut: %1 of %2 bytes shown").arg(shown).arg(element->dataSize);
}

QString ContainerMKV::dateText(qint64 nanoseconds)
{
    qint64 seconds = nanoseconds / NanosecondsPerSecond;
    qint64 fraction = nanoseconds % NanosecondsPerSecond;
    if (fraction < 0) {
        fraction += NanosecondsPerSecond;
        --seconds;
    }
    qint64 days = seconds / 86400;
    qint64 secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    // The civil date of a day count, in the proleptic Gregorian calendar, by
    // 400-year eras that begin on 0000-03-01.
    const qint64 shifted = days + DateOriginDays + 719468;
    const qint64 era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const qint64 dayOfEra = shifted - era * 146097;
    const qint64 yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 monthFromMarch = (5 * dayOfYear + 2) / 153;
    const qint64 day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const qint64 month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const qint64 year = yearOfEra + era * 400 + (month <= 2);

    char text[48];
    int n = std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                          static_cast<long long>(year), static_cast<long long>(month),
                          static_cast<long long>(day), static_cast<long long>(secondOfDay / 3600),
                          static_cast<long long>(secondOfDay / 60 % 60),
                          static_cast<long long>(secondOfDay % 60));
    if (fraction) {
        n += std::snprintf(text + n, sizeof text - size_t(n), ".%09lld",
                           static_cast<long long>(fraction));
        while (text[n - 1] == '0')
            --n;
    }
    text[n++] = 'Z';
    return QString::fromLatin1(text, n);
}

int ContainerMKV::parseDuration(ElementMKV *element)
{
    double ticks = 0;
    if (!readFloat(element, &ticks))
        return StatusLengthRefused;
    // Only times a qint64 of nanoseconds holds; NaN fails the comparison.
    const double nanoseconds = std::round(ticks * double(m_timestampScale));
    const bool fits = std::fabs(nanoseconds) < 9.2e18;
    addNumberRow(element, doubleBits(ticks), QString::number(ticks, 'g', 6),
                 fits ? timeText(qint64(nanoseconds)) : QString());
    return StatusDone;
}

int ContainerMKV::parseDateUTC(ElementMKV *element)
{
    qint64 nanoseconds = 0;
    if (!readSInteger(element, &nanoseconds))
        return StatusLengthRefused;
    addNumberRow(element, nanoseconds, decimal(nanoseconds), dateText(nanoseconds));
    return StatusDone;
}

int ContainerMKV::parseNanoseconds(ElementMKV *element)
{
    quint64 nanoseconds = 0;
    if (!readUInteger(element, &nanoseconds))
        return StatusLengthRefused;
    const bool fits = nanoseconds <= quint64(std::numeric_limits<qint64>::max());
    addNumberRow(element, qint64(nanoseconds), decimal(nanoseconds),
                 fits ? timeText(qint64(nanoseconds)) : QString());
    return StatusDone;
}

int ContainerMKV::parseSignedNanoseconds(ElementMKV *element)
{
    qint64 nanoseconds = 0;
    if (!readSInteger(element, &nanoseconds))
        return StatusLengthRefused;
    addNumberRow(element, nanoseconds, decimal(nanoseconds), timeText(nanoseconds));
    return StatusDone;
}

int ContainerMKV::parseTicks(ElementMKV *element)
{
    quint64 ticks = 0;
    if (!readUInteger(element, &ticks))
        return StatusLengthRefused;
    quint64 nanoseconds = 0;
    const bool fits = !__builtin_mul_overflow(ticks, m_timestampScale, &nanoseconds)
        && nanoseconds <= quint64(std::numeric_limits<qint64>::max());
    addNumberRow(element, qint64(ticks), decimal(ticks),
                 fits ? timeText(qint64(nanoseconds)) : QString());
    return StatusDone;
}

int ContainerMKV::parseEnumeration(ElementMKV *element)
{
    quint64 value = 0;
    if (!readUInteger(element, &value))
        return StatusLengthRefused;
    addNumberRow(element, qint64(value), decimal(value), enumerationLabel(m_elementId, value));
    return StatusDone;
}

int ContainerMKV::parseTextEnumeration(ElementMKV *element)
{
    Payload payload;
    if (loadPayload(qMin(element->dataSize, qMax(binaryLimit, StringLoadLimit)), &payload)
        != StatusDone)
        return StatusNoMemory;
    const char *bytes = payload.bytes.get();
    const auto *nul = static_cast<const char *>(std::memchr(bytes, 0, size_t(payload.size)));
    const qsizetype length = nul ? nul - bytes : qsizetype(payload.size);
    const MatroskaSchema::Element *schema = MatroskaSchema::find(m_elementId);
    const char *label = schema ? textLabel(*schema, bytes, length) : nullptr;
    addValueRow(element, QString::fromLatin1(bytes, length),
                label ? QString::fromUtf8(label) : cutMeaning(element, payload.size));
    return StatusDone;
}

int ContainerMKV::parseSeekID(ElementMKV *element)
{
    Payload payload;
    if (loadPayload(qMin(element->dataSize, binaryLimit), &payload) != StatusDone)
        return StatusNoMemory;
    // The ID is read whole, whatever part of it the value row shows.
    QString name;
    quint64 id = 0;
    if (element->dataSize >= 1 && element->dataSize <= 4) {
        seekTo(element->dataOffset);
        if (readUInteger(element, &id) && bytesLeftAt(element->dataOffset) >= element->dataSize) {
            const ElementMKV *record = m_dialect.catalogue->value(quint32(id), nullptr);
            if (record)
                name = record->name;
        }
    }
    const QString cut = cutMeaning(element, payload.size);
    addValueRow(element, hexText(payload.bytes.get(), payload.size),
                cut.isEmpty()        ? name
                    : name.isEmpty() ? cut
                                     : name + QLatin1String("; ") + cut);
    return StatusDone;
}
