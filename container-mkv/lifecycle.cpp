// Entry points, construction and teardown, and the host-facing operations
// that need no file content.
#include "containermkv.h"

#include <QFileInfo>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>

BOOL APIENTRY DllMain(HMODULE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(module);
    return TRUE;
}
#endif

extern "C" {

ContainerAbstract *createParser()
{
    return new ContainerMKV();
}

QStringList supportedExtensions()
{
    return QStringLiteral("mkv|webm").split(QLatin1Char('|'));
}
}

ContainerMKV::ElementMKV::ElementMKV()
    : handler(nullptr)
    , elementOffset(0)
    , elementSize(0)
    , dataOffset(0)
    , dataSize(0)
{}

ContainerMKV::ElementMKV::ElementMKV(int type, ElementHandler handler, const QString &name,
                                     const QString &description)
    : CommonElement(type, name)
    , handler(handler)
    , elementOffset(0)
    , elementSize(0)
    , dataOffset(0)
    , dataSize(0)
    , description(description)
{}

ContainerMKV::ContainerMKV()
{
    reset_stream();
    fillCatalogue();
    m_dialect = classicDialect();
}

ContainerMKV::~ContainerMKV()
{
    qDeleteAll(elements);
    elements.clear();
    qDeleteAll(m_modernElements);
    m_modernElements.clear();
}

int ContainerMKV::verifyContainerFormat(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != QLatin1String("mkv") && suffix != QLatin1String("webm"))
        return StatusFileRefused;
    if (settingDialect().announcesFormat)
        std::fputs("Container format:\tMKV\n", stderr);
    return StatusDone;
}

int ContainerMKV::findBeginOfContainer(qint64 *offset)
{
    *offset = 0;
    return StatusDone;
}

void ContainerMKV::prepareParsing()
{
    m_dialect = settingDialect();
    m_timestampScale = 1000000;
    m_clusterTimestampKnown = false;
    m_groupEnd = 0;
    m_unknownRuns.clear();
}

void ContainerMKV::finalizeParsing() {}
