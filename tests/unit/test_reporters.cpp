// Value reporters: how each element type's payload becomes its "value" row.
// The row always spans the whole payload, however much of it is shown.

#include "ebml.h"
#include "probe.h"

using namespace ebml;

namespace {

struct Outcome
{
    int status = -1;
    QVector<ElementRow> rows;
    QString value() const { return rows.isEmpty() ? QStringLiteral("<no row>") : rows[0].value; }
};

constexpr quint64 kAt = 3; // the payload's offset: reporters must not read from 0

// Calls a reporter on payload, which claims `claimed` bytes (its own size by
// default), with bytes before and after it that must not show in the value.
Outcome report(Probe &p, const QByteArray &payload, int type,
               Probe::ElementHandler reporter = &Probe::reportValue, qint64 claimed = -1)
{
    const quint64 dataSize = claimed < 0 ? quint64(payload.size()) : quint64(claimed);
    p.load(QByteArray(int(kAt), '\x55') + payload + "ff");
    p.tree.clear();
    p.device.requested = 0;
    Outcome out;
    out.status = p.call(reporter, type, kAt, dataSize);
    out.rows = p.root().rows;
    EXPECT_LE(out.rows.size(), 1);
    for (const ElementRow &row : out.rows) {
        EXPECT_EQ(row.name, "value");
        EXPECT_EQ(row.offset, kAt);
        EXPECT_EQ(row.length, dataSize);
        EXPECT_TRUE(row.meaning.isEmpty());
    }
    return out;
}

TEST(Reporters, EachTypeShowsItsValue)
{
    const QByteArray four = bytes({0x3F, 0x80, 0x00, 0x00});
    const struct
    {
        int type;
        QByteArray payload;
        QString value;
    } cases[] = {
        {Probe::UInteger, bytes({0x0F, 0x42, 0x40}), "1000000"},
        {Probe::UInteger, uintN(0x0102030405060708ULL, 8), "72623859790382856"},
        {Probe::UInteger, QByteArray(8, '\xFF'), "18446744073709551615"},
        // Signed integers and dates extend the sign of their payload length.
        {Probe::SInteger, QByteArray(), "0"},
        {Probe::SInteger, bytes({0xD8}), "-40"},
        {Probe::SInteger, bytes({0x00, 0xFF}), "255"},
        {Probe::SInteger, bytes({0x80, 0x00, 0x00}), "-8388608"},
        {Probe::SInteger, QByteArray(7, '\xFF'), "-1"},
        {Probe::SInteger, four, "1065353216"},
        {Probe::SInteger, uintN(0x8000000000000000ULL, 8), "-9223372036854775808"},
        {Probe::SInteger, uintN(0x7FFFFFFFFFFFFFFFULL, 8), "9223372036854775807"},
        {Probe::Date, uintN(700000000000000000ULL, 8), "700000000000000000"},
        {Probe::Date, uintN(quint64(-1000000000LL), 8), "-1000000000"},
        // Floats: big-endian IEEE 754, 4 or 8 bytes, 6 significant digits.
        {Probe::Float, four, "1"},
        {Probe::Float, bytes({0x3D, 0xCC, 0xCC, 0xCD}), "0.1"},
        {Probe::Float, bytes({0x41, 0xEF, 0xC2, 0x8F}), "29.97"},
        {Probe::Float, uintN(0x40E7700000000000ULL, 8), "48000"},
        {Probe::Float, f64(1234567.0), "1.23457e+06"},
        {Probe::Float, f64(0.000001), "1e-06"},
        {Probe::Binary, bytes({0x1A, 0x45, 0xDF, 0xA3}), "1a45dfa3"},
        {Probe::Binary, bytes({0x00, 0x0F, 0xF0}), "000ff0"},
        // ASCII strings stop at the first NUL; bytes over 0x7F are Latin-1.
        {Probe::String, QByteArray("V_VP8\0\0\0", 8), "V_VP8"},
        {Probe::String, QByteArray("\0abc", 4), ""},
        {Probe::String, QByteArray(), ""},
        {Probe::String, four, QString::fromLatin1("?\x80")},
        {Probe::UTF8, bytes({0xC3, 0xA9}), QString(QChar(0xE9))},
        {Probe::UTF8, bytes({0xE2, 0x82, 0xAC, 0x00, 0x41}), QString(QChar(0x20AC))},
        // Types without a value show no row.
        {0, bytes({0x81, 0x01}), "<no row>"},
        {Probe::Master, bytes({0x81, 0x01}), "<no row>"},
        {9, bytes({0x81, 0x01}), "<no row>"},
        {-1, bytes({0x81, 0x01}), "<no row>"},
    };
    Probe p;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ": " << c.payload.toHex().data());
        const Outcome o = report(p, c.payload, c.type);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.value(), c.value);
    }
}

// Numbers up to 65535 either way share texts from a table in which each
// number is made from a tenth of it: the edges of each digit count, of the
// table, and both signs.
TEST(Reporters, NumbersAtTheEdgesOfTheSharedTexts)
{
    Probe p;
    for (qint64 v : {0,  1,   2,   3,   4,    5,    6,     7,     8,     9,     10,    11,
                     99, 100, 101, 999, 1000, 9999, 10000, 12345, 65535, 65536, 99999, 100000}) {
        for (qint64 signedValue : {v, -v}) {
            const int type = signedValue < 0 ? Probe::SInteger : Probe::UInteger;
            EXPECT_EQ(report(p, uintN(quint64(signedValue), 3), type).value(),
                      QString::number(signedValue));
        }
    }
}

TEST(Reporters, WhatIsShownAndWhatIsRead)
{
    // Binary, UTF-8 and Void payloads show binaryLimit bytes, ASCII strings
    // all of theirs; Void shows nothing unless asked and FileData never reads.
    QByteArray forty;
    for (int i = 0; i < 40; ++i)
        forty.append(char(i));
    using R = Probe::ElementHandler;
    const R value = &Probe::reportValue, junk = &Probe::parseJunk, data = &Probe::parseData;
    // read: the most bytes read.
    const struct
    {
        R reporter;
        int type;
        QByteArray payload;
        quint64 binaryLimit;
        bool showJunk;
        const char *value;
        quint64 read;
        qint64 claimed = -1;
    } cases[] = {
        {value, Probe::Binary, forty, 4, false, "00010203", 4},
        {value, Probe::Binary, forty, 0, false, "", 0},
        {value, Probe::UTF8, "Lavf59.27.100", 4, false, "Lavf", 4},
        {value, Probe::String, "und-Latn", 2, false, "und-Latn", 8},
        {junk, Probe::Binary, "pad", 16, false, "<no row>", 0},
        {junk, Probe::Binary, "pad", 2, true, "pa", 2},
        {junk, Probe::Binary, QByteArray(6, '\0'), 16, true, "", 6},
        {data, Probe::Binary, "attached", 16, false, "", 0},
        {data, Probe::Binary, "attached", 16, false, "", 0, qint64(1) << 50},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.payload.toStdString());
        Probe p;
        p.binaryLimit = c.binaryLimit;
        p.showJunk = c.showJunk;
        const Outcome o = report(p, c.payload, c.type, c.reporter, c.claimed);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.value(), c.value);
        EXPECT_LE(p.device.requested, c.read);
    }

    // The catalogue sends FileData and Void there.
    Probe p;
    p.load(el(Attachments, el(AttachedFile, el(FileData, QByteArray(300, 'd')))) + el(Void, "pad"));
    EXPECT_EQ(p.walkAt(0), 0);
    EXPECT_EQ(valueOf(p.tree.roots, "FileData"), "");
    p.walkAt(quint64(p.device.size()) - 5);
    EXPECT_EQ(p.root(1).row("value"), nullptr);
}

} // namespace
