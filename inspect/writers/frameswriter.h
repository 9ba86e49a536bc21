// SPDX-License-Identifier: MIT
#pragma once

#include "outputbuffer.h"
#include "sink.h"

#include <cstdio>

// Writes the registered frames as CSV, a line each: stream, number, offset,
// size, keyframe (1 or 0), the block's track and its presentation time in
// seconds with 9 decimals (empty when unknown), for spreadsheets and scripts.
// The track and time come from the frame's facts (SummaryStage).
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
        *m_out << "stream,number,offset,size,keyframe,track,time\n";
    }
    void addFrame(const FrameRecord &frame) override
    {
        *m_out << quint64(frame.stream) << ',' << frame.number << ',' << frame.offset << ','
               << frame.size << ',' << (frame.keyframe ? '1' : '0') << ',' << m_facts.track << ',';
        if (qint64 ns = 0; m_facts.wholeNanoseconds(&ns)) {
            if (ns < 0)
                *m_out << '-';
            const quint64 magnitude = ns < 0 ? 0 - quint64(ns) : quint64(ns);
            char fraction[10];
            std::snprintf(fraction, sizeof fraction, "%09llu",
                          static_cast<unsigned long long>(magnitude % 1000000000));
            *m_out << magnitude / 1000000000 << '.';
            m_out->append(fraction, 9);
        }
        *m_out << '\n';
        m_facts = FrameFacts();
    }
    void frameFacts(const FrameFacts &facts) override { m_facts = facts; }
    void endFile() override { m_out->flush(); }

private:
    OutputBuffer *m_out;
    FrameFacts m_facts;
};
