// SPDX-License-Identifier: MIT
// Hostile inputs too large or too many for the golden walks: deep nesting of
// unknown sizes, overreaching masters, a file cut at every length, and the inputs kept
// from fuzzing.

#include "chain.h"
#include "ebml.h"
#include "elementtracker.h"
#include "findingswriter.h"
#include "fuzz/settings.h"
#include "probe.h"

#include <QDir>
#include <QSet>
#include <QTemporaryFile>
#include <QThread>

using namespace ebml;

namespace {

// Unknown-size clusters of a live recording nest one in another; only those
// within MaxNesting are entered, and the deepest walk fits a 1 MiB stack.
TEST(UnknownSize, ClustersNestUpToTheBoundAndTheWalkEnds)
{
    const quint64 unknown = (quint64(1) << 56) - 1;
    QByteArray body = tracks({{1, 1}});
    for (int i = 0; i < 1200; ++i)
        body += header(Cluster, unknown, 8) + simpleBlock(1, 0x80);
    Probe p;
    int status = -1;
    body.prepend(header(Segment, unknown, 8));
    QThread *thread = QThread::create([&] { status = p.walkFile(body); });
    thread->setStackSize(1 << 20);
    thread->start();
    ASSERT_TRUE(thread->wait(60000));
    delete thread;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(p.tree.openNodes(), 0);
    ASSERT_EQ(p.tree.roots.size(), 1u);

    // The Segment takes one level: clusters 1 to MaxNesting - 1 are entered.
    const int entered = ContainerMKV::MaxNesting - 1;
    ASSERT_EQ(p.tree.frames.size(), entered);
    EXPECT_EQ(p.tree.frames.last().number, quint64(entered - 1));
    const ElementNode *cluster = p.tree.roots[0].child("Cluster");
    for (int i = 0; cluster && i < entered; ++i)
        cluster = cluster->child("Cluster");
    ASSERT_NE(cluster, nullptr);
    EXPECT_EQ(cluster->size, 12 + unknown);
    EXPECT_TRUE(cluster->children.empty());
    EXPECT_EQ(cluster->annotation, "Nesting too deep!");
}

// ChapterAtoms of unknown size (the schema allows none, the walk takes it)
// nested one in another all end where the outermost does, found by one
// look-ahead: the bytes requested stay a few times the input's. Also with a
// master of unknown size between the levels, a run within a run, and an
// element that ends a run. A master that its parent cuts within its header
// is as long as its header, past that end.
TEST(UnknownSize, NestedRunsEndTogetherAndNeverWrap)
{
    const QByteArray atom = id(ChapterAtom) + bytes({0xFF});
    QByteArray run, tail, interleaved;
    for (int i = 0; i < 400; ++i)
        run += atom, interleaved += atom + id(ChapterDisplay) + bytes({0xFF});
    for (int i = 0; i < 4000; ++i)
        tail += uel(ChapterTimeStart, 1);
    const QByteArray inner = el(ChapterAtom, run + tail), flag = uel(EditionFlagHidden, 0);
    const int head = 4 + 8 + 2 + 8; // Chapters and EditionEntry
    const struct
    {
        QByteArray edition;
        QMap<qsizetype, int> ends; // where each ChapterAtom of unknown size ends
    } cases[] = {
        {run + tail, {{-1, 400}}},
        {interleaved + tail, {{-1, 400}}},
        {run + inner + tail, {{-1, 400}, {head + run.size() + inner.size(), 400}}},
        {run + tail + flag + run.left(20) + tail,
         {{head + run.size() + tail.size(), 400}, {-1, 10}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.edition.size());
        const QByteArray input = header(Chapters, quint64(c.edition.size()) + 10, 8)
            + header(EditionEntry, quint64(c.edition.size()), 8) + c.edition;
        Probe p;
        p.modernMatroska = true;
        walkChecked(p, input);
        QMap<qsizetype, int> ends;
        forEachNode(p.tree.roots, [&](const ElementNode &n) {
            if (n.name == "ChapterAtom" && n.rows[1].meaning == "unknown")
                ++ends[n.offset + n.size == quint64(input.size()) ? -1
                                                                  : qsizetype(n.offset + n.size)];
        });
        EXPECT_EQ(ends, c.ends);
        EXPECT_LT(p.device.requested, quint64(8 * input.size()));
    }

    Probe p;
    p.modernMatroska = true;
    walkChecked(p, el(Segment, header(Cluster, 1) + id(BlockGroup) + bytes({0xFF})));
    const ElementNode *group = p.tree.roots[0].child("Cluster")->child("BlockGroup");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->size, 2u);
}

// Damaged data in a Cluster: a block whose ID is zeroed is skipped up to the
// next block, though its frame data holds look-alikes of elements that end
// where that block begins (a Timestamp too long for an integer, a block of
// no track, CRC-32s one after another); the blocks after it are walked. A
// resync over bytes that each claim to end far ahead reads the file about
// once.
TEST(DamagedData, ResyncLandsOnElementsAndReadsForward)
{
    QByteArray alike = el(Crc32, "abcd") + el(Crc32, "efgh") + el(Crc32, "ijkl");
    alike = el(Timecode, el(SimpleBlock, bytes({0x87, 0, 0, 0x80}) + alike));
    QByteArray zeroed = el(SimpleBlock, bytes({0x81, 0, 0, 0x80}) + "frame" + alike);
    zeroed[0] = 0;
    const QByteArray parts[] = {uel(Timecode, 0), simpleBlock(1, 0x80, 9), zeroed,
                                simpleBlock(1, 0, 3), simpleBlock(1, 0, 4)};
    QString want;
    QByteArray body;
    for (const QByteArray &part : parts)
        body += part;
    const QByteArray input = tracks({{1, 1}}) + el(Cluster, body);
    quint64 at = quint64(input.size() - body.size());
    for (const QByteArray &part : parts) {
        want += QString("%1@%2+%3 ")
                    .arg(part == zeroed         ? "Damaged data"
                             : part.size() == 3 ? "Timestamp"
                                                : "SimpleBlock")
                    .arg(at)
                    .arg(part.size());
        at += quint64(part.size());
    }
    Probe p;
    p.modernMatroska = true;
    walkChecked(p, input);
    QString walked;
    for (const ElementNode &n : p.tree.roots.back().children)
        walked += QString("%1@%2+%3 ").arg(n.name).arg(n.offset).arg(n.size);
    EXPECT_EQ(walked, want);
    EXPECT_EQ(p.tree.frames.size(), 3);

    QByteArray damage(1, '\0');
    for (int i = 0; i < 1 << 16; ++i)
        damage += bytes({0xA3, 0x21, 0x00, 0x01, 0x81}); // track 1, 65537 bytes
    const QByteArray file = tracks({{1, 1}})
        + el(Cluster, uel(Timecode, 0) + simpleBlock(1, 0x80, 9) + damage + simpleBlock(1, 0, 9));
    QTemporaryFile temporary;
    ASSERT_TRUE(temporary.open() && temporary.write(file) == file.size() && temporary.flush());
    Probe f;
    f.modernMatroska = true;
    ASSERT_TRUE(f.device.openFile(temporary.fileName()));
    f.parseFile(QStringLiteral("x.mkv"), &f.device, &f.tree);
    const ElementNode *damaged = f.tree.roots.back().child("Damaged data");
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(damaged->size, quint64(damage.size()));
    EXPECT_LT(f.device.bytesRead(), quint64(3 * file.size()));
}

TEST(OverreachingMasters, EveryElementIsWalkedOnce)
{
    // Inside a Segment: 40 masters, each claiming further than the one that
    // holds it, then 2000 small elements. The first master's claim ends in
    // the middle of them.
    const int levels = 40, leaves = 2000;
    const QByteArray leaf = uel(Timecode, 1); // 3 bytes
    const int headerSize = 4 + 8;
    const quint64 firstEnd = quint64(levels * headerSize + leaves / 2 * leaf.size());
    QByteArray body;
    for (int k = 0; k < levels; ++k)
        body += header(Cluster, firstEnd + quint64(k) * 30 - quint64((k + 1) * headerSize), 8);
    for (int i = 0; i < leaves; ++i)
        body += leaf;

    Probe p;
    walkChecked(p, el(Segment, body));
    QSet<quint64> offsets;
    int count = 0;
    forEachNode(p.tree.roots, [&](const ElementNode &n) { offsets.insert(n.offset), ++count; });
    EXPECT_EQ(count, 1 + levels + leaves);
    EXPECT_EQ(offsets.size(), 1 + levels + leaves) << "an element was walked twice";
}

// A sound file cut at every length: the walk ends balanced, reports and loads
// nothing beyond the cut, reads about as much as there is, and only blocks
// with a whole header are frames.
TEST(CutFile, EveryLengthWalksOnlyWhatIsThere)
{
    const QByteArray blocks[]
        = {simpleBlock(1, 0x80, 3), simpleBlock(1, 0, 4), simpleBlock(1, 0, 5)};
    const QByteArray file = el(EBML, uel(EBMLVersion, 1) + el(DocType, "webm"))
        + el(Segment,
             el(Tracks,
                el(TrackEntry,
                   uel(TrackNumber, 1) + uel(TrackType, 1) + el(CodecID, "V_MPEG4/ISO/AVC")))
                 + el(Cluster, uel(Timecode, 0) + blocks[0] + blocks[1] + blocks[2]));
    const int codecAt = file.indexOf("V_MPEG4");
    for (int cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE(cut);
        Probe p;
        walkChecked(p, file.left(cut));
        EXPECT_LE(p.device.requested, quint64(2 * cut + 16));
        EXPECT_LE(p.device.largestRequest, qMax(8, cut - codecAt));
        int whole = 0;
        for (const QByteArray &b : blocks)
            whole += file.indexOf(b) + 6 <= cut;
        EXPECT_EQ(p.tree.frames.size(), whole);
    }
}

// Inputs kept from fuzzing.
TEST(FuzzRegressions, EveryKeptInputWalksBalanced)
{
    const QDir dir(QStringLiteral(FUZZ_REGRESSIONS_DIR));
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files)) {
        if (info.fileName() == QLatin1String("README"))
            continue;
        SCOPED_TRACE(info.fileName().toStdString());
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray input = file.readAll();
        if (input.isEmpty())
            continue;
        for (bool modern : {false, true}) {
            Probe p;
            applySettings(p, quint8(input[0]));
            p.modernMatroska = modern;
            walkChecked(p, input.mid(1));
        }
        // And through the conformance checks, as --check reads a file (one
        // that begins with an EBML header, or it is not checked).
        InputDevice device;
        ASSERT_TRUE(device.openBuffer(el(EBML, el(DocType, "matroska")) + input.mid(1)));
        ContainerMKV parser;
        parser.modernMatroska = true;
        FindingsJsonWriter writer(QStringLiteral("kept.mkv"));
        Chain::Settings settings;
        settings.checkCrcs = true;
        settings.conformance = true;
        settings.modern = true;
        ElementTracker tracker;
        const Chain chain(&writer, &device, settings, &tracker);
        parser.parseFile(QStringLiteral("kept.mkv"), &device, chain.head());
        EXPECT_TRUE(writer.output().startsWith("{\"file\": \"kept.mkv\"")
                    && writer.output().endsWith("}\n"));
    }
}

} // namespace
