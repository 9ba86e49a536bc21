// SPDX-License-Identifier: MIT
// Entry points, file names, the element catalogue, and the host driver's walk
// of a whole input.

#include "ebml.h"
#include "ebmldecoder.h"
#include "probe.h"

#include <QSet>

#include <memory>

using namespace ebml;

namespace {

// The classic walk takes a file by its name's suffix, whatever it holds;
// today's Matroska by its EBML header and DocType, whatever its name, and
// says why it refuses one.
TEST(FileNames, ClassicBySuffixModernByContent)
{
    const struct
    {
        const char *what;
        QByteArray bytes;
        const char *refusal; // today's Matroska's reason
    } contents[] = {
        {"webm", el(EBML, el(DocType, "webm")), nullptr},
        {"matroska after another child, zero-padded",
         el(EBML, uel(EBMLVersion, 1) + el(DocType, QByteArray("matroska\0\0", 10))), nullptr},
        {"another DocType", el(EBML, el(DocType, "matroxka")), "its DocType is \"matroxka\""},
        {"no DocType", el(EBML, uel(EBMLVersion, 1)), "its EBML header has no DocType"},
        {"a DocType after the header", el(EBML, QByteArray()) + el(DocType, "webm"), "no DocType"},
        {"text", "Not a video.\n", "it does not begin with an EBML header"},
        {"nothing", QByteArray(), "it does not begin with an EBML header"},
        {"a cut EBML ID", el(EBML, el(DocType, "webm")).left(3), "not begin with an EBML header"},
    };
    const QStringList suffixed = QStringLiteral("clip.mkv|clip.webm|clip.MKV|clip.Mkv|clip.WEBM|"
                                                "/tmp/some dir/clip.mkv|archive.tar.webm")
                                     .split('|');
    const QStringList others = QStringLiteral("clip.mkv.part|clip.mka|clip.mk3d|clip|clip.|"
                                              "movies.mkv/clip|mkv|clip.webmx|")
                                   .split('|');
    for (const auto &c : contents) {
        for (const bool modern : {false, true}) {
            for (const QString &name : suffixed + others) {
                SCOPED_TRACE(std::string(c.what) + (modern ? ", modern, " : ", classic, ")
                             + name.toStdString());
                Probe p;
                p.takesAnyInput = false;
                p.modernMatroska = modern;
                p.device.openBuffer(c.bytes);
                p.dataSource = &p.device;
                const bool takes = modern ? !c.refusal : suffixed.contains(name);
                EXPECT_EQ(p.verifyContainerFormat(name), takes ? 0 : Probe::StatusFileRefused);
                if (modern && c.refusal) {
                    EXPECT_EQ(p.refusal.section(": ", 0, 0), "not a Matroska or WebM file");
                    EXPECT_TRUE(p.refusal.contains(QLatin1String(c.refusal)))
                        << qPrintable(p.refusal);
                } else {
                    EXPECT_EQ(p.refusal, QString());
                }
            }
        }
    }
    EXPECT_EQ(supportedExtensions(), QStringLiteral("mkv webm").split(' '));
}

TEST(EntryPoints, CreateParserGivesIndependentMatroskaParsers)
{
    std::unique_ptr<ContainerAbstract> a(createParser()), b(createParser());
    ASSERT_TRUE(a && b && a != b && dynamic_cast<ContainerMKV *>(a.get()));
    a.reset(); // through the base class; the other one still works
    InputDevice device;
    ElementTree tree;
    device.openBuffer(el(EBML, el(DocType, "webm")));
    EXPECT_EQ(b->parseFile(QStringLiteral("x.webm"), &device, &tree), 0);
    EXPECT_EQ(tree.roots.size(), 1u);
}

TEST(HostDriver, FramesTheWalkOfAnAcceptedNameOnly)
{
    InputDevice device;
    device.openBuffer(el(EBML, uel(EBMLVersion, 1)) + el(Void, "xx"));
    Probe p;
    p.takesAnyInput = false;
    ElementTree refused;
    EXPECT_EQ(p.parseFile(QStringLiteral("clip.avi"), &device, &refused), Probe::StatusFileRefused);
    EXPECT_TRUE(refused.roots.empty());
    EXPECT_EQ(p.sink(), &p.tree) << "the refused walk does not take the sink";
    EXPECT_EQ(p.walkFile(QByteArray()), 0);
    EXPECT_TRUE(p.tree.roots.empty());

    // Without a sink the walk is quiet but still counts frames.
    Probe r;
    device.openBuffer(el(Segment, tracks({{1, 1}}) + el(Cluster, simpleBlock(1, 0x80))));
    EXPECT_EQ(r.parseFile(QStringLiteral("x.mkv"), &device, nullptr), 0);
    EXPECT_EQ(r.videoTracks, QVector<quint64> {1});
    EXPECT_EQ(r.frameCounters.value(0), 1u);
}

// A parser keeps its track tables for its whole life: a second walk
// continues from the first one's. Frame numbers start again with each walk.
TEST(HostDriver, SecondWalkKeepsTheTracksButNumbersFramesAgain)
{
    Probe p;
    p.walkFile(el(
        Segment, tracks({{1, 1}, {2, 2}}) + el(Cluster, simpleBlock(1, 0x80) + simpleBlock(1, 0))));
    ASSERT_EQ(p.tree.frames.size(), 2);
    p.tree.clear();
    p.walkFile(
        el(Segment, tracks({{2, 1}}) + el(Cluster, simpleBlock(2, 0x80) + simpleBlock(1, 0x80))));
    EXPECT_EQ(p.trackTypes, (QHash<quint64, quint64> {{1, 1}, {2, 1}}));
    EXPECT_EQ(p.videoTracks, (QVector<quint64> {1, 2}));
    QString frames; // stream:number; track 2 is the second video track seen
    for (const FrameRecord &f : p.tree.frames)
        frames += QStringLiteral("%1:%2 ").arg(f.stream).arg(f.number);
    EXPECT_EQ(frames, "1:0 0:0 ");
}

TEST(Catalogue, IdsCarryTheirLengthMarkerAndNamesAreUnique)
{
    Probe p;
    EXPECT_EQ(p.elements.size(), 220);
    QSet<QString> names;
    for (auto it = p.elements.cbegin(); it != p.elements.cend(); ++it) {
        // An ID is looked up as it is stored: its first byte's marker tells
        // its length, or the walker never finds it.
        const QByteArray stored = ebml::id(it.key());
        quint32 id = 0;
        EXPECT_EQ(
            EbmlDecoder::readId(reinterpret_cast<const uchar *>(stored.data()), stored.size(), &id),
            stored.size())
            << it.value()->name.toStdString();
        names.insert(it.value()->name);
    }
    EXPECT_EQ(names.size(), 220) << "two entries share a name";
}

} // namespace
