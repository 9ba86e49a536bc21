// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "sink.h"

#include <map>
#include <vector>

// What the report needs to know of the file's content: its tracks, the
// track of each video stream, the presentation time of each frame, and
// It learns them from the elements and rows it passes on, by the roles of a
// small table.
class SummaryStage : public Stage
{
public:
    SummaryStage(Sink *next, const ElementTracker &tracker)
        : Stage(next)
        , m_tracker(tracker)
    {}

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void noteElement(NoteKind kind, const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void endFile() override;
    bool readsRowNumbers() const override { return true; }

    // What an element is to the summary.
    enum Role : quint8 {
        Other,
        SegmentInfo,
        TimecodeScale,
        Cluster,
        ClusterTime,
        Block,
        TrackEntry,
        TrackNumber,
        TrackType,
        CodecID,
        Video,
        PixelWidth,
        PixelHeight,
        Language,
        LanguageBCP47,
        CodecDelay,
        DefaultDuration,
        Audio,
        SamplingFrequency,
        Channels,
    };

protected:
    bool takesRows() const override { return true; }

private:
    void takeValue();
    Role roleAt(size_t depth) const;

    const ElementTracker &m_tracker;
    Role m_role = Other; // of the element that opened last
    // The value row of the innermost element, taken at its end unless the
    // walk says that it does not know the element (and so shows no value of
    // its type).
    struct Value
    {
        Role role = Other;
        qint64 number = -1;
        QString text;
        QString meaning;
    } m_value;

    TrackSummary m_summary;
    TrackFacts m_track;
    QString m_languageBCP47;
    std::map<uint, size_t> m_streams; // stream index to its place in m_summary.streams
    bool m_clusterTimeKnown = false;
    qint64 m_clusterTime = 0;
    bool m_blockTimeKnown = false;
    qint64 m_blockTime = 0;
    quint64 m_blockTrack = 0;
};
