// SPDX-License-Identifier: MIT
#include "options.h"

#include <QStringList>

const char *const InspectUsage[] = {
    "vantorel-inspect [options] FILE",
    "vantorel-inspect --check [--json] [-j N] [--profile LIST] FILE...",
};
const int InspectUsageCount = int(sizeof InspectUsage / sizeof InspectUsage[0]);

const char InspectDescription[]
    = "Walks a Matroska or WebM file and prints every EBML element with its offset, length and "
      "decoded fields, and every frame of its video tracks; or checks files and prints what is "
      "wrong with them, where and why.";

// clang-format off
const OptionText InspectOptions[] = {
    {OptionKey::Json, "json", nullptr, nullptr,
     "Print the tree as one JSON document instead of text; with --check, one JSON document per file.",
     nullptr},
    {OptionKey::Frames, "frames", nullptr, nullptr,
     "Print the registered video frames as CSV (stream, number, offset, size, keyframe 1 or 0, the block's track number, and its presentation time in seconds with 9 decimals, empty when the file gives none) instead of the tree.",
     nullptr},
    {OptionKey::Html, "html", "OUT", nullptr,
     "Write a self-contained HTML report (tree, hex view, frame charts) to OUT instead of printing the tree; not with --json or --frames. It is written beside OUT under another name and takes OUT's place when complete; OUT may not be the input.",
     nullptr},
    {OptionKey::HtmlHexLimit, "html-hex-limit", "N", "4096",
     "Most bytes of each element embedded in the report.",
     nullptr},
    {OptionKey::HtmlMaxNodes, "html-max-nodes", "N", "200000",
     "Most elements embedded in the report with their rows and bytes; the rest are only counted.",
     nullptr},
    {OptionKey::HtmlMaxRows, "html-max-rows", "N", nullptr,
     "Most rows of those elements (id, size, value, block fields, lace sizes, frames...) embedded in the report; the rest are only counted. Default: 10 per element of --html-max-nodes.",
     nullptr},
    {OptionKey::Rows, "rows", nullptr, nullptr,
     "The full text tree: every row of every element on a line of its own, \"id\" and \"size\" too (the text output of earlier versions).",
     nullptr},
    {OptionKey::Depth, "depth", "N", nullptr,
     "Print elements down to depth N (0: the top level; with --element, the chosen element); under each element of depth N, one line counts the elements below it.",
     nullptr},
    {OptionKey::Element, "element", "NAME[,NAME...]", nullptr,
     "Print only the subtrees of elements with these names, e.g. Tracks,Cues, at their own indentation; the file line and the frame count stay. Names of today's Matroska are taken (Info, TimestampScale...), with --classic those of the classic catalogue (SegmentInfo, TimecodeScale...); any other is refused.",
     nullptr},
    {OptionKey::HexOffsets, "hex-offsets", nullptr, nullptr,
     "Offsets as 0x... in lower-case hex; lengths stay decimal.",
     nullptr},
    {OptionKey::Color, "color", "WHEN", "auto",
     "Colour in the text tree: auto (on a terminal, unless NO_COLOR is set), always or never. Element names bold blue, values green, annotations and verdicts cyan.",
     "auto always never"},
    {OptionKey::Base, "base", "N", "10",
     "Radix of the \"size\" rows, 2 to 36.",
     nullptr},
    {OptionKey::BinaryLimit, "binary-limit", "N", "16",
     "Most payload bytes shown for binary, padding and unknown elements, and with --classic for UTF-8 texts too (texts are otherwise shown whole, up to 1 MiB); at most 1048576, and a larger N is cut to that with a note on standard error.",
     nullptr},
    {OptionKey::ShowJunk, "show-junk", nullptr, nullptr,
     "Show the contents of Void padding.",
     nullptr},
    {OptionKey::HideUnknown, "hide-unknown", nullptr, nullptr,
     "Do not show payloads of elements outside the catalogue.",
     nullptr},
    {OptionKey::Crc, "crc", nullptr, nullptr,
     "Check CRC-32 elements and show each verdict.",
     nullptr},
    {OptionKey::NoCrc, "no-crc", nullptr, nullptr,
     "No CRC-32 checks: the default, still taken for scripts that give it.",
     nullptr},
    {OptionKey::Modern, "modern", nullptr, nullptr,
     "Read the file as today's Matroska (RFC 8794, RFC 9559): the default, still taken for scripts that give it.",
     nullptr},
    {OptionKey::Classic, "classic", nullptr, nullptr,
     "Read the file by the classic catalogue of 220 elements, with its names (SegmentInfo, Timecode...) and descriptions, every row as earlier versions printed it, and the .mkv/.webm suffix rule: elements newer than it show as Unknown, unknown sizes as sizes; not with --check.",
     nullptr},
    {OptionKey::Check, "check", nullptr, nullptr,
     "Check each FILE against today's Matroska and print what is wrong, where and why, instead of the tree; with --json, one JSON document per file. Exit status 1 when a file has an error.",
     nullptr},
    {OptionKey::Jobs, "j,jobs", "N", nullptr,
     "With --check, check N files at a time (default: the number of cores).",
     nullptr},
    {OptionKey::Profile, "profile", "LIST", nullptr,
     "With --check, also check the rules of these profiles, comma-separated: mse (what Media Source Extensions players need of a WebM stream).",
     "mse"},
    {OptionKey::Quiet, "quiet", nullptr, nullptr,
     "No progress line (it shows only on a terminal, for files over 64 MiB).",
     nullptr},
    {OptionKey::PluginDir, "plugin-dir", "DIR", nullptr,
     "Load the plug-in from DIR (default: beside the program, then the library folder of an installed tree).",
     nullptr},
};
// clang-format on
const int InspectOptionCount = int(sizeof InspectOptions / sizeof InspectOptions[0]);

QCommandLineOption commandLineOption(const OptionText &option)
{
    const QStringList names = QString::fromLatin1(option.names).split(QLatin1Char(','));
    QString help = QString::fromUtf8(option.help);
    if (option.defaultValue)
        help += QStringLiteral(" Default: %1.").arg(QLatin1String(option.defaultValue));
    QCommandLineOption result(names, help);
    if (option.valueName)
        result.setValueName(QString::fromLatin1(option.valueName));
    if (option.defaultValue)
        result.setDefaultValue(QString::fromLatin1(option.defaultValue));
    return result;
}
