// SPDX-License-Identifier: MIT
// The check groups over small files built in memory: each case, the
// findings that --check must give, as "check@offset".

#include "checkrun.h"
#include "ebml.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ebml;

namespace {

// The parts of a small file that --check finds nothing in; a case changes
// one of them.
struct Parts
{
    QByteArray header
        = el(EBML,
             uel(EBMLVersion, 1) + uel(Id::EbmlReadVersion, 1) + uel(Id::EbmlMaxIdLength, 4)
                 + uel(Id::EbmlMaxSizeLength, 8) + el(DocType, "matroska")
                 + uel(Id::DocTypeVersion, 4) + uel(Id::DocTypeReadVersion, 2));
    QByteArray info
        = el(Info, uel(TimecodeScale, 1000000) + el(Id::MuxingApp, "t") + el(Id::WritingApp, "t"));
    QByteArray tracks = el(Tracks, track(1, 1, "V_UNCOMPRESSED"));
    QByteArray clusters = el(Cluster, uel(Timecode, 0) + simpleBlock(1, 0x80));

    static QByteArray track(quint64 number, quint64 type, const QByteArray &codec,
                            const QByteArray &more = QByteArray())
    {
        return el(TrackEntry,
                  uel(TrackNumber, number) + uel(Id::TrackUid, number) + uel(TrackType, type)
                      + el(CodecID, codec) + more);
    }
    QByteArray segment() const { return info + tracks + clusters; }
    QByteArray bytes() const { return header + el(Segment, segment()); }
    // Where the Segment's payload starts, and so its first child.
    int segmentData() const { return header.size() + 4 + size(quint64(segment().size())).size(); }
};

struct Case
{
    const char *name;
    Parts parts;
    const char *check;    // the check the case is about
    QStringList expected; // its findings, "check@offset"
};

Parts with(std::function<void(Parts &)> edit)
{
    Parts p;
    edit(p);
    return p;
}

TEST(Checks, ACleanFileHasNoFinding)
{
    const checkrun::Findings f = checkrun::run(Parts().bytes());
    EXPECT_EQ(f.at().join(' ').toStdString(), "");
}

TEST(Checks, StreamChecksFindTheirFaults)
{
    const Parts plain;
    // The first block's offset, in a Cluster right after Info and Tracks.
    const int cluster = plain.segmentData() + plain.info.size() + plain.tracks.size();
    const int block = cluster + 5 + 3; // past the Cluster's header and Timestamp
    const Case cases[] = {
        {"a block of no track",
         with([](Parts &p) { p.clusters = el(Cluster, uel(Timecode, 0) + simpleBlock(2, 0x80)); }),
         "block-track",
         {QStringLiteral("block-track@%1").arg(block)}},
        {"two tracks of one number",
         with([](Parts &p) {
             p.tracks
                 = el(Tracks,
                      Parts::track(1, 1, "V_UNCOMPRESSED") + Parts::track(1, 1, "V_UNCOMPRESSED"));
         }),
         "tracks-duplicate",
         {}},
    };
    for (const Case &c : cases) {
        const checkrun::Findings f = checkrun::run(c.parts.bytes());
        if (c.expected.isEmpty())
            EXPECT_FALSE(f.of(c.check).empty()) << c.name;
        else
            EXPECT_EQ(f.at(c.check), c.expected)
                << c.name << ": " << f.at().join(' ').toStdString();
    }
}

} // namespace
