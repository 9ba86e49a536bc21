// SPDX-License-Identifier: MIT
#pragma once

#include "sink.h"

#include <cstdio>
#include <memory>
#include <vector>

class ElementTracker;
class InputDevice;
class SchemaHintStage;
class TrackerStage;

// The stages between the plug-in and a writer, in the order the calls
// pass them: the tracker of open elements and their bounds (for the classic
// walk, the adapter that keeps it), the schema hint, CRC checks, conformance
// checks, the summary, progress. The stages and the writer read the open
// elements from the tracker, which the first stage keeps.
class Chain
{
public:
    struct Settings
    {
        bool checkCrcs = false;
        bool conformance = false;      // the checks of --check, which want checkCrcs
        quint32 profiles = 0;          // and those of --profile, a bit per CheckProfiles row
        bool schemaHint = false;       // count what today's schema knows of the unknown elements
        bool summary = false;          // what the HTML report needs of tracks and frames
        std::FILE *progress = nullptr; // a terminal for the progress line
        // What the walk says of its calls: the modern walk says what each is,
        // the classic one needs the adapter; its size rows are in sizeBase.
        bool modern = false;
        int sizeBase = 10;
    };
    // The stages read what they check from input, which the walk reads too.
    Chain(Sink *writer, InputDevice *input, const Settings &settings, ElementTracker *tracker);
    ~Chain();

    // Where the plug-in's calls go.
    Sink *head() const { return m_head; }
    // The first element that claims more than the file holds, if any.
    const PastEnd *firstPastEnd() const;
    // The hint that --modern shows elements the walk met as unknown, or
    // empty.
    QString schemaHint() const;

private:
    std::vector<std::unique_ptr<Stage>> m_stages;
    TrackerStage *m_tracker;
    SchemaHintStage *m_hint = nullptr;
    Sink *m_head;
};
