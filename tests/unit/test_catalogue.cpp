// The element catalogue and searchID: what the walker knows about each ID.

#include "probe.h"

#include <QMap>
#include <QSet>

#include <gtest/gtest.h>

namespace {

using Record = Probe::ElementMKV;

// A record whose every field holds a value a lookup must not leave behind.
Record dirtyRecord()
{
    Record r;
    r.type = 99;
    r.name = QStringLiteral("before");
    r.handler = &Probe::parseBlock;
    r.description = QStringLiteral("old");
    r.elementOffset = 11;
    r.elementSize = 22;
    r.dataOffset = 33;
    r.dataSize = 44;
    return r;
}

TEST(Catalogue, EbmlHeaderIsAPlainMaster)
{
    Probe p;
    Record r = dirtyRecord();
    ASSERT_EQ(p.searchID(0x1A45DFA3, &r), 0);
    EXPECT_EQ(r.name, "EBML");
    EXPECT_EQ(r.type, ContainerMKV::Master);
    EXPECT_EQ(r.handler, nullptr);
    EXPECT_TRUE(r.description.isEmpty());
}

TEST(Catalogue, LookupCopiesTheEntryButNotThePositions)
{
    Probe p;
    Record r = dirtyRecord();
    ASSERT_EQ(p.searchID(0x23314F, &r), 0);
    EXPECT_EQ(r.name, "TrackTimecodeScale");
    EXPECT_EQ(r.type, ContainerMKV::Float);
    EXPECT_EQ(r.handler, &Probe::parseTrackTimecodeScale);
    EXPECT_EQ(r.elementOffset, 11u);
    EXPECT_EQ(r.elementSize, 22u);
    EXPECT_EQ(r.dataOffset, 33u);
    EXPECT_EQ(r.dataSize, 44u);

    // The catalogue's own entries never take on positions.
    for (const Record *entry : p.elements) {
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->elementOffset, 0u);
        EXPECT_EQ(entry->elementSize, 0u);
        EXPECT_EQ(entry->dataOffset, 0u);
        EXPECT_EQ(entry->dataSize, 0u);
    }
}

TEST(Catalogue, DateUtcCarriesItsDescription)
{
    Probe p;
    Record r = dirtyRecord();
    ASSERT_EQ(p.searchID(0x4461, &r), 0);
    EXPECT_EQ(r.name, "DateUTC");
    EXPECT_EQ(r.type, ContainerMKV::Date);
    EXPECT_EQ(r.handler, nullptr);
    EXPECT_EQ(r.description,
              "Date of production (in nanoseconds) relatively to January 01, 2001, 0:00:00 GMT.");
}

TEST(Catalogue, EntriesWithTheirOwnHandling)
{
    Probe p;
    Record r;
    ASSERT_EQ(p.searchID(0xAE, &r), 0);
    EXPECT_EQ(r.name, "TrackEntry");
    EXPECT_EQ(r.type, ContainerMKV::Master);
    EXPECT_EQ(r.handler, &Probe::parseTrackEntry);

    ASSERT_EQ(p.searchID(0xBF, &r), 0);
    EXPECT_EQ(r.name, "CRC-32");
    EXPECT_EQ(r.type, ContainerMKV::Binary);
    EXPECT_EQ(r.handler, nullptr);

    ASSERT_EQ(p.searchID(0xEC, &r), 0);
    EXPECT_EQ(r.name, "Void");
    EXPECT_EQ(r.handler, &Probe::parseJunk);

    const std::pair<unsigned, Probe::ElementHandler> handled[] = {
        {0xA3, &Probe::parseBlock},          {0xA1, &Probe::parseBlock},
        {0xD7, &Probe::parseTrackNumber},    {0x83, &Probe::parseTrackType},
        {0x54B2, &Probe::parseDisplayUnit},  {0xB0, &Probe::parsePixelWidth},
        {0xBA, &Probe::parsePixelHeight},    {0x23E383, &Probe::parseDefaultDuration},
        {0x86, &Probe::parseCodecID},        {0x63A2, &Probe::parseCodecPrivate},
        {0x465C, &Probe::parseData},
    };
    for (const auto &h : handled) {
        ASSERT_EQ(p.searchID(h.first, &r), 0) << std::hex << h.first;
        EXPECT_EQ(r.handler, h.second) << std::hex << h.first;
    }
}

TEST(Catalogue, UnknownIdsLeaveTheRecordAlone)
{
    Probe p;
    // The EBML header ID without its marker bit, a reserved one-byte ID, and
    // IDs that are not Matroska's.
    for (unsigned id : {0x0A45DFA3u, 0xFFu, 0x0u, 0x1234u, 0x1A45DFA4u}) {
        Record r = dirtyRecord();
        EXPECT_EQ(p.searchID(id, &r), ContainerMKV::StatusUnknownID) << std::hex << id;
        EXPECT_EQ(r.type, 99);
        EXPECT_EQ(r.name, "before");
        EXPECT_EQ(r.handler, &Probe::parseBlock);
        EXPECT_EQ(r.description, "old");
    }
}

TEST(Catalogue, SizeAndMakeUp)
{
    Probe p;
    EXPECT_EQ(p.elements.size(), 220);

    QMap<int, int> perType;
    int withHandler = 0;
    int withDescription = 0;
    QMap<int, int> perIdLength;
    QSet<QString> names;
    for (auto it = p.elements.cbegin(); it != p.elements.cend(); ++it) {
        const Record *e = it.value();
        ASSERT_NE(e, nullptr);
        ++perType[e->type];
        withHandler += e->handler != nullptr;
        withDescription += !e->description.isEmpty();
        names.insert(e->name);

        // Every ID is stored as it is in the file: its first byte's marker
        // tells its length in bytes.
        const unsigned id = it.key();
        const int bytes = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
        ++perIdLength[bytes];
        EXPECT_EQ(p.getEBMLsize(quint8(id >> (8 * (bytes - 1)))), bytes)
            << e->name.toStdString() << " " << std::hex << id;
    }

    EXPECT_EQ(perType.value(ContainerMKV::SInteger), 3);
    EXPECT_EQ(perType.value(ContainerMKV::UInteger), 105);
    EXPECT_EQ(perType.value(ContainerMKV::Float), 6);
    EXPECT_EQ(perType.value(ContainerMKV::String), 10);
    EXPECT_EQ(perType.value(ContainerMKV::UTF8), 15);
    EXPECT_EQ(perType.value(ContainerMKV::Date), 1);
    EXPECT_EQ(perType.value(ContainerMKV::Master), 47);
    EXPECT_EQ(perType.value(ContainerMKV::Binary), 33);
    EXPECT_EQ(withHandler, 14);
    EXPECT_EQ(withDescription, 10);
    EXPECT_EQ(perIdLength.value(1), 75);
    EXPECT_EQ(perIdLength.value(2), 118);
    EXPECT_EQ(perIdLength.value(3), 16);
    EXPECT_EQ(perIdLength.value(4), 11);
    EXPECT_EQ(names.size(), 220) << "two entries share a name";
}

TEST(Catalogue, EachParserHasItsOwnCatalogue)
{
    Probe a;
    {
        Probe b;
    }
    Record r;
    EXPECT_EQ(a.searchID(0x1F43B675, &r), 0);
    EXPECT_EQ(r.name, "Cluster");
}

} // namespace
