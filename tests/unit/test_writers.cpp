// Parts of the command-line host's writers that their whole outputs (the
// end-to-end golden files) cannot show: numbers of every digit count, the
// encoding cache against reused addresses, frames spooled in batches.
#include "jsonwriter.h"
#include "outputbuffer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// What was written to a temporary file, which is then closed.
QByteArray readAndClose(std::FILE *file)
{
    std::rewind(file);
    QByteArray bytes;
    char chunk[1 << 16];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, qsizetype(n));
    std::fclose(file);
    return bytes;
}

} // namespace

TEST(OutputBuffer, WritesNumbersAtEveryDigitCount)
{
    std::vector<quint64> numbers = {0, 18446744073709551615ull};
    for (quint64 power = 1; power <= 1000000000000000000ull; power *= 10) {
        numbers.push_back(power - 1);
        numbers.push_back(power);
        numbers.push_back(power + 1);
        numbers.push_back(power * 10 - 1); // up to 10^19 - 1
    }
    numbers.push_back(4294967295ull); // 32-bit edges
    numbers.push_back(4294967296ull);
    numbers.push_back(10000000000000000000ull);
    for (const quint64 n : numbers) {
        char digits[24];
        char *end = OutputBuffer::writeNumber(digits, n);
        EXPECT_EQ(std::string(digits, end), std::to_string(n));
    }
}

// Texts are recognised by their address, so a buffer that is reused for
// another text must never bring back the first one's encoding.
TEST(EncodingCache, NeverServesAnOldTextFromAReusedAddress)
{
    char16_t buffer[] = u"Timecode";
    EncodingCache<&Escape::jsonQuoted> cache;
    auto encode = [&cache, &buffer](qsizetype size) {
        char out[128];
        char *end = cache.put(out, buffer, size);
        return std::string(out, end);
    };
    EXPECT_EQ(encode(8), "\"Timecode\"");
    EXPECT_EQ(encode(8), "\"Timecode\""); // from the cache
    buffer[0] = u'L';
    EXPECT_EQ(encode(8), "\"Limecode\"");
    EXPECT_EQ(encode(4), "\"Lime\"");
    buffer[7] = u'"';
    EXPECT_EQ(encode(8), "\"Limecod\\\"\"");
    buffer[1] = u'\u00e9';
    EXPECT_EQ(encode(8), "\"L\xc3\xa9mecod\\\"\"");
}

// Frames are kept in batches and spooled; the document lists them all, in order.
TEST(JsonWriter, ListsEveryFramePastTheSpooledBatches)
{
    std::FILE *file = std::tmpfile();
    constexpr quint64 Count = 100000;
    {
        OutputBuffer out(file);
        JsonWriter writer(&out);
        writer.beginFile(QStringLiteral("many.mkv"), 10);
        for (quint64 i = 0; i < Count; ++i)
            writer.addFrame(FrameRecord {uint(i % 3), i, 1000 + i, 7, int(i % 2)});
        writer.endFile();
    }
    const QJsonArray frames
        = QJsonDocument::fromJson(readAndClose(file)).object().value("frames").toArray();
    ASSERT_EQ(quint64(frames.size()), Count);
    for (quint64 i = 0; i < Count; i += 9973) {
        const QJsonObject frame = frames[qsizetype(i)].toObject();
        EXPECT_EQ(frame.value("stream").toInteger(), qint64(i % 3));
        EXPECT_EQ(frame.value("number").toInteger(), qint64(i));
        EXPECT_EQ(frame.value("offset").toInteger(), qint64(1000 + i));
        EXPECT_EQ(frame.value("keyframe").toBool(), i % 2 == 1);
    }
}
