// Value reporters: how each element type's payload becomes its "value" row.

#include "ebml.h"
#include "probe.h"

#include <gtest/gtest.h>

using namespace ebml;

namespace {

using Reporter = Probe::ElementHandler;

struct Outcome
{
    int status = -1;
    QVector<ElementRow> rows;
    QString value() const { return rows.isEmpty() ? QStringLiteral("<no row>") : rows[0].value; }
};

constexpr quint64 kAt = 3; // the payload's offset: reporters must not read from 0

// Calls a reporter on payload (claiming claimed bytes, or its real size),
// with bytes before and after it that must not show up in the value. Checks
// what every value row has in common.
Outcome report(Probe &p, Reporter reporter, int type, const QByteArray &payload,
               quint64 claimed = ~quint64(0))
{
    const quint64 dataSize = claimed == ~quint64(0) ? quint64(payload.size()) : claimed;
    p.load(QByteArray(int(kAt), '\x55') + payload + "ff");
    p.tree.clear();
    Probe::ElementMKV r = p.record(type, kAt, dataSize);
    p.device.resetCounts();
    Outcome out;
    {
        OpenNode node(p);
        out.status = (p.*reporter)(&r);
        out.rows = node.node().rows;
    }
    EXPECT_LE(out.rows.size(), 1);
    for (const ElementRow &row : out.rows) {
        EXPECT_EQ(row.name, "value");
        EXPECT_EQ(row.offset, kAt);
        EXPECT_EQ(row.length, dataSize);
        EXPECT_TRUE(row.meaning.isEmpty());
    }
    return out;
}

Outcome viaType(Probe &p, int type, const QByteArray &payload)
{
    return report(p, &Probe::reportValue, type, payload);
}

TEST(UnsignedReporter, Values)
{
    Probe p;
    EXPECT_EQ(viaType(p, Probe::UInteger, QByteArray()).value(), "0");
    EXPECT_EQ(viaType(p, Probe::UInteger, bytes({0x00})).value(), "0");
    EXPECT_EQ(viaType(p, Probe::UInteger, bytes({0xFF})).value(), "255");
    EXPECT_EQ(viaType(p, Probe::UInteger, bytes({0x01, 0x00})).value(), "256");
    EXPECT_EQ(viaType(p, Probe::UInteger, bytes({0x0F, 0x42, 0x40})).value(), "1000000");
    EXPECT_EQ(viaType(p, Probe::UInteger, QByteArray(8, '\xFF')).value(), "18446744073709551615");
    EXPECT_EQ(viaType(p, Probe::UInteger, uintN(0x0102030405060708ULL, 8)).value(),
              "72623859790382856");
}

TEST(SignedReporter, SignExtendsFromThePayloadLength)
{
    Probe p;
    EXPECT_EQ(viaType(p, Probe::SInteger, QByteArray()).value(), "0");
    EXPECT_EQ(viaType(p, Probe::SInteger, bytes({0xD8})).value(), "-40");
    EXPECT_EQ(viaType(p, Probe::SInteger, bytes({0x7F})).value(), "127");
    EXPECT_EQ(viaType(p, Probe::SInteger, bytes({0x80})).value(), "-128");
    EXPECT_EQ(viaType(p, Probe::SInteger, bytes({0xFF, 0xFE})).value(), "-2");
    EXPECT_EQ(viaType(p, Probe::SInteger, bytes({0x00, 0xFF})).value(), "255");
    EXPECT_EQ(viaType(p, Probe::SInteger, bytes({0x80, 0x00, 0x00})).value(), "-8388608");
    EXPECT_EQ(viaType(p, Probe::SInteger, uintN(0x8000000000000000ULL, 8)).value(),
              "-9223372036854775808");
    EXPECT_EQ(viaType(p, Probe::SInteger, uintN(0x7FFFFFFFFFFFFFFFULL, 8)).value(),
              "9223372036854775807");
    EXPECT_EQ(viaType(p, Probe::SInteger, QByteArray(7, '\xFF')).value(), "-1");
}

TEST(DateReporter, ShowsSignedNanoseconds)
{
    Probe p;
    // 2001-01-01 plus 700,000,000 seconds, and a date before 2001.
    EXPECT_EQ(viaType(p, Probe::Date, uintN(700000000000000000ULL, 8)).value(),
              "700000000000000000");
    EXPECT_EQ(viaType(p, Probe::Date, uintN(quint64(-1000000000LL), 8)).value(), "-1000000000");
}

TEST(FloatReporter, SingleAndDoublePrecision)
{
    Probe p;
    EXPECT_EQ(viaType(p, Probe::Float, bytes({0x3F, 0x80, 0x00, 0x00})).value(), "1");
    EXPECT_EQ(viaType(p, Probe::Float, bytes({0x3D, 0xCC, 0xCC, 0xCD})).value(), "0.1");
    EXPECT_EQ(viaType(p, Probe::Float, bytes({0xC0, 0x00, 0x00, 0x00})).value(), "-2");
    EXPECT_EQ(viaType(p, Probe::Float, uintN(0x40E7700000000000ULL, 8)).value(), "48000");
    EXPECT_EQ(viaType(p, Probe::Float, f64(1234567.0)).value(), "1.23457e+06");
    EXPECT_EQ(viaType(p, Probe::Float, f64(0.000001)).value(), "1e-06");
    EXPECT_EQ(viaType(p, Probe::Float, f32(29.97f)).value(), "29.97");
    EXPECT_EQ(viaType(p, Probe::Float, QByteArray(8, '\0')).value(), "0");
}

TEST(FloatReporter, OtherLengthsAreRefused)
{
    Probe p;
    for (int n : {0, 1, 2, 3, 5, 7, 9, 10}) {
        const Outcome o = viaType(p, Probe::Float, QByteArray(n, '\x3F'));
        EXPECT_EQ(o.status, Probe::StatusLengthRefused) << n;
        EXPECT_TRUE(o.rows.isEmpty()) << n;
    }
}

TEST(BinaryReporter, HexDigits)
{
    Probe p;
    EXPECT_EQ(viaType(p, Probe::Binary, bytes({0x1A, 0x45, 0xDF, 0xA3})).value(), "1a45dfa3");
    EXPECT_EQ(viaType(p, Probe::Binary, bytes({0x00, 0x0F, 0xF0})).value(), "000ff0");

    const Outcome empty = viaType(p, Probe::Binary, QByteArray());
    EXPECT_EQ(empty.status, 0);
    ASSERT_EQ(empty.rows.size(), 1);
    EXPECT_EQ(empty.value(), "");
}

TEST(BinaryReporter, ShowsBinaryLimitBytesButSpansThePayload)
{
    Probe p;
    p.binaryLimit = 4;
    QByteArray payload;
    for (int i = 0; i < 40; ++i)
        payload.append(char(i));
    const Outcome o = viaType(p, Probe::Binary, payload); // the row length is checked there
    EXPECT_EQ(o.value(), "00010203");
    EXPECT_LE(p.device.requested, 4u) << "only what is shown is read";

    p.binaryLimit = 0;
    EXPECT_EQ(viaType(p, Probe::Binary, payload).value(), "");
}

TEST(StringReporter, StopsAtTheFirstNul)
{
    Probe p;
    EXPECT_EQ(viaType(p, Probe::String, QByteArray("V_VP8\0\0\0", 8)).value(), "V_VP8");
    EXPECT_EQ(viaType(p, Probe::String, QByteArray("ab\0cd", 5)).value(), "ab");
    EXPECT_EQ(viaType(p, Probe::String, QByteArray("\0abc", 4)).value(), "");
    // Without a NUL: all the payload's bytes, and not the ones after it.
    EXPECT_EQ(viaType(p, Probe::String, "matroska").value(), "matroska");
    EXPECT_EQ(viaType(p, Probe::String, QByteArray()).value(), "");
    // Bytes over 0x7F are Latin-1.
    EXPECT_EQ(viaType(p, Probe::String, bytes({0x61, 0xE9})).value(),
              QString(QLatin1Char('a')) + QChar(0xE9));
}

TEST(StringReporter, IsNotCutAtBinaryLimit)
{
    Probe p;
    p.binaryLimit = 2;
    EXPECT_EQ(viaType(p, Probe::String, "und-Latn").value(), "und-Latn");
}

TEST(Utf8Reporter, DecodesUtf8)
{
    Probe p;
    EXPECT_EQ(viaType(p, Probe::UTF8, bytes({0xC3, 0xA9})).value(), QString(QChar(0x00E9)));
    EXPECT_EQ(viaType(p, Probe::UTF8, bytes({0xE2, 0x82, 0xAC, 0x00, 0x41})).value(),
              QString(QChar(0x20AC)));
    EXPECT_EQ(viaType(p, Probe::UTF8, "Title").value(), "Title");
}

TEST(Utf8Reporter, ShowsBinaryLimitBytesButSpansThePayload)
{
    Probe p;
    p.binaryLimit = 16;
    const Outcome o = viaType(p, Probe::UTF8, "Lavf59.27.100 and more");
    EXPECT_EQ(o.value(), "Lavf59.27.100 an");
}

TEST(JunkReporter, HiddenUnlessAsked)
{
    Probe p;
    const Outcome hidden = report(p, &Probe::parseJunk, Probe::Binary, QByteArray(6, '\0'));
    EXPECT_EQ(hidden.status, 0);
    EXPECT_TRUE(hidden.rows.isEmpty());
    EXPECT_EQ(p.device.requested, 0u);

    p.showJunk = true;
    const Outcome zeros = report(p, &Probe::parseJunk, Probe::Binary, QByteArray(6, '\0'));
    EXPECT_EQ(zeros.status, 0);
    ASSERT_EQ(zeros.rows.size(), 1);
    EXPECT_EQ(zeros.value(), "");

    EXPECT_EQ(report(p, &Probe::parseJunk, Probe::Binary, "pad").value(), "pad");
}

TEST(FileDataReporter, MarksTheWholePayloadWithoutReadingIt)
{
    Probe p;
    const Outcome small = report(p, &Probe::parseData, Probe::Binary, "attached");
    ASSERT_EQ(small.rows.size(), 1);
    EXPECT_EQ(small.value(), "");
    EXPECT_EQ(p.device.calls, 0);

    // A claimed size far beyond the input: the row says so, nothing is read.
    const Outcome huge =
        report(p, &Probe::parseData, Probe::Binary, "abc", quint64(1) << 50);
    ASSERT_EQ(huge.rows.size(), 1);
    EXPECT_EQ(p.device.calls, 0);
}

TEST(FileDataReporter, ThroughTheWalker)
{
    Probe p;
    const QByteArray data(300, 'd');
    p.load(el(Attachments, el(AttachedFile, el(FileData, data))));
    EXPECT_EQ(p.walkAt(0), 0);
    const ElementNode *n = findNode(p.tree.roots, "FileData");
    ASSERT_NE(n, nullptr);
    const ElementRow *row = n->row("value");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->value, "");
    EXPECT_EQ(row->length, 300u);
    EXPECT_EQ(row->offset + row->length, n->offset + n->size);
}

TEST(ValueDispatch, MastersAndUntypedRecordsReportNothing)
{
    Probe p;
    for (int type : {0, int(Probe::Master), 9, -1}) {
        const Outcome o = viaType(p, type, bytes({0x81, 0x01}));
        EXPECT_EQ(o.status, 0) << type;
        EXPECT_TRUE(o.rows.isEmpty()) << type;
    }
}

TEST(ValueDispatch, EachTypeReachesItsReporter)
{
    // The same four bytes, read as each type.
    const QByteArray four = bytes({0x3F, 0x80, 0x00, 0x00});
    Probe p;
    EXPECT_EQ(viaType(p, Probe::UInteger, four).value(), "1065353216");
    EXPECT_EQ(viaType(p, Probe::SInteger, four).value(), "1065353216");
    EXPECT_EQ(viaType(p, Probe::Date, four).value(), "1065353216");
    EXPECT_EQ(viaType(p, Probe::Float, four).value(), "1");
    EXPECT_EQ(viaType(p, Probe::Binary, four).value(), "3f800000");
    EXPECT_EQ(viaType(p, Probe::String, four).value(), QString::fromLatin1("?\x80"));
    EXPECT_EQ(viaType(p, Probe::UTF8, bytes({0x41, 0x42})).value(), "AB");
}

TEST(ValueDispatch, WalkerUsesTheTypeReporterWhenThereIsNoHandler)
{
    Probe p;
    p.load(el(Info, el(Duration, f64(5000.0)) + el(DateUTC, uintN(1, 8)) +
                        el(0x73A4 /* SegmentUID */, bytes({0xAB, 0xCD}))));
    p.walkAt(0);
    EXPECT_EQ(valueOf(p.tree.roots, "Duration"), "5000");
    EXPECT_EQ(valueOf(p.tree.roots, "DateUTC"), "1");
    EXPECT_EQ(valueOf(p.tree.roots, "SegmentUID"), "abcd");
}

} // namespace
