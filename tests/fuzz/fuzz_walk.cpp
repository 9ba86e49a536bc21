// libFuzzer target over the whole walk: the first byte of the input picks the
// display settings, the rest is the file.
#include "containermkv.h"
#include "elementtree.h"
#include "settings.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    ContainerMKV parser;
    applySettings(parser, data[0]);

    InputDevice device;
    device.openBuffer(QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1)));
    ElementTree tree;
    parser.parseFile(QStringLiteral("fuzz.mkv"), &device, &tree);

    // Every node that was opened was closed, and nothing arrived outside one.
    if (tree.openNodes() != 0 || tree.strayCalls != 0)
        std::abort();
    return 0;
}
