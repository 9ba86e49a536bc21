// SPDX-License-Identifier: MIT
// The walk alone: the plug-in and the base with a sink that discards
// everything, on the file named by VANTOREL_BENCH_FILE.
#include "containermkv.h"
#include "elementsink.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

class CountingSink : public ElementSink
{
public:
    void beginElement(quint64, quint64, const QString &, qint64) override { ++elements; }
    void addField(bool, quint64, quint8, quint64, const QString &, const QString &, const QString &,
                  const QString &, qint64) override
    {}
    void annotateElement(const QString &) override {}
    void endElement() override {}
    void addFrame(const FrameRecord &) override {}
    void topLevelParsed(int) override {}

    quint64 elements = 0;
};

void walkFile(benchmark::State &state)
{
    const char *file = std::getenv("VANTOREL_BENCH_FILE");
    if (!file) {
        state.SkipWithError("set VANTOREL_BENCH_FILE to a .mkv or .webm file");
        return;
    }
    quint64 elements = 0;
    quint64 bytesRead = 0;
    quint64 fileSize = 0;
    for (auto _ : state) {
        ContainerMKV parser;
        parser.modernMatroska = std::getenv("TMP_MODERN") != nullptr;
        InputDevice device;
        if (!device.openFile(QString::fromLocal8Bit(file))) {
            state.SkipWithError("cannot open VANTOREL_BENCH_FILE");
            return;
        }
        CountingSink sink;
        parser.parseFile(QString::fromLocal8Bit(file), &device, &sink);
        elements = sink.elements;
        bytesRead = device.bytesRead();
        fileSize = quint64(device.size());
    }
    state.counters["elements"] = double(elements);
    // The share of the file the walk fetched: headers and the pages around
    // them, never the data of large blocks.
    state.counters["bytes_read_share"] = fileSize ? double(bytesRead) / double(fileSize) : 0.0;
    state.counters["elements_per_second"]
        = benchmark::Counter(double(elements), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(walkFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_MAIN();
