#pragma once

#include "outputbuffer.h"
#include "sink.h"

// Writes the registered frames as CSV, a line each: stream, number, offset,
// size and keyframe (1 or 0), for spreadsheets and scripts.
class FramesWriter : public Sink
{
public:
    explicit FramesWriter(OutputBuffer *out)
        : m_out(out)
    {}

    void beginElement(quint64, quint64, const QString &, qint64) override {}
    void addField(bool, quint64, quint8, quint64, const QString &, const QString &, const QString &,
                  const QString &, qint64) override
    {}
    void annotateElement(const QString &) override {}
    void endElement() override {}
    void topLevelParsed(int) override {}
    void beginFile(const QString &, quint64) override
    {
        *m_out << "stream,number,offset,size,keyframe\n";
    }
    void addFrame(const FrameRecord &frame) override
    {
        *m_out << quint64(frame.stream) << ',' << frame.number << ',' << frame.offset << ','
               << frame.size << ',' << (frame.keyframe ? '1' : '0') << '\n';
    }
    void endFile() override { m_out->flush(); }

private:
    OutputBuffer *m_out;
};
