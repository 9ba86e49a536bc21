// SPDX-License-Identifier: MIT
// The generated schema of today's Matroska: in step with its generator and
// sources, ordered for find(), and in agreement with the classic catalogue.

#include "matroskaschema.h"
#include "probe.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

using namespace MatroskaSchema;

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

TEST(Schema, CommittedFilesAreWhatTheGeneratorWrites)
{
    const QString reference = QStringLiteral(SCHEMA_REFERENCE_DIR);
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!QFile::exists(reference + "/ebml.xml") || !QFile::exists(reference + "/ebml_matroska.xml"))
        GTEST_SKIP() << "no schema XML files in " << reference.toStdString();
    if (python.isEmpty())
        GTEST_SKIP() << "no python3";
    const QString source = QStringLiteral(SCHEMA_SOURCE_DIR);
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess generator;
    generator.start(python,
                    {source + "/make-schema.py", reference + "/ebml.xml",
                     reference + "/ebml_matroska.xml", source + "/catalogue.cpp", out.path()});
    ASSERT_TRUE(generator.waitForFinished(60000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();
    for (const char *name : {"matroskaschema_table.cpp", "matroskaids.h"}) {
        EXPECT_TRUE(contents(out.filePath(name)) == contents(source + '/' + name))
            << name << " differs from what make-schema.py writes now";
    }
}

TEST(Schema, RowsAreSortedByIdAndChildListsPointBack)
{
    ASSERT_GT(ElementCount, 0);
    for (int i = 0; i < ElementCount; ++i) {
        const Element &e = Elements[i];
        const std::string name = QString::fromUtf16(e.name).toStdString();
        if (i > 0) {
            EXPECT_LT(Elements[i - 1].id, e.id) << name << ": find() needs rows sorted, IDs unique";
        }
        EXPECT_EQ(find(e.id), &e) << name;
        // Each element is listed among its parent's children at its slot.
        const Element *parent = e.parent == TopLevel ? nullptr : find(e.parent);
        if (e.parent == Anywhere) {
            EXPECT_EQ(e.slot, -1) << name;
            continue;
        }
        ASSERT_TRUE(e.parent == TopLevel || parent) << name;
        const ChildList list = parent ? parent->children : TopLevelChildren;
        ASSERT_TRUE(e.slot >= 0 && e.slot < list.count) << name;
        EXPECT_EQ(Children[list.first + e.slot], i) << name;
        if (e.flags & Recursive) {
            EXPECT_EQ(Children[e.children.first + e.selfSlot], i) << name;
        }
    }
}

TEST(Schema, ClassicCatalogueAgreesWhereBothHaveAnId)
{
    Probe p;
    int shared = 0;
    for (auto it = p.elements.cbegin(); it != p.elements.cend(); ++it) {
        const Element *e = find(it.key());
        if (!e)
            continue;
        ++shared;
        const std::string name = it.value()->name.toStdString();
        EXPECT_EQ(it.value()->type, e->type) << name;
        EXPECT_EQ(e->classicName ? QString::fromUtf16(e->classicName) : QString(), it.value()->name)
            << name;
    }
    int named = 0;
    for (int i = 0; i < ElementCount; ++i)
        named += Elements[i].classicName != nullptr;
    EXPECT_EQ(shared, named) << "schema rows with a classic name that the catalogue lacks";
    EXPECT_GT(shared, 200);
}

} // namespace
