// SPDX-License-Identifier: MIT
// Entry points, construction and teardown, and the host-facing operations
// around a walk: taking the file (by its name, or in today's Matroska by its
// EBML header) and preparing the walk.
#include "containermkv.h"
#include "matroskaids.h"

#include <QFileInfo>

#include <cstdio>
#include <cstring>

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
    const Dialect dialect = settingDialect();
    if (dialect.byContent) {
        refusal = contentRefusal();
        return refusal.isEmpty() ? StatusDone : StatusFileRefused;
    }
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != QLatin1String("mkv") && suffix != QLatin1String("webm"))
        return StatusFileRefused;
    if (dialect.announcesFormat)
        std::fputs("Container format:\tMKV\n", stderr);
    return StatusDone;
}

QString ContainerMKV::contentRefusal()
{
    // Matroska and WebM files, whatever their names (.mka, .mks, .mk3d...),
    // begin with an EBML header whose DocType names the format.
    const QString no = QStringLiteral("not a Matroska or WebM file: ");
    const quint64 fileEnd = dataSource ? bytesLeftAt(0) : 0;
    const Header ebml = fileEnd ? readHeader(0) : Header();
    if (!ebml.idRead || ebml.id != MatroskaSchema::Id::Ebml || ebml.length() > fileEnd)
        return no + QStringLiteral("it does not begin with an EBML header");
    // An unknown or overlong size ends with the file.
    const quint64 end = ebml.length() + qMin(ebml.size, fileEnd - ebml.length());
    for (quint64 p = ebml.length(); p < end;) {
        const Header child = readHeader(p);
        if (!child.idRead || !child.sizeRead() || child.length() > end - p)
            break;
        if (child.id == MatroskaSchema::Id::DocType) {
            // A String may be padded with zeros; at most 64 bytes are shown.
            seekTo(p + child.length());
            Payload payload;
            loadPayload(qMin<quint64>(qMin(child.size, end - p - child.length()), 64), &payload);
            const char *bytes = payload.bytes ? payload.bytes.get() : "";
            const QString docType = QString::fromLatin1(bytes, qsizetype(std::strlen(bytes)));
            if (docType == QLatin1String("matroska") || docType == QLatin1String("webm"))
                return QString();
            return no
                + QStringLiteral("its DocType is \"%1\", not \"matroska\" or \"webm\"")
                      .arg(docType);
        }
        if (child.size > end - p - child.length())
            break;
        p += child.length() + child.size;
    }
    return no + QStringLiteral("its EBML header has no DocType");
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
