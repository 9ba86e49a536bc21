// SPDX-License-Identifier: MIT
#pragma once

#include <QCommandLineOption>

// Every option of vantorel-inspect, in the order --help lists them: the one
// source of --help, of the man page, of the README's table of options and of
// the bash completion (vantorel-inspect-docs writes the last three).

// What the program reads an option by; one row each.
enum class OptionKey {
    Json,
    Frames,
    Html,
    HtmlHexLimit,
    HtmlMaxNodes,
    HtmlMaxRows,
    Rows,
    Depth,
    Element,
    HexOffsets,
    Color,
    Base,
    BinaryLimit,
    ShowJunk,
    HideUnknown,
    Crc,
    NoCrc,
    Modern,
    Classic,
    Check,
    Jobs,
    Profile,
    Quiet,
    PluginDir,
    Count
};

struct OptionText
{
    OptionKey key;
    const char *names;        // "json", or "j,jobs" for a short and a long name
    const char *valueName;    // null for a switch
    const char *defaultValue; // null when none
    const char *help;         // one sentence or a few, for all three
    const char *choices;      // the values completion offers, space-separated, or null
};

extern const OptionText InspectOptions[];
extern const int InspectOptionCount;

// What the usage lines, the man page's synopsis and its description say.
extern const char *const InspectUsage[];
extern const int InspectUsageCount;
extern const char InspectDescription[];

QCommandLineOption commandLineOption(const OptionText &option);
