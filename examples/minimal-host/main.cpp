// SPDX-License-Identifier: MIT
// A host in one file: loads the Matroska plug-in, walks a file into the
// in-memory tree and prints how many elements and frames it holds.
#include <containerabstract.h>
#include <elementtree.h>
#include <inputdevice.h>

#include <QCoreApplication>
#include <QLibrary>

#include <cstdio>
#include <memory>

namespace {

quint64 countNodes(const std::vector<ElementNode> &nodes)
{
    quint64 n = nodes.size();
    for (const ElementNode &node : nodes)
        n += countNodes(node.children);
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: minimal-host FILE.mkv\n");
        return 2;
    }
    QLibrary plugin(QStringLiteral(PLUGIN_PATH));
    using CreateParser = ContainerAbstract *(*)();
    const auto create = reinterpret_cast<CreateParser>(plugin.resolve("createParser"));
    if (!create) {
        std::fprintf(stderr, "minimal-host: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    const QString name = QString::fromLocal8Bit(argv[1]);
    InputDevice input;
    if (!input.openFile(name)) {
        std::fprintf(stderr, "minimal-host: %s: %s\n", argv[1], qPrintable(input.errorString()));
        return 1;
    }
    std::unique_ptr<ContainerAbstract> parser(create());
    ElementTree tree;
    const int status = parser->parseFile(name, &input, &tree);
    std::printf("%llu elements, %lld frames, status %d\n",
                static_cast<unsigned long long>(countNodes(tree.roots)),
                static_cast<long long>(tree.frames.size()), status);
    return status == 0 ? 0 : 1;
}
