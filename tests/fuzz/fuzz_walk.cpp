// SPDX-License-Identifier: MIT
// libFuzzer target over the walk and the host's writers: the input, as a
// file, walked into the in-memory tree (which must end balanced) and into the
// text, JSON, CSV and HTML writers with CRC checks on; each in both modes, the
// classic catalogue and today's Matroska; and through the conformance checks.
#include "chain.h"
#include "containermkv.h"
#include "elementtracker.h"
#include "elementtree.h"
#include "findingswriter.h"
#include "frameswriter.h"
#include "htmlwriter.h"
#include "jsonwriter.h"
#include "settings.h"
#include "textwriter.h"

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // Today's Matroska takes only files that begin with an EBML header of
    // its DocType: its walks read the input after one.
    static const QString path
        = QStringLiteral("/tmp/vantorel-fuzz-walk-%1.mkv").arg(qint64(getpid()));
    static const QString modernPath
        = QStringLiteral("/tmp/vantorel-fuzz-walk-%1-modern.mkv").arg(qint64(getpid()));
    static const bool removedAtExit = std::atexit([] {
                                          QFile::remove(path);
                                          QFile::remove(modernPath);
                                      })
        == 0;
    Q_UNUSED(removedAtExit);
    static const char ebmlHeader[] = "\x1A\x45\xDF\xA3\x8B\x42\x82\x88matroska";
    for (const QString &name : {path, modernPath}) {
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        if (name == modernPath)
            file.write(ebmlHeader, qint64(sizeof ebmlHeader - 1));
        file.write(reinterpret_cast<const char *>(data) + 1, qint64(size - 1));
    }
    std::FILE *sink = std::fopen("/dev/null", "wb");
    for (int kind = 0; kind < 11; ++kind) {
        ContainerMKV parser;
        applySettings(parser, data[0]);
        parser.modernMatroska = kind >= 5;
        InputDevice device;
        if (!device.openFile(parser.modernMatroska ? modernPath : path))
            break;
        OutputBuffer out(sink);
        ElementTree tree;
        ElementTracker tracker;
        std::unique_ptr<Sink> writer;
        HtmlWriter::Settings report;
        report.hexLimit = 64;
        report.maxNodes = 2000;
        Chain::Settings settings;
        settings.checkCrcs = true;
        settings.summary = kind % 5 == 4 || kind == 7; // the modern JSON's frame facts
        if (kind == 10) {
            parser.modernMatroska = true; // as --check reads a file
            parser.numberBase = 10;
            settings.conformance = true;
            writer = std::make_unique<FindingsJsonWriter>(path);
        } else {
            switch (kind % 5) {
            case 0:
                parser.parseFile(path, &device, &tree);
                if (tree.openNodes() != 0 || tree.strayCalls != 0)
                    std::abort();
                continue;
            case 1:
                writer.reset(kind < 5 ? new TextWriter(&out, tracker)
                                      : new ModernTextWriter(&out, tracker));
                break;
            case 2:
                writer.reset(kind < 5 ? new JsonWriter(&out, tracker)
                                      : new ModernJsonWriter(&out, tracker));
                break;
            case 3: writer = std::make_unique<FramesWriter>(&out); break;
            default: writer = std::make_unique<HtmlWriter>(&out, &device, report, tracker); break;
            }
        }
        settings.modern = parser.modernMatroska;
        settings.sizeBase = parser.numberBase;
        const Chain chain(writer.get(), &device, settings, &tracker);
        parser.parseFile(path, &device, chain.head());
    }
    std::fclose(sink);
    return 0;
}
