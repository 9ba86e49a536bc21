// SPDX-License-Identifier: MIT
#pragma once

#include "abstractglobal.h"
#include "elementsink.h"
#include "inputdevice.h"

#include <QObject>
#include <QString>
#include <QVector>

// Base of all container parsers. It owns the input device, the position of
// the element read next, the display settings and the frame bookkeeping, and
// hands every node, row and frame that a parser reports to an ElementSink.
class VANTOREL_ABSTRACT_EXPORT ContainerAbstract : public QObject
{
    Q_OBJECT
public:
    class VANTOREL_ABSTRACT_EXPORT CommonElement
    {
    public:
        CommonElement();
        CommonElement(int type, const QString &name);
        CommonElement(const CommonElement &other) = default;
        CommonElement &operator=(const CommonElement &other) = default;

        int type;
        QString name;
    };

    explicit ContainerAbstract(QObject *parent = nullptr);
    ~ContainerAbstract() override;

    // Runs a whole walk in the host's order: verifyContainerFormat,
    // findBeginOfContainer, prepareParsing, parseElement for each top-level
    // element until the position reaches the end of the device,
    // finalizeParsing. Every top-level status goes to the sink. Returns the
    // status of verifyContainerFormat, which may read the device; nothing is
    // walked when it is not 0.
    int parseFile(const QString &fileName, InputDevice *device, ElementSink *sink);

    // Display settings.
    quint64 binaryLimit = 16;
    bool showJunk = false;
    bool showUnknown = true;
    int numberBase = 10;
    // Read the file as today's EBML and Matroska define it (RFC 8794,
    // RFC 9559): every element of their schemas known, unknown sizes,
    // lacing, block times, labels of values. Off: the classic catalogue.
    bool modernMatroska = false;

    InputDevice *dataSource = nullptr;
    quint64 currentPosition = 0;
    // Why verifyContainerFormat refused the last file, in words that a host
    // can show after the file's name; empty when the parser does not say.
    QString refusal;

    // Frame bookkeeping: one running frame number per video stream. A walk
    // starts with one counter; a parser adds counters for further streams.
    QVector<quint64> frameCounters;
    quint64 frameOffset = 0;
    quint64 frameSize = 0;
    int frameKeyframe = 0;

    // The sink that receives nodes, rows and frames (none: they are dropped).
    void setSink(ElementSink *sink)
    {
        m_sink = sink;
        m_rowSink = sink ? sink->rowSink() : nullptr;
    }
    ElementSink *sink() const { return m_sink; }

protected:
    virtual int verifyContainerFormat(const QString &fileName) = 0;
    virtual int findBeginOfContainer(qint64 *offset) = 0;
    virtual int parseElement(quint64 *length) = 0;
    virtual void prepareParsing() = 0;
    virtual void finalizeParsing() = 0;

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag);
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning, qint64 tag)
    {
        if (m_rowSink)
            m_rowSink->addField(flag, offset, code, length, name, value, extra, meaning, tag);
    }
    void annotateElement(const QString &text);
    // The same, saying what the annotation is (a parser that tells hosts
    // the kinds of its rows and annotations).
    void annotateElement(const QString &text, NoteKind kind)
    {
        if (m_sink)
            m_sink->noteElement(kind, text);
    }
    void endElement();
    // Reverses the first count bytes (at most 8) in place.
    void swapByteOrder(void *buffer, quint8 count)
    {
        auto *bytes = static_cast<unsigned char *>(buffer);
        for (int i = 0, j = (count > 8 ? 8 : count) - 1; i < j; ++i, --j) {
            const unsigned char b = bytes[i];
            bytes[i] = bytes[j];
            bytes[j] = b;
        }
    }
    int addFrame(uint index, quint64 number);

private:
    ElementSink *m_sink = nullptr;
    ElementSink *m_rowSink = nullptr;
};
