// SPDX-License-Identifier: MIT
// vantorel-inspect-docs: writes what the options table says as a man page
// (--man), as the README's table of options (--readme) or as bash completion
// (--completion), so that none of them can drift from --help.
#include "options.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

QStringList names(const OptionText &o)
{
    QStringList out;
    for (const QString &n : QString::fromLatin1(o.names).split(QLatin1Char(',')))
        out << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    return out;
}

QString help(const OptionText &o)
{
    QString text = QString::fromUtf8(o.help);
    if (o.defaultValue)
        text += QStringLiteral(" Default: %1.").arg(QLatin1String(o.defaultValue));
    return text;
}

// Text for roff: backslashes doubled, hyphens as minus signs, and no line
// that begins with a control character.
QString roff(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\e"))
        .replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
        text.prepend(QStringLiteral("\\&"));
    return text;
}

void put(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

void man()
{
    put(QStringLiteral(".TH VANTOREL\\-INSPECT 1 \"\" \"vantorel-inspect %1\" \"User Commands\"\n")
            .arg(QLatin1String(INSPECT_VERSION)));
    put(QStringLiteral(
        ".SH NAME\nvantorel\\-inspect \\- walk and check Matroska and WebM files\n"));
    put(QStringLiteral(".SH SYNOPSIS\n"));
    for (int i = 0; i < InspectUsageCount; ++i)
        put(QStringLiteral("%1%2\n").arg(i ? QStringLiteral(".br\n") : QString(),
                                         roff(QString::fromLatin1(InspectUsage[i]))));
    put(QStringLiteral(".SH DESCRIPTION\n%1\n").arg(roff(QString::fromUtf8(InspectDescription))));
    put(QStringLiteral(".SH OPTIONS\n"));
    for (int i = 0; i < InspectOptionCount; ++i) {
        const OptionText &o = InspectOptions[i];
        QStringList shown;
        for (const QString &n : names(o))
            shown << QStringLiteral("\\fB%1\\fR").arg(roff(n))
                    + (o.valueName
                           ? QStringLiteral(" \\fI%1\\fR").arg(roff(QLatin1String(o.valueName)))
                           : QString());
        put(QStringLiteral(".TP\n%1\n%2\n").arg(shown.join(QStringLiteral(", ")), roff(help(o))));
    }
    put(QStringLiteral(".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\nPrint the options and exit.\n"
                       ".TP\n\\fB\\-v\\fR, \\fB\\-\\-version\\fR\nPrint the version and exit.\n"));
    put(QStringLiteral(
        ".SH EXIT STATUS\n"
        "0 when the file was walked, or with \\fB\\-\\-check\\fR when no file has an "
        "error; 1 when a file or the plug-in could not be used, or a checked file has an "
        "error; 2 for a bad invocation.\n"
        ".SH EXAMPLES\n.nf\nvantorel\\-inspect \\-\\-depth 1 film.mkv\n"
        "vantorel\\-inspect \\-\\-element Tracks,Cues \\-\\-modern film.mkv\n"
        "vantorel\\-inspect \\-\\-check \\-\\-json \\-j 4 archive/*.mkv\n.fi\n"
        ".SH SEE ALSO\n\\fBmkvinfo\\fR(1), \\fBffprobe\\fR(1), \\fBmediaconch\\fR(1)\n"));
}

void readme()
{
    put(QStringLiteral("| option | effect |\n|---|---|\n"));
    for (int i = 0; i < InspectOptionCount; ++i) {
        const OptionText &o = InspectOptions[i];
        QStringList shown;
        for (const QString &n : names(o))
            shown << QStringLiteral("`%1%2`").arg(
                n, o.valueName ? QStringLiteral(" %1").arg(QLatin1String(o.valueName)) : QString());
        put(QStringLiteral("| %1 | %2 |\n").arg(shown.join(QStringLiteral(", ")), help(o)));
    }
    put(QStringLiteral(
        "| `--help`, `--version` | print the options, or the version, and exit |\n"));
}

void completion()
{
    QStringList all, withValue, files, directories, choiceCases;
    for (int i = 0; i < InspectOptionCount; ++i) {
        const OptionText &o = InspectOptions[i];
        all << names(o);
        if (!o.valueName)
            continue;
        const QString pattern = names(o).join(QLatin1Char('|'));
        if (o.choices)
            choiceCases << QStringLiteral("    %1) COMPREPLY=($(compgen -W \"%2\" -- \"$cur\")); "
                                          "return ;;\n")
                               .arg(pattern, QLatin1String(o.choices));
        else if (!std::strcmp(o.valueName, "OUT"))
            files << pattern;
        else if (!std::strcmp(o.valueName, "DIR"))
            directories << pattern;
        else
            withValue << pattern;
    }
    all << QStringLiteral("--help") << QStringLiteral("--version");
    put(QStringLiteral(
            "# bash completion for vantorel-inspect\n"
            "_vantorel_inspect()\n{\n"
            "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
            "  case $prev in\n%1"
            "    %2) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
            "    %3) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
            "    %4) return ;;\n"
            "  esac\n"
            "  case $cur in\n"
            "    -*) COMPREPLY=($(compgen -W \"%5\" -- \"$cur\")); return ;;\n"
            "  esac\n"
            "  COMPREPLY=($(compgen -d -- \"$cur\") $(compgen -f -X '!*.@(mkv|MKV|webm|WEBM)' -- "
            "\"$cur\"))\n"
            "}\n"
            "complete -o filenames -o bashdefault -F _vantorel_inspect vantorel-inspect\n")
            .arg(choiceCases.join(QString()), files.join(QLatin1Char('|')),
                 directories.join(QLatin1Char('|')), withValue.join(QLatin1Char('|')),
                 all.join(QLatin1Char(' '))));
}

} // namespace

int main(int argc, char *argv[])
{
    const char *mode = argc == 2 ? argv[1] : "";
    if (!std::strcmp(mode, "--man"))
        man();
    else if (!std::strcmp(mode, "--readme"))
        readme();
    else if (!std::strcmp(mode, "--completion"))
        completion();
    else {
        std::fputs("usage: vantorel-inspect-docs --man | --readme | --completion\n", stderr);
        return 2;
    }
    return 0;
}
