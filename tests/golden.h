// SPDX-License-Identifier: MIT
#pragma once

// Golden files: whole outputs that a person has read once, kept beside the
// tests. After a deliberate change of an output,
//   VANTOREL_GOLDEN_UPDATE=1 build/bin/unit-tests   (or e2e-tests)
// writes them anew: read the diff before committing it.
//
// Also the one text form of a walk's tree that the tests compare: a node per
// line, indented by depth, as
//   Name@offset+size:status [row row] # annotation
// with each row as name@offset+length=value(meaning). The status shows when it
// is not 0, the annotation xN when annotateElement reached the node N > 1
// times. Control characters show as \xNN and long values are cut, with their
// length in characters after them.

#include "elementtree.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

// Readable QStrings in assertion messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace golden {

inline QString shown(const QString &value)
{
    QString s;
    for (const QChar c : value.left(48))
        s += c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0)
            ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
            : QString(c);
    return value.size() > 48 ? s + QStringLiteral("...(%1)").arg(value.size()) : s;
}

inline void render(QString &out, const std::vector<ElementNode> &nodes, int depth = 0)
{
    for (const ElementNode &n : nodes) {
        out += QString(2 * depth, ' ') + n.name + '@' + QString::number(n.offset) + '+'
            + QString::number(n.size);
        if (n.status)
            out += ':' + QString::number(n.status);
        for (int i = 0; i < n.rows.size(); ++i) {
            const ElementRow &r = n.rows[i];
            out += (i ? " " : " [") + r.name + '@' + QString::number(r.offset) + '+'
                + QString::number(r.length) + '=' + shown(r.value);
            if (!r.meaning.isEmpty())
                out += '(' + shown(r.meaning) + ')';
        }
        if (!n.rows.isEmpty())
            out += ']';
        if (n.annotations)
            out += " # " + n.annotation;
        if (n.annotations > 1)
            out += " x" + QString::number(n.annotations);
        out += '\n';
        render(out, n.children, depth + 1);
    }
}

// The tree and then the frames, "stream.number@offset+size", K for keyframes.
inline QString text(const ElementTree &tree)
{
    QString out;
    render(out, tree.roots);
    for (qsizetype i = 0; i < tree.frames.size(); ++i) {
        const FrameRecord &f = tree.frames[i];
        out += (i ? " " : "frames ") + QString::number(f.stream) + '.' + QString::number(f.number)
            + (f.keyframe ? "K@" : "@") + QString::number(f.offset) + '+' + QString::number(f.size);
    }
    return tree.frames.isEmpty() ? out : out + '\n';
}

// output against GOLDEN_DIR/name, reporting the first line that differs.
inline void expect(const QString &name, const QByteArray &output)
{
    const QString path = QStringLiteral(GOLDEN_DIR "/") + name;
    QFile file(path);
    if (qEnvironmentVariableIsSet("VANTOREL_GOLDEN_UPDATE")) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(output) == output.size());
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no golden file " << path.toStdString();
    const QList<QByteArray> got = output.split('\n'), want = file.readAll().split('\n');
    for (qsizetype i = 0; i < qMax(got.size(), want.size()); ++i)
        ASSERT_EQ(got.value(i).toStdString(), want.value(i).toStdString())
            << name.toStdString() << ", line " << i + 1;
}

} // namespace golden
