// SPDX-License-Identifier: MIT
#include "request.h"

#include "check.h"
#include "escape.h"
#include "matroskaschema.h"
#include "options.h"
#include "plugin.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#endif

void say(const QString &message)
{
    std::fprintf(stderr, "vantorel-inspect: %s\n", Escape::forTerminal(message).constData());
}

int fail(int code, const QString &message)
{
    say(message);
    return code;
}

namespace {

using Keys = quint32;
static_assert(int(OptionKey::Count) <= 32, "a set of options is a 32-bit mask");

constexpr Keys keys(std::initializer_list<OptionKey> list)
{
    Keys set = 0;
    for (const OptionKey key : list)
        set |= Keys(1) << int(key);
    return set;
}

// Options that go only with some others: when one of given is set, none of
// without may be, and one of needs must be (unless needs is empty).
struct Conflict
{
    Keys given;
    Keys without;
    Keys needs;
    const char *message;
};

using K = OptionKey;
// Checked in this order, before the options' values.
const Conflict Conflicts[] = {
    {keys({K::Html}), keys({K::Json, K::Frames}), 0,
     "--html replaces the printed tree: not with --json or --frames"},
    // The glance view's own options, where they would change nothing.
    {keys({K::Depth, K::Element, K::HexOffsets}),
     keys({K::Rows, K::Check, K::Json, K::Frames, K::Html}), 0,
     "--depth, --element and --hex-offsets go with the default view: not with --rows, --json, "
     "--frames, --html or --check"},
    {keys({K::Check}), keys({K::Html, K::Frames}), 0,
     "--check prints findings: not with --html or --frames"},
    {keys({K::Jobs}), 0, keys({K::Check}), "-j goes with --check"},
    {keys({K::Classic}), keys({K::Modern, K::Check}), 0,
     "--classic reads by the classic catalogue: not with --modern or --check, which read today's "
     "Matroska"},
    {keys({K::Profile}), 0, keys({K::Check}), "--profile goes with --check"},
};

// The command line parsed with the options of the table, read by key.
class CommandLine
{
public:
    CommandLine()
    {
        m_parser.setApplicationDescription(QString::fromUtf8(InspectDescription));
        // Not addHelpOption(): it adds --help-all as well, which lists Qt's
        // own options, none of which this program takes.
        m_parser.addOption(
            QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("Displays help on commandline options.")));
        m_parser.addVersionOption();
        for (int i = 0; i < InspectOptionCount; ++i) {
            const OptionText &row = InspectOptions[i];
            m_rows[size_t(row.key)] = &row;
            m_options[size_t(row.key)].reset(new QCommandLineOption(commandLineOption(row)));
            m_parser.addOption(*m_options[size_t(row.key)]);
        }
        m_parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("A Matroska or WebM file, whatever its name (with --classic: .mkv or "
                           ".webm); with --check, any number."),
            QStringLiteral("FILE..."));
    }

    QCommandLineParser &parser() { return m_parser; }
    bool isSet(OptionKey key) const { return m_parser.isSet(*m_options[size_t(key)]); }
    QString value(OptionKey key) const { return m_parser.value(*m_options[size_t(key)]); }
    Keys given() const
    {
        Keys set = 0;
        for (int k = 0; k < int(OptionKey::Count); ++k)
            set |= isSet(OptionKey(k)) ? Keys(1) << k : 0;
        return set;
    }

    // The option's value as a number from min to max; else false, with a
    // message that says what it takes.
    bool number(OptionKey key, quint64 min, quint64 max, const char *what, quint64 *out,
                QString *error) const
    {
        bool ok = false;
        *out = value(key).toULongLong(&ok, 10);
        if (ok && *out >= min && *out <= max)
            return true;
        *error = QStringLiteral("%1 takes %2, not '%3'")
                     .arg(shownName(key), QLatin1String(what), value(key));
        return false;
    }

    // The option's first name, as it is typed.
    QString shownName(OptionKey key) const
    {
        const QString name = QString::fromLatin1(m_rows[size_t(key)]->names).section(',', 0, 0);
        return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }

private:
    QCommandLineParser m_parser;
    std::array<const OptionText *, size_t(OptionKey::Count)> m_rows {};
    std::array<std::unique_ptr<QCommandLineOption>, size_t(OptionKey::Count)> m_options;
};

// The bytes of the command-line argument that reads as text: a name that is
// not valid in the locale's encoding is used as given.
QByteArray nativeArgument(const QString &text, int argc, char **argv)
{
    for (int i = argc - 1; i > 0; --i) {
        if (QString::fromLocal8Bit(argv[i]) == text)
            return QByteArray(argv[i]);
    }
    return QFile::encodeName(text);
}

// The edits (insertions, deletions, replacements) that make a into b,
// ignoring case.
int editDistance(const QString &a, const QString &b)
{
    const QString x = a.toCaseFolded(), y = b.toCaseFolded();
    std::vector<int> row(size_t(y.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (int i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= y.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min(
                {above + 1, row[size_t(j) - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

// " did you mean A, B or C?" for the (at most three) candidates nearest to
// name, each with prefix; empty when none is near: two edits at most, and no
// more than a third of the name's length.
QString nearest(const QString &name, const QStringList &candidates, const QString &prefix)
{
    const int most = std::min(2, int(name.size()) / 3);
    QVector<QPair<int, QString>> near;
    for (const QString &candidate : candidates) {
        const int d = editDistance(name, candidate);
        if (d <= most && !near.contains(qMakePair(d, candidate)))
            near.append(qMakePair(d, candidate));
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList names;
    for (int i = 0; i < std::min(3, int(near.size())); ++i)
        names.append(prefix + near[i].second);
    if (names.isEmpty())
        return QString();
    const QString last = names.takeLast();
    return QStringLiteral("; did you mean %1?")
        .arg(names.isEmpty() ? last
                             : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last);
}

// The names --element takes: those the walk shows, of today's Matroska or
// of the classic catalogue.
QStringList elementNames(bool classic)
{
    QStringList names;
    for (int i = 0; i < MatroskaSchema::ElementCount; ++i) {
        const MatroskaSchema::Element &e = MatroskaSchema::Elements[i];
        if (!classic)
            names.append(MatroskaSchema::name(e));
        else if (e.classicName)
            names.append(QString::fromUtf16(e.classicName));
    }
    names.append(QStringLiteral("Unknown"));
    return names;
}

// The name that the other reading gives the element named name in one, or
// empty: Info for SegmentInfo when reading today's Matroska.
QString otherName(const QString &name, bool classic)
{
    for (int i = 0; i < MatroskaSchema::ElementCount; ++i) {
        const MatroskaSchema::Element &e = MatroskaSchema::Elements[i];
        if (!e.classicName)
            continue;
        const QString modern = MatroskaSchema::name(e), old = QString::fromUtf16(e.classicName);
        if (name == (classic ? modern : old))
            return classic ? old : modern;
    }
    return QString();
}

} // namespace

int readRequest(int argc, char **argv, Request *r)
{
    CommandLine line;
    QCommandLineParser &parser = line.parser();
    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            QStringList options {QStringLiteral("help"), QStringLiteral("version")};
            for (int i = 0; i < InspectOptionCount; ++i)
                options.append(QString::fromLatin1(InspectOptions[i].names).section(',', -1));
            const QString hint = nearest(unknown.first(), options, QStringLiteral("--"));
            if (!hint.isEmpty())
                return fail(ExitUsage,
                            QStringLiteral("unknown option '%1'").arg(unknown.first()) + hint);
        }
        return fail(ExitUsage, parser.errorText() + QStringLiteral(" (see --help)"));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return ExitWalked;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("vantorel-inspect %s\n", INSPECT_VERSION);
        return ExitWalked;
    }

    const Keys given = line.given();
    for (const Conflict &c : Conflicts) {
        if ((given & c.given) && ((given & c.without) || (c.needs && !(given & c.needs))))
            return fail(ExitUsage, QString::fromUtf8(c.message));
    }

    const quint64 any = ~quint64(0);
    quint64 n = 0;
    QString error;
    if (!line.number(K::Base, 2, 36, "a number from 2 to 36", &n, &error))
        return fail(ExitUsage, error);
    r->parser.base = int(n);
    HtmlWriter::Settings &report = r->writer.report;
    if (!line.number(K::BinaryLimit, 0, any, "a byte count", &r->parser.binaryLimit, &error)
        || !line.number(K::HtmlHexLimit, 0, any, "a byte count", &report.hexLimit, &error)
        || !line.number(K::HtmlMaxNodes, 0, any, "a count", &report.maxNodes, &error))
        return fail(ExitUsage, error);
    report.maxRows = report.maxNodes > any / 10 ? any : report.maxNodes * 10;
    if (line.isSet(K::HtmlMaxRows)
        && !line.number(K::HtmlMaxRows, 0, any, "a count", &report.maxRows, &error))
        return fail(ExitUsage, error);
    GlanceWriter::Settings &glance = r->writer.glance;
    if (line.isSet(K::Depth)) {
        if (!line.number(K::Depth, 0, 1000000, "a depth from 0", &n, &error))
            return fail(ExitUsage, error);
        glance.depth = int(n);
    }
    if (line.isSet(K::Element)) {
        glance.elements = line.value(K::Element).split(QLatin1Char(','), Qt::SkipEmptyParts);
        const bool classic = line.isSet(K::Classic);
        const QStringList known = elementNames(classic);
        for (const QString &name : glance.elements) {
            if (known.contains(name))
                continue;
            const QString other = otherName(name, classic);
            return fail(ExitUsage,
                        QStringLiteral("no element %1").arg(name)
                            + (other.isEmpty() ? nearest(name, known, QString())
                                               : QStringLiteral("; did you mean %1?").arg(other)));
        }
    }
    glance.hexOffsets = line.isSet(K::HexOffsets);
    const QString when = line.value(K::Color);
    if (when == QLatin1String("always"))
        glance.color = true;
    else if (when == QLatin1String("auto"))
        glance.color = isatty(fileno(stdout)) && qEnvironmentVariableIsEmpty("NO_COLOR");
    else if (when != QLatin1String("never"))
        return fail(ExitUsage,
                    QStringLiteral("--color takes auto, always or never, not '%1'").arg(when));
    r->jobs = qMax(1, QThread::idealThreadCount());
    if (line.isSet(K::Jobs)) {
        if (!line.number(K::Jobs, 1, 1024, "a number from 1 to 1024", &n, &error))
            return fail(ExitUsage, error);
        r->jobs = int(n);
    }
    r->check = line.isSet(K::Check);
    if (line.isSet(K::Profile) && !readCheckProfiles(line.value(K::Profile), &r->profiles, &error))
        return fail(ExitUsage, error);
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return fail(ExitUsage, QStringLiteral("no file given (see --help)"));
    if (files.size() != 1 && !r->check)
        return fail(ExitUsage,
                    QStringLiteral("one file at a time, except with --check (see --help)"));

    r->writer.output = line.isSet(K::Html) ? Output::Html
        : line.isSet(K::Frames)            ? Output::Frames
        : line.isSet(K::Json)              ? Output::Json
                                           : Output::Text;
    r->writer.rows = line.isSet(K::Rows);
    r->parser.showJunk = line.isSet(K::ShowJunk);
    r->parser.showUnknown = !line.isSet(K::HideUnknown);
    r->parser.modern = !line.isSet(K::Classic);
    r->writer.modern = r->writer.glance.modern = r->parser.modern;
    r->checkCrcs = line.isSet(K::Crc);
    r->quiet = line.isSet(K::Quiet);
    r->pluginDirectories = line.isSet(K::PluginDir) ? QStringList {line.value(K::PluginDir)}
                                                    : Plugin::defaultDirectories();
    r->files = files;
    for (const QString &file : files)
        r->filesNative.append(nativeArgument(file, argc, argv));
    if (line.isSet(K::Html)) {
        r->html = line.value(K::Html);
        r->htmlNative = nativeArgument(r->html, argc, argv);
    }
    return -1;
}
