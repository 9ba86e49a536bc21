// SPDX-License-Identifier: MIT
#include "writerfactory.h"

#include "findingswriter.h"
#include "frameswriter.h"
#include "jsonwriter.h"
#include "textwriter.h"

std::unique_ptr<Sink> makeWriter(const WriterSettings &settings, OutputBuffer *out,
                                 InputDevice *input, const ElementTracker &tracker)
{
    switch (settings.output) {
    case Output::Json:
        if (settings.modern)
            return std::make_unique<ModernJsonWriter>(out, tracker);
        return std::make_unique<JsonWriter>(out, tracker);
    case Output::Frames: return std::make_unique<FramesWriter>(out);
    case Output::Html: return std::make_unique<HtmlWriter>(out, input, settings.report, tracker);
    case Output::Text: break;
    }
    if (settings.rows)
        return settings.modern ? std::unique_ptr<Sink>(new ModernTextWriter(out, tracker))
                               : std::make_unique<TextWriter>(out, tracker);
    if (settings.glance.modern)
        return std::make_unique<ModernGlanceWriter>(out, settings.glance, tracker);
    return std::make_unique<GlanceWriter>(out, settings.glance, tracker);
}

std::unique_ptr<FindingsWriter> makeFindingsWriter(Output output, const QString &file)
{
    if (output == Output::Json)
        return std::make_unique<FindingsJsonWriter>(file);
    return std::make_unique<FindingsTextWriter>(file);
}

Chain::Settings chainFor(Output output, Chain::Settings settings)
{
    // The frames carry no verdicts; the report's summary and the frames'
    // tracks and times (also in the modern JSON) come from the summary stage.
    settings.checkCrcs = settings.checkCrcs && output != Output::Frames;
    settings.summary = output == Output::Html || output == Output::Frames
        || (output == Output::Json && settings.modern);
    return settings;
}
