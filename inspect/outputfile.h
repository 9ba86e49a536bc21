// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <cstdio>

// Where the output goes: standard output, or a file that is written beside
// its target under another name and takes the target's place only once it
// is complete, so that a failed run leaves an old file as it was.
class OutputFile
{
public:
    OutputFile() = default; // standard output
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Starts the file that will become path. False when it cannot be made.
    bool create(const QByteArray &path);
    std::FILE *stream() const { return m_stream ? m_stream : stdout; }
    // Puts the complete file in place. False when that fails.
    bool commit();

private:
    QByteArray m_path;
    QByteArray m_temporary;
    std::FILE *m_stream = nullptr;
};
