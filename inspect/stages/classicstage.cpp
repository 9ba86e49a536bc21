// SPDX-License-Identifier: MIT
#include "classicstage.h"

#include "ebmldecoder.h"
#include "inputdevice.h"
#include "matroskaschema.h"

#include <QHash>

#include <cstring>
#include <string>

namespace {

QString text(const char16_t *units)
{
    return QString::fromRawData(reinterpret_cast<const QChar *>(units),
                                qsizetype(std::char_traits<char16_t>::length(units)));
}

// Each name of the classicName column with its ID; a name that stood twice
// would give neither ID.
const QHash<QString, const MatroskaSchema::Element *> &classicNames()
{
    static const QHash<QString, const MatroskaSchema::Element *> names = [] {
        QHash<QString, const MatroskaSchema::Element *> byName;
        QHash<QString, int> seen;
        for (int i = 0; i < MatroskaSchema::ElementCount; ++i) {
            const MatroskaSchema::Element &element = MatroskaSchema::Elements[i];
            if (!element.classicName)
                continue;
            const QString name = text(element.classicName);
            if (++seen[name] == 1)
                byName.insert(name, &element);
            else
                byName.remove(name);
        }
        return byName;
    }();
    return names;
}

quint64 load8(const char16_t *p)
{
    quint64 v;
    std::memcpy(&v, p, 8);
    return v;
}

// Whether a text holds the size characters of units, 4 at a time: row names
// come by the million.
Q_ALWAYS_INLINE bool same(const QString &name, const char16_t *units, qsizetype size)
{
    if (name.size() != size)
        return false;
    const auto *text = reinterpret_cast<const char16_t *>(name.data_ptr().data());
    if (size < 4)
        return std::memcmp(text, units, size_t(size) * 2) == 0;
    for (qsizetype i = 0; i + 4 < size; i += 4) {
        if (load8(text + i) != load8(units + i))
            return false;
    }
    return load8(text + size - 4) == load8(units + size - 4);
}

template <qsizetype N> Q_ALWAYS_INLINE bool same(const QString &name, const char16_t (&units)[N])
{
    return same(name, units, N - 1);
}

Q_ALWAYS_INLINE size_t slot(const QString &name)
{
    const qsizetype n = name.size();
    if (n == 0)
        return 0;
    const auto *c = reinterpret_cast<const char16_t *>(name.data_ptr().data());
    return (size_t(n) * 31 + c[0] + c[n / 2] * 7u + c[n - 1] * 13u) % 64;
}

// Whether two names of 4 or more characters (an element's) are the same,
// without a call.
Q_ALWAYS_INLINE bool sameName(const QString &a, const QString &b)
{
    const qsizetype n = a.size();
    if (n != b.size() || n < 4)
        return n == b.size() && a == b;
    const auto *x = reinterpret_cast<const char16_t *>(a.data_ptr().data());
    const auto *y = reinterpret_cast<const char16_t *>(b.data_ptr().data());
    for (qsizetype i = 0; i + 4 < n; i += 4) {
        if (load8(x + i) != load8(y + i))
            return false;
    }
    return load8(x + n - 4) == load8(y + n - 4);
}

Q_ALWAYS_INLINE RowKind kindOf(const QString &name)
{
    switch (name.size()) {
    case 2:
        if (same(name, u"id"))
            return RowKind::Id;
        break;
    case 4:
        if (same(name, u"size"))
            return RowKind::Size;
        if (same(name, u"data"))
            return RowKind::Data;
        break;
    case 5:
        if (same(name, u"value"))
            return RowKind::Value;
        if (same(name, u"Flags"))
            return RowKind::Flags;
        if (same(name, u"frame"))
            return RowKind::Frame;
        break;
    case 8:
        if (same(name, u"Timecode"))
            return RowKind::Timecode;
        if (same(name, u"LaceSize"))
            return RowKind::LaceSize;
        break;
    case 9:
        if (same(name, u"LaceCount"))
            return RowKind::LaceCount;
        break;
    case 11:
        if (same(name, u"TrackNumber"))
            return RowKind::TrackNumber;
        break;
    default: break;
    }
    return RowKind::Unsaid;
}

// A decimal number of 1 to 18 digits, which cannot overflow, read without
// a call: rows of numbers come by the million. False for any other text,
// which the general way then reads.
Q_ALWAYS_INLINE bool shortDecimal(const QString &text, qint64 *number)
{
    const char16_t *units = reinterpret_cast<const char16_t *>(text.data_ptr().data());
    const qsizetype n = text.size();
    const bool negative = n > 1 && units[0] == u'-';
    if (n == 0 || n - negative > 18)
        return false;
    quint64 value = 0;
    for (qsizetype i = negative; i < n; ++i) {
        const unsigned digit = unsigned(units[i]) - u'0';
        if (digit > 9)
            return false;
        value = value * 10 + digit;
    }
    *number = negative ? -qint64(value) : qint64(value);
    return true;
}

} // namespace

ClassicStage::ClassicStage(Sink *next, ElementTracker *tracker, InputDevice *input, int sizeBase,
                           bool rowFacts)
    : TrackerStage(next, tracker, false, true)
    , m_input(input)
    , m_sizeBase(sizeBase)
    , m_headRows(next->wantsHeadRows())
    , m_numbers(next->readsRowNumbers())
    , m_rowFacts(rowFacts)
    , m_kindRows(m_rows, m_headRows, &m_id)
{
    static_assert(CacheSize == 64, "slot() gives 0 to 63");
}

RowKind ClassicStage::rowKindOf(const QString &name)
{
    return kindOf(name);
}

NoteKind ClassicStage::noteKindOf(const QString &text)
{
    if (same(text, u"Unknown element!"))
        return NoteKind::UnknownElement;
    if (same(text, u"Block is shorter than its header!"))
        return NoteKind::ShortBlock;
    if (same(text, u"Lace sizes do not fit the block!"))
        return NoteKind::LacesMisfit;
    return NoteKind::Unsaid;
}

bool ClassicStage::parseNumber(QStringView text, int base, qint64 *number)
{
    const bool negative = !text.isEmpty() && text.front() == u'-';
    if (negative)
        text = text.mid(1);
    if (text.isEmpty() || text.size() > 64)
        return false;
    const quint64 limit = ~quint64(0) / quint64(base);
    quint64 value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const int digit = u >= u'0' && u <= u'9' ? u - u'0'
            : u >= u'a' && u <= u'z'             ? u - u'a' + 10
                                                 : 99;
        if (digit >= base || value > limit || value * quint64(base) > ~quint64(0) - quint64(digit))
            return false;
        value = value * quint64(base) + quint64(digit);
    }
    if (negative && value > quint64(1) << 63)
        return false;
    *number = negative ? qint64(0 - value) : qint64(value);
    return true;
}

// A pointer compare for the names met last: the default walk of many-blocks
// from 1,230.1M to 1,212.8M instructions. (The same for row names costs more
// than kindOf's few compares.)
void ClassicStage::identify(quint64 offset, const QString &name)
{
    const Seen &seen = m_seen[seenSlot(name)];
    if (!seen.is(name))
        return identifyByText(offset, name);
    m_id = seen.id;
    m_shown = seen.shown;
}

void ClassicStage::identifyByText(quint64 offset, const QString &name)
{
    const Known &cached = m_cache[slot(name)];
    if (!sameName(cached.name, name))
        return lookUp(offset, name);
    m_id = cached.id;
    m_shown = cached.shown;
    see(name, m_id, m_shown);
}

void ClassicStage::lookUp(quint64 offset, const QString &name)
{
    const MatroskaSchema::Element *element = classicNames().value(name);
    if (!element) {
        // "Unknown", or a name that the schema does not have: the ID as
        // stored, and a value row that shows no number.
        unsigned char bytes[4] = {};
        const qint64 got = m_input->readDirect(qint64(offset), reinterpret_cast<char *>(bytes), 4);
        quint32 id = 0;
        m_id = EbmlDecoder::readId(bytes, got, &id) ? qint64(id) : -1;
        m_shown = Shown::Nothing;
        return;
    }
    // The walk shows the value of an element it knows by its type.
    Shown shown = Shown::Nothing;
    switch (element->type) {
    case MatroskaSchema::SInteger:
    case MatroskaSchema::UInteger:
    case MatroskaSchema::Date: shown = Shown::Integer; break;
    case MatroskaSchema::Float: shown = Shown::Float; break;
    default: break;
    }
    m_cache[slot(name)] = Known {name, element->id, shown};
    see(name, element->id, shown);
    m_id = element->id;
    m_shown = shown;
}

void ClassicStage::beginElement(quint64 offset, quint64 size, const QString &name, qint64)
{
    identify(offset, name);
    TrackerStage::beginElement(offset, size, name, m_id);
}

ElementSink *ClassicStage::rowSink()
{
    return m_numbers || m_rowFacts ? static_cast<ElementSink *>(this) : &m_kindRows;
}

// Most chains read neither the numbers of rows nor the facts the tracker
// takes from them: such a row takes no call but the one that passes it on.
void ClassicStage::KindRows::addField(bool flag, quint64 offset, quint8, quint64 length,
                                      const QString &name, const QString &value,
                                      const QString &extra, const QString &meaning, qint64 tag)
{
    const RowKind kind = kindOf(name);
    if (kind == RowKind::Id || kind == RowKind::Size) {
        if (!m_headRows)
            return;
        // The ID is no number that the row shows.
        if (kind == RowKind::Id)
            tag = *m_id;
    }
    // Else the classic walk's tag is -1, as a row without its number has it.
    m_rows->addField(flag, offset, quint8(kind), length, name, value, extra, meaning, tag);
}

// The rows of other chains, and rows passed to the stage itself.
void ClassicStage::addField(bool flag, quint64 offset, quint8 code, quint64 length,
                            const QString &name, const QString &value, const QString &extra,
                            const QString &meaning, qint64 tag)
{
    if (m_numbers || m_rowFacts)
        return addTypedRow(flag, offset, code, length, name, value, extra, meaning, tag);
    m_kindRows.addField(flag, offset, code, length, name, value, extra, meaning, tag);
}

// A row for a chain that reads numbers or the tracker's facts from rows.
void ClassicStage::addTypedRow(bool flag, quint64 offset, quint8, quint64 length,
                               const QString &name, const QString &value, const QString &extra,
                               const QString &meaning, qint64)
{
    const RowKind kind = kindOf(name);
    qint64 tag = -1;
    if (!m_numbers) {
        if (kind == RowKind::Id)
            tag = m_id;
        return pass(flag, offset, kind, length, name, value, extra, meaning, tag);
    }
    switch (kind) {
    case RowKind::Id: tag = m_id; break;
    case RowKind::Size:
        if (m_sizeBase != 10 || !shortDecimal(value, &tag))
            return addRow(flag, offset, kind, length, name, value, extra, meaning);
        break;
    case RowKind::Value:
        if (m_shown == Shown::Nothing)
            break;
        if (m_shown != Shown::Integer || !shortDecimal(value, &tag))
            return addRow(flag, offset, kind, length, name, value, extra, meaning);
        break;
    case RowKind::TrackNumber:
    case RowKind::Timecode:
    case RowKind::Flags:
    case RowKind::LaceCount:
    case RowKind::LaceSize:
    case RowKind::Frame:
        if (!shortDecimal(value, &tag))
            return addRow(flag, offset, kind, length, name, value, extra, meaning);
        if (kind == RowKind::Flags) // shown as a signed byte
            tag &= 0xFF;
        break;
    default: break;
    }
    pass(flag, offset, kind, length, name, value, extra, meaning, tag);
}

// A row whose number shortDecimal() does not read: in another base, long,
// not a number, or a float.
void ClassicStage::addRow(bool flag, quint64 offset, RowKind kind, quint64 length,
                          const QString &name, const QString &value, const QString &extra,
                          const QString &meaning)
{
    qint64 tag = -1;
    if (kind == RowKind::Value && m_shown == Shown::Float) {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (ok)
            std::memcpy(&tag, &number, sizeof tag);
    } else if (parseNumber(value, kind == RowKind::Size ? m_sizeBase : 10, &tag)
               && kind == RowKind::Flags) {
        tag &= 0xFF;
    }
    pass(flag, offset, kind, length, name, value, extra, meaning, tag);
}

void ClassicStage::noteElement(NoteKind kind, const QString &text)
{
    m_next->noteElement(kind == NoteKind::Unsaid ? noteKindOf(text) : kind, text);
}
