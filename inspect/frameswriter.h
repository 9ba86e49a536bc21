#pragma once

#include "streamwriter.h"

// Writes the registered frames as CSV, a line each: stream, number, offset,
// size and keyframe (1 or 0), for spreadsheets and scripts.
class FramesWriter : public StreamWriter
{
public:
    explicit FramesWriter(OutputBuffer *out)
        : StreamWriter(out)
    {
    }

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64) override
    {
        runsPastEnd(offset, size, name);
    }
    void addField(bool, quint64, quint8, quint64, const QString &, const QString &,
                  const QString &, const QString &, qint64) override
    {
    }
    void annotateElement(const QString &) override {}
    void endElement() override {}
    void topLevelParsed(int) override {}
    void beginFile(const QString &, quint64 size) override
    {
        noteFileSize(size);
        *m_out << "stream,number,offset,size,keyframe\n";
    }
    void addFrame(const FrameRecord &frame) override
    {
        *m_out << quint64(frame.stream) << ',' << frame.number << ',' << frame.offset << ','
               << frame.size << ',' << (frame.keyframe ? '1' : '0') << '\n';
    }
    void endFile() override
    {
        m_progress.stop();
        m_out->flush();
    }
};
