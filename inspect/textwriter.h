#pragma once

#include "encodingcache.h"
#include "streamwriter.h"

// Writes the tree as indented text while the walk goes: a line per node
// (name, offset, whole length), a line per row (name, value, meaning,
// offset, length), a line per annotation and per registered frame.
class TextWriter : public StreamWriter
{
public:
    explicit TextWriter(OutputBuffer *out);

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

    // Values and meanings with control characters escaped (names go out as
    // plain UTF-8).
    static char *escape(char *out, const char16_t *text, qsizetype size);

private:
    static constexpr size_t IndentSlack = 32;
    char *indent(char *p) const;
    void text(QStringView value);

    using Names = EncodingCache<&OutputBuffer::encodeUtf8>;
    using Values = EncodingCache<&TextWriter::escape>;
    Names m_names;
    Values m_values;
    OffsetDigits m_offsets;

    int m_depth = 0;
    quint64 m_frames = 0;
};
