// SPDX-License-Identifier: MIT
// Identically recurring elements: Info, Tracks and Chapters may stand more
// than once in a Segment if every copy says the same (mkvmerge writes Info
// and Tracks again after the Clusters, for recovery). A later copy is marked
// for the other groups, and read beside the first, element by element: the
// CRC-32 and Void elements left out, numbers and texts by their value
// whatever their length, and values equal to the default as if absent
// (mkvmerge's later Info leaves out a TimestampScale of 1000000).
#include "checkreader.h"

#include "matroskaschema.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace MatroskaSchema;

// Nesting in a copy past which a master is compared as bytes.
constexpr size_t MaxDepth = 32;
// The comparisons of a file take at most this many steps (elements read,
// windows of bytes compared), and a quarter of the file's bytes more: many
// small copies of a first one of many small Voids would otherwise cost the
// product of their counts. Past it, copies are taken as they are.
constexpr quint64 StepBudget = 65536;
// Texts up to this length are compared without their zero padding; longer
// ones, and binaries, byte for byte.
constexpr quint64 TextLength = 1024;

QString nameOf(quint32 id)
{
    const Element *e = find(id);
    return e ? name(*e) : QStringLiteral("0x") + QString::number(id, 16).toUpper();
}

// What a copy says, one step at a time.
struct Step
{
    enum Kind { Open, Close, Value, End } kind = End;
    quint32 id = 0;
    quint64 offset = 0;
    QByteArray value;         // a number's 8 bytes, or a text
    quint64 from = 0, to = 0; // else the bytes it has, compared as they are
};

// A number as 8 bytes, so that its length in the file does not matter.
template <typename T> QByteArray asBytes(T v)
{
    return QByteArray(reinterpret_cast<const char *>(&v), sizeof v);
}

// The default value of an element, as a Step's value would hold it.
QByteArray defaultOf(const Element &s)
{
    switch (s.type) {
    case UInteger:
    case Date: return asBytes(std::strtoull(s.defaultValue, nullptr, 10));
    case SInteger: return asBytes(qint64(std::strtoll(s.defaultValue, nullptr, 10)));
    case Float: return asBytes(std::strtod(s.defaultValue, nullptr));
    default: return QByteArray(s.defaultValue);
    }
}

class Steps
{
public:
    // Past budget steps spent, a copy ends at once.
    Steps(const CheckContext &c, const ElementHead &h, quint64 *spent, quint64 budget)
        : m_reader(c)
        , m_at(h.dataOffset)
        , m_spent(spent)
        , m_budget(budget)
    {
        m_ends.push_back(h.end);
    }

    Step next()
    {
        for (;;) {
            Step step;
            if (m_ends.empty() || *m_spent > m_budget)
                return step;
            step.offset = m_at;
            if (m_at >= m_ends.back()) {
                m_ends.pop_back();
                step.kind = m_ends.empty() ? Step::End : Step::Close;
                return step;
            }
            ++*m_spent;
            const ElementHead h = readHead(m_reader, m_at);
            if (!h.ok || h.unknownSize || h.end > m_ends.back()) {
                // No element fits here: the rest of the master, as bytes.
                step.kind = Step::Value;
                step.from = m_at;
                step.to = m_at = m_ends.back();
                return step;
            }
            m_at = h.end;
            if (h.id == Id::Crc32 || h.id == Id::Void)
                continue;
            step.id = h.id;
            const Element *s = find(h.id);
            if (s && s->type == Master && m_ends.size() < MaxDepth) {
                step.kind = Step::Open;
                m_at = h.dataOffset;
                m_ends.push_back(h.end);
                return step;
            }
            step.kind = Step::Value;
            value(s, h, &step);
            if (s && s->defaultValue && step.from == step.to && step.value == defaultOf(*s))
                continue;
            return step;
        }
    }

private:
    void value(const Element *s, const ElementHead &h, Step *step)
    {
        const int type = s ? int(s->type) : int(Binary);
        quint64 raw = 0;
        const bool number = type == UInteger || type == SInteger || type == Date || type == Float;
        if (number && readUnsigned(m_reader, h, &raw)) {
            const quint64 n = h.dataSize;
            if (type == SInteger && n > 0 && n < 8 && (raw >> (8 * n - 1)) & 1)
                raw |= ~quint64(0) << (8 * n); // the sign, extended
            if (type != Float)
                return void(step->value = asBytes(raw));
            if (n == 4) {
                float f;
                const quint32 bits = quint32(raw);
                std::memcpy(&f, &bits, 4);
                return void(step->value = asBytes(double(f)));
            }
            if (n == 8 || n == 0) {
                double d = 0;
                std::memcpy(&d, &raw, n);
                return void(step->value = asBytes(d));
            }
        }
        if ((type == String || type == UTF8) && h.dataSize <= TextLength) {
            QByteArray text(qsizetype(h.dataSize), Qt::Uninitialized);
            text.resize(qsizetype(m_reader.context().read(h.dataOffset, text.data(), text.size())));
            while (text.endsWith('\0'))
                text.chop(1);
            return void(step->value = text);
        }
        step->from = h.dataOffset;
        step->to = h.end;
    }

    WindowReader m_reader;
    quint64 m_at;
    quint64 *m_spent;
    quint64 m_budget;
    std::vector<quint64> m_ends; // of the open masters, the copy first
};

// Whether two steps have the same bytes, read a window at a time, up to
// the first that differs.
bool sameBytes(const CheckContext &c, const Step &x, const Step &y, quint64 *spent)
{
    if (x.to - x.from != y.to - y.from)
        return false;
    char a[WindowReader::Window], b[WindowReader::Window];
    for (quint64 done = 0; done < x.to - x.from; ++*spent) {
        const qint64 want = qint64(qMin<quint64>(x.to - x.from - done, sizeof a));
        const qint64 got = c.read(x.from + done, a, want);
        if (c.read(y.from + done, b, want) != got || std::memcmp(a, b, size_t(got)) != 0)
            return false;
        if (got < want)
            return true; // both cut alike by the file's end
        done += quint64(got);
    }
    return true;
}

// Where a later copy first says something else than the first one, or an
// empty text when they agree or the steps spent reach budget.
QString difference(const CheckContext &c, const ElementHead &first, const ElementHead &later,
                   quint64 *spent, quint64 budget)
{
    Steps a(c, first, spent, budget), b(c, later, spent, budget);
    for (;;) {
        const Step x = a.next(), y = b.next();
        if ((x.kind == Step::End && y.kind == Step::End) || *spent > budget)
            return QString();
        if (x.kind == y.kind && x.id == y.id && x.value == y.value && sameBytes(c, x, y, spent))
            continue;
        const bool xIs = x.kind == Step::Open || x.kind == Step::Value;
        const bool yIs = y.kind == Step::Open || y.kind == Step::Value;
        if (xIs && yIs && x.id == y.id)
            return QStringLiteral("its %1 at %2 is not the one at %3")
                .arg(nameOf(y.id))
                .arg(y.offset)
                .arg(x.offset);
        if (xIs && yIs)
            return QStringLiteral("it has a %1 at %2 where the first has a %3 at %4")
                .arg(nameOf(y.id))
                .arg(y.offset)
                .arg(nameOf(x.id))
                .arg(x.offset);
        if (yIs)
            return QStringLiteral("its %1 at %2 is not in the first")
                .arg(nameOf(y.id))
                .arg(y.offset);
        return QStringLiteral("it lacks the %1 at %2").arg(nameOf(x.id)).arg(x.offset);
    }
}

class RecurringChecks : public Check
{
public:
    void begin(CheckContext &c) override
    {
        const OpenElement &e = c.current();
        if (e.id == Id::Segment && c.depth() == 1)
            m_first.clear();
        if (c.depth() != 2 || c.parentId() != Id::Segment || e.id < 0)
            return;
        const Element *s = find(quint32(e.id));
        if (!s || !(s->flags & Recurring))
            return;
        const auto first = std::find_if(m_first.begin(), m_first.end(),
                                        [&](const First &f) { return f.id == e.id; });
        if (first == m_first.end()) {
            m_first.push_back(First {e.id, e.offset});
            return;
        }
        WindowReader reader(c);
        const ElementHead later = readHead(reader, e.offset);
        const ElementHead earlier = readHead(reader, first->offset);
        if (!later.ok || later.unknownSize || !earlier.ok || earlier.unknownSize)
            return; // no extent to compare: too many, for the schema's group
        c.markRecurringCopy();
        const QString differs
            = difference(c, earlier, later, &m_spent, StepBudget + c.fileSize() / 4);
        if (!differs.isEmpty())
            c.report(Severity::Error, "recurring-differs", [&] {
                return QStringLiteral("this %1 differs from the first one, at %2: %3")
                    .arg(e.name)
                    .arg(first->offset)
                    .arg(differs);
            });
    }

    void finish(CheckContext &c) override
    {
        Q_UNUSED(c);
        m_first.clear();
        m_spent = 0;
    }

private:
    struct First
    {
        qint64 id;
        quint64 offset;
    };
    std::vector<First> m_first; // of this Segment, one per recurring element
    quint64 m_spent = 0;        // steps of the file's comparisons
};

} // namespace

void addRecurringChecks(Checks *checks)
{
    checks->push_back(std::make_unique<RecurringChecks>());
}
