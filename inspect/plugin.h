// SPDX-License-Identifier: MIT
#pragma once

#include <QLibrary>
#include <QStringList>

class ContainerAbstract;

// The container plug-in, loaded at run time from the first of a list of
// folders that has it.
class Plugin
{
public:
    // The folders to look in: beside the program in a build tree, the
    // library folder of an installed tree.
    static QStringList defaultDirectories();

    // False, with error set, when no folder has a plug-in with both entry
    // points.
    bool load(const QStringList &directories, QString *error);
    bool loaded() const { return m_createParser && m_supportedExtensions; }

    QStringList supportedExtensions() const { return m_supportedExtensions(); }
    // A new parser, owned by the caller; null when the plug-in makes none.
    ContainerAbstract *createParser() const { return m_createParser(); }

private:
    typedef ContainerAbstract *(*CreateParser)();
    typedef QStringList (*SupportedExtensions)();

    QLibrary m_library;
    CreateParser m_createParser = nullptr;
    SupportedExtensions m_supportedExtensions = nullptr;
};
