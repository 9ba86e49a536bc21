// The host's stages, between a real walk and a sink that records what they
// add.
#include "chain.h"
#include "containermkv.h"
#include "crcstage.h"
#include "ebml.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

namespace {

// A master whose first child is a CRC-32 of the rest.
QByteArray withCrc(quint32 id, const QByteArray &rest)
{
    // The table-driven CRC is held against the CRCs that ffmpeg wrote, end to end.
    const quint32 crc = CrcStage::crc32(
        0, reinterpret_cast<const unsigned char *>(rest.constData()), size_t(rest.size()));
    const QByteArray stored = ebml::bytes(
        {int(crc & 0xFF), int((crc >> 8) & 0xFF), int((crc >> 16) & 0xFF), int(crc >> 24)});
    return ebml::el(id, ebml::el(0xBF, stored) + rest);
}

struct Verdicts : Sink
{
    void beginElement(quint64, quint64, const QString &, qint64) override {}
    void addField(bool, quint64, quint8, quint64, const QString &, const QString &, const QString &,
                  const QString &, qint64) override
    {}
    void annotateElement(const QString &) override {}
    void endElement() override {}
    void addFrame(const FrameRecord &) override {}
    void topLevelParsed(int) override {}
    void crcChecked(CrcVerdict verdict) override { verdicts.push_back(verdict); }
    std::vector<CrcVerdict> verdicts;
};

// Verdicts on every checked master, and the bytes read from the file.
std::pair<std::vector<CrcVerdict>, quint64> check(const QByteArray &bytes)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(bytes);
    file.close();
    InputDevice input;
    EXPECT_TRUE(input.openFile(file.fileName()));
    Verdicts sink;
    const Chain chain(&sink, &input, Chain::Settings());
    ContainerMKV parser;
    parser.parseFile(QStringLiteral("x.mkv"), &input, chain.head());
    return {sink.verdicts, input.bytesRead()};
}

} // namespace

// 100 Clusters, each with a CRC-32 and inside the one before, around 256 KiB
// of padding: each verdict is right, and the file is read about once, not
// once per level.
TEST(CrcStage, ChecksNestedMastersInOnePass)
{
    QByteArray inner = ebml::el(ebml::Void, QByteArray(256 << 10, 'v'));
    for (int level = 0; level < 100; ++level)
        inner = withCrc(ebml::Cluster, inner);
    auto [verdicts, read] = check(inner);
    EXPECT_EQ(verdicts, std::vector<CrcVerdict>(100, CrcVerdict::Ok));
    EXPECT_LT(read, 2 * quint64(inner.size()));

    // One byte of the padding changed: every level covers it.
    inner[inner.size() - 7] = 'w';
    EXPECT_EQ(check(inner).first, std::vector<CrcVerdict>(100, CrcVerdict::Mismatch));

    // A CRC-32 that is not 4 bytes, and a master that the file does not hold
    // whole, cannot match; a CRC-32 that is not the first child is no check.
    const QByteArray time = ebml::uel(ebml::Timecode, 7);
    const QByteArray good = withCrc(ebml::Cluster, time);
    const QByteArray crc = good.mid(5, 6);
    const QByteArray wide = ebml::el(ebml::Cluster, ebml::el(0xBF, crc.mid(2) + 'x') + time);
    const QByteArray second = ebml::el(ebml::Cluster, time + crc);
    EXPECT_EQ(check(good + good).first, std::vector<CrcVerdict>(2, CrcVerdict::Ok));
    EXPECT_EQ(check(wide).first, std::vector<CrcVerdict> {CrcVerdict::Mismatch});
    EXPECT_EQ(check(good.left(good.size() - 1)).first,
              std::vector<CrcVerdict> {CrcVerdict::Mismatch});
    EXPECT_TRUE(check(second).first.empty());
}
