// SPDX-License-Identifier: MIT
// Parts of the command-line host that its whole outputs (the end-to-end
// golden files) cannot show: the writers' numbers of every digit count, the
// encoding cache against reused addresses, frames spooled in batches, CRC
// checks of nested masters in one pass, the glance view's held lines on a
// call stream that no sample makes, and the options table's keys.
#include "chain.h"
#include "classicstage.h"
#include "containermkv.h"
#include "crcstage.h"
#include "ebml.h"
#include "elementtracker.h"
#include "glancewriter.h"
#include "jsonwriter.h"
#include "options.h"
#include "outputbuffer.h"
#include "textwriter.h"
#include "trackerstage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

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
    // 32-bit edges, 10^19 and the largest; each power of ten up to 10^18,
    // one less and one more, and 10^(n+1) - 1, up to 10^19 - 1.
    std::vector<quint64> numbers
        = {0, 4294967295ull, 4294967296ull, 10000000000000000000ull, 18446744073709551615ull};
    for (quint64 power = 1; power <= 1000000000000000000ull; power *= 10)
        numbers.insert(numbers.end(), {power - 1, power, power + 1, power * 10 - 1});
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
        const ElementTracker tracker;
        JsonWriter writer(&out, tracker);
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

namespace {

// A walk cut short inside its Segment: a value row after a block row, a
// Cluster inside a Cluster, a frame, no endElement for the Segment.
QByteArray glance(const GlanceWriter::Settings &settings)
{
    std::FILE *file = std::tmpfile();
    {
        OutputBuffer out(file);
        ElementTracker tracker;
        GlanceWriter writer(&out, settings, tracker);
        TrackerStage w(&writer, &tracker, true, true);
        const auto row = [&](quint64 at, RowKind kind, const char *name, const char *value,
                             const char *meaning = "") {
            w.addField(false, at, quint8(kind), 1, QString::fromLatin1(name),
                       QString::fromLatin1(value), {}, QString::fromLatin1(meaning), 0);
        };
        const auto begin = [&](quint64 at, quint64 size, const char *name) {
            w.beginElement(at, size, QString::fromLatin1(name), 0);
            row(at, RowKind::Id, "id", name);
            row(at + 1, RowKind::Size, "size", "9");
        };
        w.beginFile(QStringLiteral("x.mkv"), 90);
        w.mark(PastFileEnd);
        begin(0, 100, "Segment");
        begin(5, 3, "Duration");
        row(7, RowKind::Value, "value", "12", " ms ");
        w.annotateElement(QStringLiteral("line\nbreak"));
        w.endElement();
        begin(0x2a, 40, "Cluster");
        begin(44, 20, "SimpleBlock");
        row(46, RowKind::TrackNumber, "TrackNumber", "1");
        row(47, RowKind::Value, "value", "late");
        w.addFrame(FrameRecord {0, 7, 48, 9, 1});
        w.endElement();
        begin(64, 10, "Cluster");
        begin(66, 2, "Void");
        w.endElement();
        w.endElement();
        w.crcChecked(CrcVerdict::Mismatch);
        w.endElement();
        w.endFile();
    }
    return readAndClose(file);
}

} // namespace

TEST(GlanceWriter, HoldsEachLineUntilItsElementShowsMore)
{
    EXPECT_EQ(glance({}).toStdString(),
              "x.mkv, 90 bytes\n"
              "Segment  @0 len 100  (past the end of the file)\n"
              "  Duration  @5 len 3 = 12 (ms)\n"
              "    # line\\nbreak\n"
              "  Cluster  @42 len 40\n"
              "    SimpleBlock  @44 len 20\n"
              "      TrackNumber = 1  @46 len 1\n"
              "      value = late  @47 len 1\n"
              "      => frame 7 of video stream 0, keyframe\n"
              "    Cluster  @64 len 10\n"
              "      Void  @66 len 2\n"
              "    # CRC-32 mismatch\n"
              "1 video frames\n");
    GlanceWriter::Settings clusters;
    clusters.elements = QStringList {"Cluster", "Void"};
    clusters.depth = 0;
    clusters.hexOffsets = true;
    EXPECT_EQ(glance(clusters).toStdString(),
              "x.mkv, 90 bytes\n"
              "  Cluster  @0x2a len 40\n"
              "    # CRC-32 mismatch\n"
              "    ... 3 elements below\n"
              "1 video frames\n");
}

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

// The CRC verdicts of the text tree in order, and the bytes read from the file.
std::pair<QStringList, quint64> check(const QByteArray &bytes)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(bytes);
    file.close();
    InputDevice input;
    EXPECT_TRUE(input.openFile(file.fileName()));
    std::FILE *text = std::tmpfile();
    {
        OutputBuffer out(text);
        ElementTracker tracker;
        TextWriter writer(&out, tracker);
        Chain::Settings settings;
        settings.checkCrcs = true;
        const Chain chain(&writer, &input, settings, &tracker);
        ContainerMKV parser;
        parser.parseFile(QStringLiteral("x.mkv"), &input, chain.head());
    }
    QStringList verdicts;
    for (const QByteArray &line : readAndClose(text).split('\n'))
        if (line.trimmed().startsWith("# CRC-32 "))
            verdicts << QString::fromLatin1(line.trimmed().mid(9));
    return {verdicts, input.bytesRead()};
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
    EXPECT_EQ(verdicts, QStringList(100, "ok"));
    EXPECT_LT(read, 2 * quint64(inner.size()));

    // One byte of the padding changed: every level covers it.
    inner[inner.size() - 7] = 'w';
    EXPECT_EQ(check(inner).first, QStringList(100, "mismatch"));

    // A CRC-32 that is not 4 bytes, and a master that the file does not hold
    // whole, cannot match; a CRC-32 that is not the first child is no check.
    const QByteArray time = ebml::uel(ebml::Timecode, 7);
    const QByteArray good = withCrc(ebml::Cluster, time);
    const QByteArray crc = good.mid(5, 6);
    const QByteArray wide = ebml::el(ebml::Cluster, ebml::el(0xBF, crc.mid(2) + 'x') + time);
    const QByteArray second = ebml::el(ebml::Cluster, time + crc);
    EXPECT_EQ(check(good + good).first, QStringList(2, "ok"));
    EXPECT_EQ(check(wide).first, QStringList {"mismatch"});
    EXPECT_EQ(check(good.left(good.size() - 1)).first, QStringList {"mismatch"});
    EXPECT_TRUE(check(second).first.empty());
}

namespace {

// A master whose first child is a CRC-32 of the bytes it claims after that
// child: rest, and over more past the master's contents. sealed() fills it in.
QByteArray crcDraft(quint32 id, const QByteArray &rest, int over = 0, bool wrong = false)
{
    const int claim = rest.size() + over;
    return ebml::header(id, quint64(6 + claim))
        + ebml::bytes({0xBF, 0x84, 'C', wrong ? 'X' : 'R', claim >> 8, claim & 0xFF}) + rest;
}

// Each draft CRC-32 filled in, the last first so that those before cover its
// final bytes; then the first "!!!!" changed.
QByteArray sealed(QByteArray file)
{
    const QByteArray mark("\xBF\x84\x43");
    for (qsizetype at = file.lastIndexOf(mark); at > 0; at = file.lastIndexOf(mark, at - 1)) {
        const QByteArray range = file.mid(at + 6, quint8(file[at + 4]) << 8 | quint8(file[at + 5]));
        const quint32 crc = CrcStage::crc32(0, reinterpret_cast<const uchar *>(range.constData()),
                                            size_t(range.size()))
            ^ (file[at + 3] == 'X');
        for (int i = 0; i < 4; ++i)
            file[at + 2 + i] = char(crc >> (8 * i));
    }
    if (const qsizetype bad = file.indexOf("!!!!"); bad >= 0)
        file[bad] = '?';
    return file;
}

} // namespace

// Nested checks get each their own verdict, also where ranges do not nest: a
// child master that runs past its parent, and a master after it whose range
// begins before the bytes already read end. Verdicts from the innermost out.
TEST(CrcStage, VerdictsOfRangesThatNestOrNot)
{
    using ebml::Cluster;
    const auto v = [](int n) { return ebml::el(ebml::Void, QByteArray(n, 'v')); };
    const QByteArray bad = ebml::el(ebml::Void, "!!!!");
    const auto three = [&](const QByteArray &inner, bool wrongMiddle, const QByteArray &tail) {
        return crcDraft(Cluster,
                        v(3) + crcDraft(Cluster, v(2) + inner + v(1), 0, wrongMiddle) + tail);
    };
    // The master after: its range begins 3 bytes before the overrunning one's end.
    const auto after = [&](const QByteArray &rest) {
        return crcDraft(Cluster,
                        v(1) + ebml::el(ebml::Tracks, crcDraft(ebml::BlockGroup, v(2), 14))
                            + crcDraft(Cluster, v(1) + rest) + v(1));
    };
    const struct
    {
        const char *name;
        QByteArray file;
        QStringList verdicts;
    } cases[] = {
        {"nested", three(crcDraft(Cluster, v(4)), false, v(2)), {"ok", "ok", "ok"}},
        {"middle wrong", three(crcDraft(Cluster, v(4)), true, v(2)), {"ok", "mismatch", "ok"}},
        {"innermost changed",
         three(crcDraft(Cluster, bad), false, v(2)),
         {"mismatch", "mismatch", "mismatch"}},
        {"outer tail changed",
         three(crcDraft(Cluster, v(4)), false, bad),
         {"ok", "ok", "mismatch"}},
        {"past parent",
         crcDraft(Cluster, v(2) + crcDraft(ebml::BlockGroup, v(3), 6)) + v(4),
         {"ok", "ok"}},
        {"past parent changed",
         crcDraft(Cluster, v(2) + crcDraft(ebml::BlockGroup, v(3), 6)) + bad,
         {"mismatch", "ok"}},
        {"after", after(v(4)), {"ok", "ok", "ok"}},
        {"after changed", after(bad), {"ok", "mismatch", "mismatch"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(check(sealed(c.file)).first, c.verdicts) << c.name;
}

namespace {

// The typed calls that reach the stage after the classic adapter.
struct TypedCalls : Sink
{
    void beginElement(quint64, quint64, const QString &, qint64 tag) override { ids << tag; }
    void addField(bool, quint64, quint8 code, quint64, const QString &, const QString &,
                  const QString &, const QString &, qint64 tag) override
    {
        rows.emplace_back(rowKind(code), tag);
    }
    void annotateElement(const QString &) override {}
    void noteElement(NoteKind kind, const QString &) override { notes << kind; }
    void endElement() override {}
    void addFrame(const FrameRecord &) override {}
    void topLevelParsed(int) override {}
    bool readsRowNumbers() const override { return true; }

    QList<qint64> ids;
    std::vector<std::pair<RowKind, qint64>> rows;
    QList<NoteKind> notes;
};

qint64 bits(double value)
{
    qint64 tag;
    std::memcpy(&tag, &value, sizeof tag);
    return tag;
}

} // namespace

// The classic walk's texts in, the modern walk's typed calls out: IDs by
// classic name or, for names that give none, from the element's bytes; a
// number for each row that shows one, by the element's type.
TEST(ClassicStage, TypesTheClassicCalls)
{
    using namespace MatroskaSchema;
    // Unknown elements at 0 (LanguageBCP47), 3 (no ID: a zero byte) and 4
    // (an ID of 5 bytes).
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(ebml::bytes({0x22, 0xB5, 0x9D, 0x00, 0x08, 0, 0, 0, 0}));
    file.close();
    InputDevice input;
    ASSERT_TRUE(input.openFile(file.fileName()));
    TypedCalls typed;
    ElementTracker tracker;
    ClassicStage stage(&typed, &tracker, &input, 16);
    const struct
    {
        const char *element;
        quint64 offset;
        qint64 id;
        const char *row;
        const char *value;
        RowKind kind;
        qint64 tag;
    } cases[] = {
        {"Timecode", 9, Id::Timestamp, "id", "Timecode", RowKind::Id, Id::Timestamp},
        {"SegmentInfo", 9, Id::Info, "size", "7f", RowKind::Size, 127},
        {"SegmentUID", 9, Id::SegmentUuid, "size", "7g", RowKind::Size, -1},
        {"TrackUID", 9, Id::TrackUid, "value", "18446744073709551615", RowKind::Value, -1},
        {"TrackUID", 9, Id::TrackUid, "value", "18446744073709551616", RowKind::Value, -1},
        {"TrackUID", 9, Id::TrackUid, "value", "9223372036854775808", RowKind::Value,
         std::numeric_limits<qint64>::min()},
        {"ReferenceBlock", 9, Id::ReferenceBlock, "value", "-40", RowKind::Value, -40},
        {"Duration", 9, Id::Duration, "value", "2.5e+06", RowKind::Value, bits(2.5e6)},
        {"CodecID", 9, Id::CodecId, "value", "123", RowKind::Value, -1},
        {"Unknown", 0, Id::LanguageBcp47, "value", "12", RowKind::Value, -1},
        {"Unknown", 3, -1, "id", "Unknown", RowKind::Id, -1},
        {"Unknown", 4, -1, "id", "Unknown", RowKind::Id, -1},
        {"SimpleBlock", 9, Id::SimpleBlock, "Flags", "-128", RowKind::Flags, 0x80},
        {"SimpleBlock", 9, Id::SimpleBlock, "Timecode", "-3", RowKind::Timecode, -3},
        {"SimpleBlock", 9, Id::SimpleBlock, "data", "", RowKind::Data, -1},
        {"SimpleBlock", 9, Id::SimpleBlock, "Frame", "1", RowKind::Unsaid, -1},
    };
    // Twice over one string for each name, as the walk passes them: names
    // met before are found by where their characters lie.
    QStringList names;
    for (const auto &c : cases) {
        const qsizetype met = names.indexOf(QString::fromLatin1(c.element));
        names << (met < 0 ? QString::fromLatin1(c.element) : names[met]);
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < std::size(cases); ++i) {
            const auto &c = cases[i];
            stage.beginElement(c.offset, 1, names[qsizetype(i)], -1);
            stage.addField(false, 0, 0, 1, QString::fromLatin1(c.row), QString::fromLatin1(c.value),
                           {}, {}, -1);
            ASSERT_EQ(typed.ids.back(), c.id) << c.element;
            EXPECT_EQ(typed.rows.back(), std::make_pair(c.kind, c.tag)) << c.element << c.value;
        }
    }
    for (const char *note : {"Unknown element!", "Block is shorter than its header!",
                             "Lace sizes do not fit the block!", "Unknown element"})
        stage.annotateElement(QString::fromLatin1(note));
    EXPECT_EQ(typed.notes,
              (QList<NoteKind> {NoteKind::UnknownElement, NoteKind::ShortBlock,
                                NoteKind::LacesMisfit, NoteKind::Unsaid}));
}

// Indexes count the siblings of one ID, and of the name "Unknown" for IDs
// that the walk does not know; paths keep their ends past 16 steps; a size
// is unknown only where the modern walk found a master's extent.
TEST(ElementTracker, IndexesPathsAndUnknownSizes)
{
    namespace Id = MatroskaSchema::Id;
    for (const bool modern : {true, false}) {
        ElementTracker t;
        t.beginFile(100, modern);
        const auto open = [&](qint64 id, const char *name, quint64 offset, quint64 size) {
            t.open(offset, size, QString::fromLatin1(name), id);
            t.row(RowKind::Id, offset, id > 0xFF ? 4 : 1, id);
        };
        open(Id::Segment, "Segment", 0, 300);
        t.row(RowKind::Size, 4, 1, 0x7F); // all ones: the walk found 295 bytes
        EXPECT_EQ(t.current().unknownSize, modern);
        EXPECT_TRUE(t.current().pastFileEnd);
        open(Id::Void, "Void", 5, 129);
        t.row(RowKind::Size, 6, 1, 0x7F); // all ones, as stored
        EXPECT_FALSE(t.current().unknownSize);
        EXPECT_EQ(t.current().dataOffset, 7u);
        t.close();
        for (const auto &[id, name] : {std::pair<qint64, const char *> {Id::Cluster, "Cluster"},
                                       {0x4DBB, "Seek"},
                                       {Id::Cluster, "Cluster"},
                                       {0xEE, "Unknown"},
                                       {0xEF, "Unknown"},
                                       {-1, "Damaged data"},
                                       {Id::Cluster, "Cluster"}}) {
            open(id, name, 10, 5);
            t.close();
        }
        EXPECT_EQ(t.at(0).children, 8u);
        open(Id::Cluster, "Cluster", 20, 300);
        EXPECT_TRUE(t.current().pastParentEnd);
        EXPECT_EQ(t.currentPath(), "/Segment/Cluster[4]");
        open(0xEE, "Unknown", 21, 2);
        t.close();
        open(Id::Timestamp, "Timestamp", 23, 2);
        t.close();
        open(0xEF, "Unknown", 25, 2);
        EXPECT_EQ(t.currentPath(), "/Segment/Cluster[4]/Unknown[2]");
        t.close();
        for (int level = 2; level < 20; ++level)
            open(Id::BlockGroup, "BlockGroup", 30, 2);
        EXPECT_EQ(t.currentPath(),
                  "/Segment/Cluster[4]/BlockGroup/...[14 more]..."
                  "/BlockGroup/BlockGroup/BlockGroup");
    }
}

// Options are read by key: a key with no row, or with two, would read some
// other option or none.
TEST(Options, EveryKeyHasOneRow)
{
    std::vector<int> rows(size_t(OptionKey::Count), 0);
    for (int i = 0; i < InspectOptionCount; ++i)
        ++rows[size_t(InspectOptions[i].key)];
    EXPECT_EQ(rows, std::vector<int>(size_t(OptionKey::Count), 1));
}
