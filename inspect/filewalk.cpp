// SPDX-License-Identifier: MIT
#include "filewalk.h"

#include "containerabstract.h"
#include "plugin.h"

#include <QFileInfo>

FileWalk::FileWalk(Plugin *plugin, const QStringList &pluginDirectories, const QString &name,
                   const QByteArray &nativeName)
    : m_plugin(plugin)
    , m_pluginDirectories(pluginDirectories)
    , m_name(name)
    , m_nativeName(nativeName)
{}

FileWalk::~FileWalk() = default;

bool FileWalk::failed(const QString &reason, bool aboutFile)
{
    m_failure = reason;
    m_aboutFile = aboutFile;
    return false;
}

QString FileWalk::message() const
{
    return m_aboutFile ? QStringLiteral("%1: %2").arg(m_name, m_failure) : m_failure;
}

bool FileWalk::open(const ParserSettings &settings)
{
    // The one opening of the input, which the walk, the stages and the
    // report's bytes all read.
    if (!m_input.openNative(m_nativeName))
        return failed(m_input.errorString());
    QString error;
    if (!m_plugin->loaded() && !m_plugin->load(m_pluginDirectories, &error))
        return failed(error, false);
    // The classic walk goes by the file's suffix; today's Matroska by its
    // content, which the plug-in reads when it walks.
    const QStringList extensions = m_plugin->supportedExtensions();
    if (!settings.modern && !extensions.contains(QFileInfo(m_name).suffix(), Qt::CaseInsensitive))
        return failed(QStringLiteral("not a Matroska or WebM file name (suffixes: %1)")
                          .arg(extensions.join(QStringLiteral(", "))));
    m_parser.reset(m_plugin->createParser());
    if (!m_parser)
        return failed(QStringLiteral("the plug-in made no parser"), false);
    m_parser->numberBase = settings.base;
    m_parser->binaryLimit = qMin(settings.binaryLimit, ValueCap);
    m_parser->showJunk = settings.showJunk;
    m_parser->showUnknown = settings.showUnknown;
    m_parser->modernMatroska = settings.modern;
    return true;
}

bool FileWalk::walk(Sink *writer, const Chain::Settings &settings)
{
    // The stages read the calls as this parser makes them.
    Chain::Settings chain = settings;
    chain.modern = m_parser->modernMatroska;
    chain.sizeBase
        = m_parser->numberBase >= 2 && m_parser->numberBase <= 36 ? m_parser->numberBase : 10;
    m_chain = std::make_unique<Chain>(writer, &m_input, chain, &m_tracker);
    const int status = m_parser->parseFile(m_name, &m_input, m_chain->head());
    const QString refusal = m_parser->refusal;
    m_parser.reset();
    if (status != 0)
        return failed(refusal.isEmpty()
                          ? QStringLiteral("the plug-in refuses this file (status %1)").arg(status)
                          : refusal);
    return true;
}
