// SPDX-License-Identifier: MIT
#pragma once

#include "filewalk.h"
#include "writerfactory.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

enum ExitCode {
    ExitWalked = 0,
    ExitFailed = 1, // the file or the plug-in could not be used; with --check, an error found
    ExitUsage = 2,  // a bad invocation
};

// One line on standard error, escaped for a terminal.
void say(const QString &message);
int fail(int code, const QString &message);

// What the command line asks for.
struct Request
{
    WriterSettings writer;
    ParserSettings parser;
    bool checkCrcs = false;
    bool check = false;
    quint32 profiles = 0; // --profile, a bit per row of CheckProfiles
    int jobs = 1;
    bool quiet = false;
    QStringList pluginDirectories;
    QString html;          // the report's path, as shown
    QByteArray htmlNative; // and as the file system has it
    QStringList files;     // the inputs' names, as shown
    QList<QByteArray> filesNative;
};

// Reads the command line into request. Returns -1 when the program goes on,
// else its exit code: after --help or --version, or a bad invocation, which
// it has reported.
int readRequest(int argc, char **argv, Request *request);
