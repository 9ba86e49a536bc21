// SPDX-License-Identifier: MIT
#pragma once

#include "trackerstage.h"

class InputDevice;

// The classic walk says nothing of what its calls are: its nodes carry no
// ID, its rows no kind and no number, its annotations no kind. This stage
// goes first in the chain of such a walk and adds them, so that the stages
// and writers after it read the same typed calls as from the modern walk:
// an element's ID from its name, as the schema's classicName column gives
// it (from its first bytes for a name that the column lacks, such as
// "Unknown"); a row's kind from its name and its number from its text (for
// a chain that reads row numbers: Sink::readsRowNumbers()); an annotation's
// kind from its text. No other place in the host reads texts.
// It is the chain's first stage, which keeps the tracker of open elements.
class ClassicStage final : public TrackerStage
{
public:
    // Reads the IDs that names do not give from input, without moving its
    // position; the size rows show their numbers in sizeBase.
    // rowFacts: as for the TrackerStage; the adapter takes rows in any case.
    ClassicStage(Sink *next, ElementTracker *tracker, InputDevice *input, int sizeBase = 10,
                 bool rowFacts = true);

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void noteElement(NoteKind kind, const QString &text) override;
    // Rows of a chain that reads neither row numbers nor row facts go to a
    // sink that only says their kind: --json of many-blocks from 1,333.6M
    // to 1,324.9M instructions, the default walk from 1,157.6M to 1,148.6M.
    ElementSink *rowSink() override;

    // What the classic walk's texts say.
    static RowKind rowKindOf(const QString &name);
    static NoteKind noteKindOf(const QString &text);
    // The number a text shows in base, as a tag: a negative number as
    // itself, one past qint64 as its 64 bits. False when the text is no
    // number, and number is left as it is.
    static bool parseNumber(QStringView text, int base, qint64 *number);

private:
    // How the value row of the element shows its number.
    enum class Shown : quint8 { Nothing, Integer, Float };

    // The ID and the value's form of the element that opens: from the
    // names met last, or else looked up.
    Q_ALWAYS_INLINE void identify(quint64 offset, const QString &name);
    Q_NEVER_INLINE void lookUp(quint64 offset, const QString &name);
    // The typed row to the tracker and on, but the Id and Size rows only to
    // sinks that want them.
    Q_ALWAYS_INLINE void pass(bool flag, quint64 offset, RowKind kind, quint64 length,
                              const QString &name, const QString &value, const QString &extra,
                              const QString &meaning, qint64 tag)
    {
        if (m_rowFacts)
            m_tracker->row(kind, offset, length, tag);
        if (m_headRows || (kind != RowKind::Id && kind != RowKind::Size))
            m_rows->addField(flag, offset, quint8(kind), length, name, value, extra, meaning, tag);
    }
    Q_NEVER_INLINE void addTypedRow(bool flag, quint64 offset, quint8 code, quint64 length,
                                    const QString &name, const QString &value, const QString &extra,
                                    const QString &meaning, qint64 tag);
    Q_NEVER_INLINE void addRow(bool flag, quint64 offset, RowKind kind, quint64 length,
                               const QString &name, const QString &value, const QString &extra,
                               const QString &meaning);

    // Says the kind of each row and passes it on, the Id and Size rows only
    // to sinks that want them. Only rows come here.
    class KindRows final : public ElementSink
    {
    public:
        KindRows(ElementSink *rows, bool headRows, const qint64 *id)
            : m_rows(rows)
            , m_id(id)
            , m_headRows(headRows)
        {}
        void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                      const QString &value, const QString &extra, const QString &meaning,
                      qint64 tag) override;
        void beginElement(quint64, quint64, const QString &, qint64) override {}
        void annotateElement(const QString &) override {}
        void endElement() override {}
        void addFrame(const FrameRecord &) override {}
        void topLevelParsed(int) override {}

    private:
        ElementSink *m_rows;
        const qint64 *m_id;
        bool m_headRows;
    };

    InputDevice *m_input;
    int m_sizeBase;
    bool m_headRows; // the sinks after it want Id and Size rows
    bool m_numbers;  // and read the numbers of rows
    bool m_rowFacts;
    qint64 m_id = -1; // of the element whose rows come
    Shown m_shown = Shown::Nothing;
    KindRows m_kindRows;

    // The elements met last by name, in a slot by a hash of the name: a
    // walk meets few names, each again and again.
    struct Known
    {
        QString name;
        qint64 id = -1;
        Shown shown = Shown::Nothing;
    };
    static constexpr size_t CacheSize = 64;
    Known m_cache[CacheSize];

    // Names met last by where their characters lie: the walk passes the same
    // shared strings again and again, and a pointer compare finds them. The
    // copy kept holds the characters in place and unchanged (a shared string
    // is copied on write, and raw data must outlive its copies); a name
    // found by its characters alone is looked up as before.
    struct Seen
    {
        const QChar *data = nullptr;
        qsizetype size = -1;
        qint64 id = -1;
        Shown shown = Shown::Nothing;
        QString kept;

        bool is(const QString &name) const
        {
            return data == name.constData() && size == name.size();
        }
    };
    static constexpr size_t SeenSize = 16;
    static size_t seenSlot(const QString &name)
    {
        return size_t((quintptr(name.constData()) * 0x9E3779B97F4A7C15ull) >> 60);
    }
    void see(const QString &name, qint64 id, Shown shown)
    {
        m_seen[seenSlot(name)] = Seen {name.constData(), name.size(), id, shown, name};
    }
    Seen m_seen[SeenSize];
    Q_NEVER_INLINE void identifyByText(quint64 offset, const QString &name);
};
