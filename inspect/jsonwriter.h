#pragma once

#include "encodingcache.h"
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
    // text as a JSON string, quotes included.
    static char *encode(char *out, const char16_t *text, qsizetype size);

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

    using Strings = EncodingCache<&JsonWriter::encode>;
    Strings m_strings;
    OffsetDigits m_offsets;

    std::vector<Open> m_open;
    bool m_elementWritten = false;
    bool m_pendingTopLevel = false;

    void writeFrames(const FrameRecord *frames, size_t count);

    // Frames wait in memory, a batch at a time, and full batches in an
    // anonymous temporary file; they are written at the end. When no file
    // can be had, they all stay in memory.
    static constexpr size_t FramesInMemory = 32768;
    std::vector<FrameRecord> m_frames;
    std::FILE *m_frameFile = nullptr;
    quint64 m_spooled = 0;
    bool m_spoolFailed = false;
    bool m_frameWritten = false;
};
