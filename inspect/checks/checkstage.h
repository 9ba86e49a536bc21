#pragma once

#include "check.h"

// The conformance checks as one stage of the chain: it keeps the open
// elements with their paths and the EBML header's facts, hands every call
// to the check groups, and passes their findings on to the next sink as
// finding() calls. It goes after the CRC and bounds stages, whose verdicts
// and marks it reads.
class CheckStage : public Stage
{
public:
    CheckStage(Sink *next, InputDevice *input);
    ~CheckStage() override;

    void beginFile(const QString &fileName, quint64 size) override;
    void mark(unsigned marks) override;
    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void noteElement(NoteKind kind, const QString &text) override;
    void crcChecked(CrcVerdict verdict) override;
    void endElement() override;
    void endFile() override;

protected:
    bool takesRows() const override { return true; }

private:
    void readHeaderFact(const CheckedElement &element);
    static bool unknownSize(const CheckedElement &element, qint64 tag);

    CheckContext m_context;
    Checks m_checks;
    unsigned m_marks = 0;
    // Per open element, how many of its children had each name so far, and
    // which name came last (runs of one name, such as blocks, are the rule);
    // the top level's counts are the first.
    struct NameCount
    {
        qint64 id; // the children's ID: one name each, when not -1
        QString name;
        quint64 count;
    };
    struct Children
    {
        std::vector<NameCount> names;
        size_t last = 0;
    };
    quint64 nextIndex(Children &children, const QString &name, qint64 id);
    std::vector<Children> m_children;
};
