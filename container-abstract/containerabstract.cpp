// SPDX-License-Identifier: MIT
#include "containerabstract.h"

#include <QFileInfo>

#include <algorithm>

ElementSink::~ElementSink() = default;

ContainerAbstract::CommonElement::CommonElement()
    : type(0)
    , name(QStringLiteral("Unknown"))
{}

ContainerAbstract::CommonElement::CommonElement(int type, const QString &name)
    : type(type)
    , name(name)
{}

ContainerAbstract::ContainerAbstract(QObject *parent)
    : QObject(parent)
    , frameCounters(1, 0)
{}

ContainerAbstract::~ContainerAbstract() = default;

int ContainerAbstract::parseFile(const QString &fileName, InputDevice *device, ElementSink *sink)
{
    dataSource = device;
    refusal.clear();
    const int verified = verifyContainerFormat(fileName);
    if (verified != 0)
        return verified;

    setSink(sink);
    frameCounters = QVector<quint64>(1, 0);
    const quint64 end = quint64(device->size());
    if (m_sink)
        m_sink->beginFile(QFileInfo(fileName).fileName(), end);

    qint64 begin = 0;
    findBeginOfContainer(&begin);
    prepareParsing();
    quint64 position = quint64(std::max<qint64>(begin, 0));
    while (position < end) {
        currentPosition = position;
        device->seek(qint64(position));
        quint64 length = 0;
        const int status = parseElement(&length);
        if (m_sink)
            m_sink->topLevelParsed(status);
        if (length == 0 || length > end - position)
            break;
        position += length;
    }
    finalizeParsing();
    if (m_sink)
        m_sink->endFile();
    return verified;
}

void ContainerAbstract::beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag)
{
    if (m_sink)
        m_sink->beginElement(offset, size, name, tag);
}

void ContainerAbstract::annotateElement(const QString &text)
{
    if (m_sink)
        m_sink->annotateElement(text);
}

void ContainerAbstract::endElement()
{
    if (m_sink)
        m_sink->endElement();
}

int ContainerAbstract::addFrame(uint index, quint64 number)
{
    if (m_sink)
        m_sink->addFrame(FrameRecord {index, number, frameOffset, frameSize, frameKeyframe});
    return 0;
}
