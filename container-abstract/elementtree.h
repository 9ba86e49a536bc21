// SPDX-License-Identifier: MIT
#pragma once

#include "elementsink.h"

#include <QString>
#include <QVector>

#include <vector>

struct VANTOREL_ABSTRACT_EXPORT ElementRow
{
    bool flag = false;
    quint64 offset = 0;
    quint8 code = 0;
    quint64 length = 0;
    QString name;
    QString value;
    QString extra;
    QString meaning;
    qint64 tag = -1;
};

struct VANTOREL_ABSTRACT_EXPORT ElementNode
{
    quint64 offset = 0;
    quint64 size = 0;
    QString name;
    qint64 tag = -1;
    QVector<ElementRow> rows;
    std::vector<ElementNode> children;
    QString annotation;
    int annotations = 0; // how many times annotateElement reached this node
    int status = 0;      // the parser's status, for top-level nodes

    // The first row with this name, or null.
    const ElementRow *row(const QString &name) const;
    // The first child with this name, or null.
    const ElementNode *child(const QString &name) const;
};

// Keeps everything a parser reports, for tests and for graphical hosts.
class VANTOREL_ABSTRACT_EXPORT ElementTree : public ElementSink
{
public:
    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void topLevelParsed(int status) override;

    void clear();

    std::vector<ElementNode> roots;
    QVector<FrameRecord> frames;
    // Rows and annotations that arrived with no node open, and endElement
    // calls without a matching beginElement: all zero for a sound parser.
    int strayCalls = 0;
    // Nodes still open (zero once a parser's call has returned).
    int openNodes() const { return int(m_open.size()); }

private:
    ElementNode *current() { return m_open.empty() ? nullptr : m_open.back(); }
    std::vector<ElementNode *> m_open;
};
