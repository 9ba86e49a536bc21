#include "glancewriter.h"

GlanceWriter::GlanceWriter(OutputBuffer *out, const Settings &settings)
    : m_out(out)
    , m_settings(settings)
{}

void GlanceWriter::beginElement(quint64, quint64, const QString &, qint64) {}

void GlanceWriter::addField(bool, quint64, quint8, quint64, const QString &, const QString &,
                            const QString &, const QString &, qint64)
{}

void GlanceWriter::annotateElement(const QString &) {}

void GlanceWriter::endElement() {}

void GlanceWriter::addFrame(const FrameRecord &) {}

void GlanceWriter::topLevelParsed(int) {}

void GlanceWriter::beginFile(const QString &, quint64) {}

void GlanceWriter::endFile() {}

void GlanceWriter::crcChecked(CrcVerdict) {}
