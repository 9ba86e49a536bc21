// SPDX-License-Identifier: MIT
#pragma once

#include "chain.h"
#include "elementtracker.h"
#include "inputdevice.h"

#include <QString>
#include <QStringList>

#include <memory>

class ContainerAbstract;
class Plugin;

// Values are loaded and shown up to this many bytes whatever a walk asks,
// so that memory stays bounded.
constexpr quint64 ValueCap = 1 << 20;

// What the parser is told before it walks.
struct ParserSettings
{
    int base = 10;
    quint64 binaryLimit = 16; // cut to ValueCap
    bool showJunk = false;
    bool showUnknown = true;
    bool modern = false;
};

// One file through the plug-in: opened, its name checked, a parser made,
// then walked through the chain of stages into a writer. The printed walk
// and every checked file go this way.
class FileWalk
{
public:
    // The plug-in is loaded from pluginDirectories when the file opens,
    // unless it is loaded already.
    FileWalk(Plugin *plugin, const QStringList &pluginDirectories, const QString &name,
             const QByteArray &nativeName);
    ~FileWalk();

    // Opens the file, makes sure of the plug-in, checks the file's suffix
    // (unless the plug-in reads today's Matroska, which goes by the content)
    // and makes a parser with settings.
    bool open(const ParserSettings &settings);
    // Walks the opened file into writer: false when the plug-in refuses it.
    bool walk(Sink *writer, const Chain::Settings &settings);

    InputDevice *input() { return &m_input; }
    // The open elements of the walk, which its chain keeps and its writer
    // reads.
    const ElementTracker &tracker() const { return m_tracker; }
    // The chain of the last walk.
    const Chain *chain() const { return m_chain.get(); }
    // Why open() or walk() failed.
    const QString &failure() const { return m_failure; }
    // The same for a message: after the file's name when it is about the
    // file, not about the plug-in.
    QString message() const;

private:
    bool failed(const QString &reason, bool aboutFile = true);

    Plugin *m_plugin;
    QStringList m_pluginDirectories;
    QString m_name;
    QByteArray m_nativeName;
    InputDevice m_input;
    ElementTracker m_tracker;
    std::unique_ptr<ContainerAbstract> m_parser;
    std::unique_ptr<Chain> m_chain;
    QString m_failure;
    bool m_aboutFile = true;
};
