// SPDX-License-Identifier: MIT
#include "plugin.h"

#include <QCoreApplication>
#include <QDir>

namespace {
const char PluginName[] = "vantorel-container-mkv";
}

QStringList Plugin::defaultDirectories()
{
    const QString here = QCoreApplication::applicationDirPath();
    return {here, here + QStringLiteral("/../" INSTALL_LIBDIR), here + QStringLiteral("/../lib")};
}

bool Plugin::load(const QStringList &directories, QString *error)
{
    QStringList tried;
    for (const QString &directory : directories) {
        // By its soname, which the library package holds; the unversioned
        // link is the -dev package's.
        m_library.setFileNameAndVersion(QDir(directory).absoluteFilePath(QLatin1String(PluginName)),
                                        PLUGIN_SOVERSION);
        if (!m_library.load()) {
            tried << m_library.errorString();
            continue;
        }
        m_createParser = reinterpret_cast<CreateParser>(m_library.resolve("createParser"));
        m_supportedExtensions
            = reinterpret_cast<SupportedExtensions>(m_library.resolve("supportedExtensions"));
        if (m_createParser && m_supportedExtensions)
            return true;
        *error = QStringLiteral("%1 lacks its entry points").arg(m_library.fileName());
        m_library.unload();
        return false;
    }
    *error = QStringLiteral("cannot load the plug-in %1 from %2")
                 .arg(QLatin1String(PluginName), directories.join(QStringLiteral(", ")));
    if (!tried.isEmpty())
        *error += QStringLiteral(" (%1)").arg(tried.first());
    return false;
}
