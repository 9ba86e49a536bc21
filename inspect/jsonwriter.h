#pragma once

#include "streamwriter.h"

#include <cstdio>
#include <memory>
#include <vector>

// Writes the tree as one JSON document while the walk goes. Only the chain of
// open nodes is held in memory; frames are spooled to a temporary file and
// appended at the end, so memory stays flat however large the file.
class JsonWriter : public StreamWriter
{
public:
    explicit JsonWriter(OutputBuffer *out);
    ~JsonWriter() override;

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void topLevelParsed(int status) override;
    void beginFile(const QString &fileName, quint64 size) override;
    void endFile() override;

    static void writeString(OutputBuffer *out, const QString &text);

private:
    struct Open
    {
        bool rowsWritten = false;
        bool inChildren = false;
        bool childWritten = false;
        QString annotation;
        bool annotated = false;
    };
    void openChildren(Open &node);

    std::vector<Open> m_open;
    bool m_elementWritten = false;
    bool m_pendingTopLevel = false;
    // Frames wait in an anonymous temporary file, or in memory when none
    // can be had.
    std::FILE *m_frameFile = nullptr;
    std::unique_ptr<OutputBuffer> m_frameOut;
    QByteArray m_framesInMemory;
    quint64 m_frameCount = 0;
};
