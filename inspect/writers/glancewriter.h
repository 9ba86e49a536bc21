#pragma once

#include "outputbuffer.h"
#include "sink.h"

#include <QStringList>

// The tree read at a glance: one line per element with its name, offset and
// length, and its value and meaning when it has a "value" row; its other
// rows (block fields, lacing, frames) on lines under it, but not "id" and
// "size"; its annotation after '#'.
class GlanceWriter : public Sink
{
public:
    struct Settings
    {
        int depth = -1;       // print elements down to this depth (0: top level), -1: all
        QStringList elements; // print only the subtrees of elements of these names, if any
        bool hexOffsets = false;
        bool color = false; // names and values in colour (ANSI escapes)
    };

    GlanceWriter(OutputBuffer *out, const Settings &settings);

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

private:
    OutputBuffer *m_out;
    Settings m_settings;
    unsigned m_marks = 0;
};
