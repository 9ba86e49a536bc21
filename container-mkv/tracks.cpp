// SPDX-License-Identifier: MIT
// Track entries: the number and type of each track, gathered for the block
// parser, and the track settings that are shown with names or as their
// type's reporter shows them.
#include "containermkv.h"
#include "matroskaids.h"

namespace {

QString trackTypeName(quint64 type)
{
    switch (type) {
    case 1: return QStringLiteral("video");
    case 2: return QStringLiteral("audio");
    case 3: return QStringLiteral("complex");
    case 16: return QStringLiteral("logo");
    case 17: return QStringLiteral("subtitle");
    case 18: return QStringLiteral("buttons");
    case 32: return QStringLiteral("control");
    default: return QStringLiteral("unknown");
    }
}

// Shared by all parsers; creation is thread-safe and they live until the
// library is unloaded.
const QString &displayUnitName(quint64 unit)
{
    static const QString names[] = {
        QStringLiteral("pixels"),
        QStringLiteral("centimeters"),
        QStringLiteral("inches"),
        QStringLiteral("unknown"),
    };
    return names[unit < 3 ? unit : 3];
}

} // namespace

QString ContainerMKV::classicLabel(quint32 id, quint64 value)
{
    switch (id) {
    case MatroskaSchema::Id::TrackType: return trackTypeName(value);
    case MatroskaSchema::Id::DisplayUnit: return displayUnitName(value);
    default: return QString();
    }
}

void ContainerMKV::reset_stream()
{
    stream.trackNumber = 0;
    stream.trackType = 0;
}

void ContainerMKV::registerTrack(quint64 number, quint64 type)
{
    if (number == 0 || type == 0)
        return;
    trackTypes.insert(number, type);
    if (type != 1)
        return;
    if (!m_videoStreams.contains(number))
        m_videoStreams.insert(number, videoTracks.size());
    videoTracks.append(number);
}

int ContainerMKV::parseTrackEntry(ElementMKV *element)
{
    Q_UNUSED(element);
    reset_stream();
    return StatusDone;
}

int ContainerMKV::parseTrackNumber(ElementMKV *element)
{
    quint64 number = 0;
    if (!readUInteger(element, &number))
        return StatusLengthRefused;
    addNumberRow(element, qint64(number), decimal(number));
    registerTrack(number, stream.trackType);
    stream.trackNumber = number;
    return StatusDone;
}

int ContainerMKV::parseTrackType(ElementMKV *element)
{
    quint64 type = 0;
    if (!readUInteger(element, &type))
        return StatusLengthRefused;
    addNumberRow(element, qint64(type), decimal(type), m_dialect.label(m_elementId, type));
    registerTrack(stream.trackNumber, type);
    stream.trackType = type;
    return StatusDone;
}

int ContainerMKV::parseDisplayUnit(ElementMKV *element)
{
    quint64 unit = 0;
    if (!readUInteger(element, &unit))
        return StatusLengthRefused;
    addNumberRow(element, qint64(unit), decimal(unit), m_dialect.label(m_elementId, unit));
    return StatusDone;
}

int ContainerMKV::parseDefaultDuration(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parsePixelWidth(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parsePixelHeight(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseTrackTimecodeScale(ElementMKV *element)
{
    return reportValueFloat(element);
}

int ContainerMKV::parseCodecID(ElementMKV *element)
{
    return reportValueString(element);
}

int ContainerMKV::parseCodecPrivate(ElementMKV *element)
{
    return reportValueBinary(element);
}
