// SPDX-License-Identifier: MIT
#pragma once

#include "chain.h"
#include "glancewriter.h"
#include "htmlwriter.h"

#include <memory>

class FindingsWriter;
class InputDevice;
class OutputBuffer;

enum class Output { Text, Json, Frames, Html };

// What the output looks like: its kind and each writer's own settings.
struct WriterSettings
{
    Output output = Output::Text;
    bool rows = false; // the full text tree rather than the glance view
    // The walk's calls are typed (the modern one): the writers show what
    // they say beside the texts (IDs, unknown sizes, numbers, times).
    bool modern = false;
    GlanceWriter::Settings glance;
    HtmlWriter::Settings report;
};

// The writer of a walk, writing into out; the report embeds bytes of input.
// It reads the open elements from tracker, which the walk's chain keeps.
std::unique_ptr<Sink> makeWriter(const WriterSettings &settings, OutputBuffer *out,
                                 InputDevice *input, const ElementTracker &tracker);
// The writer of a checked file's findings, as JSON or as text.
std::unique_ptr<FindingsWriter> makeFindingsWriter(Output output, const QString &file);
// The chain's settings with what the writer of output needs of its stages.
Chain::Settings chainFor(Output output, Chain::Settings settings);
