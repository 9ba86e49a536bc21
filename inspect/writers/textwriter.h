// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "encodingcache.h"
#include "escape.h"
#include "outputbuffer.h"
#include "sink.h"

// Writes the tree as indented text while the walk goes: a line per node
// (name, offset, whole length), a line per row (name, value, meaning,
// offset, length), a line per annotation, per CRC-32 verdict and per
// registered frame. Every text is escaped for a terminal.
class TextWriter : public Sink
{
public:
    // The open elements are those of tracker.
    TextWriter(OutputBuffer *out, const ElementTracker &tracker);

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void topLevelParsed(int status) override;
    void beginFile(const QString &fileName, quint64 size) override;
    void endFile() override;
    void mark(unsigned marks) override { m_marks |= marks; }
    void crcChecked(CrcVerdict verdict) override;

protected:
    static constexpr size_t IndentSlack = 32;
    // Indented by the open elements, less those of less.
    char *indent(char *p, size_t less = 0) const;
    void text(QStringView value);

    using Texts = EncodingCache<&Escape::text>;
    OutputBuffer *m_out;
    Texts m_names; // of rows and elements: few, each seen again and again
    Texts m_values;

    const ElementTracker &m_tracker;
    unsigned m_marks = 0;
    quint64 m_frames = 0;
};

// The full tree of a walk whose calls are typed (the modern one): an
// element's line also says an unknown ID, an unknown size and an end past
// its parent's. Its Size row says whether its size is unknown, so its line
// is ended by the next call after that, and its Id row, which comes first,
// waits until then.
class ModernTextWriter : public TextWriter
{
public:
    using TextWriter::TextWriter;

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void topLevelParsed(int status) override;
    void endFile() override;
    void crcChecked(CrcVerdict verdict) override;

private:
    void endLine()
    {
        if (m_lineOpen)
            finishLine();
    }
    void finishLine();

    bool m_lineOpen = false;
    unsigned m_lineMarks = 0;
    // The Id row of the element whose line is open.
    bool m_idHeld = false;
    quint64 m_idOffset = 0;
    quint64 m_idLength = 0;
    QString m_idName;
    QString m_idValue;
    QString m_idMeaning;
};
