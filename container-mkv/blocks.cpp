// Block and SimpleBlock headers: track number, timecode and flags as rows,
// the rest of the payload as the block's data, which is never loaded. Blocks
// of video tracks are registered as the next frame of their stream.
#include "containermkv.h"

namespace {

// Names of lacing codes 1 to 3, shared by all parsers; creation is
// thread-safe and they live until the library is unloaded.
const QString &lacingName(int code)
{
    static const QString names[] = {
        QString(),
        QStringLiteral("Xiph"),
        QStringLiteral("Fixed-size"),
        QStringLiteral("EBML"),
    };
    return names[code & 3];
}

QString flagWords(quint8 flags)
{
    QString text;
    if (flags & 0x80)
        text += QLatin1String("Keyframe. ");
    if (flags & 0x08)
        text += QLatin1String("Invisible. ");
    const int lacing = (flags >> 1) & 3;
    if (lacing)
        text += lacingName(lacing) + QLatin1String(" lacing. ");
    if (flags & 0x01)
        text += QLatin1String("Discardable.");
    return text;
}

const QString &shortBlockText()
{
    static const QString text = QStringLiteral("Block is shorter than its header!");
    return text;
}

} // namespace

int ContainerMKV::parseBlock(ElementMKV *element)
{
    const quint64 offset = element->dataOffset;
    const quint64 size = element->dataSize;

    quint64 track = 0;
    quint8 l = 0;
    const int status = getEBMLelement(&track, &l);

    // A payload shorter than its header shows only the fields that lie in
    // it; its data length would wrap below zero, so it has no data row and
    // is never registered as a frame.
    if (size >= l)
        addField(false, offset, 0, l, Texts.trackNumber, decimal(qint64(track)), Texts.none,
                 Texts.none, -1);
    if (size >= quint64(l) + 2) {
        seekTo(offset + l);
        unsigned char timecode[2] = {};
        dataSource->readBytes(reinterpret_cast<char *>(timecode), 2);
        swapByteOrder(timecode, 2);
        const int value = qint16(quint16(timecode[0] | (timecode[1] << 8)));
        addField(false, offset + l, 0, 2, Texts.timecode, decimal(qint64(value)), Texts.none,
                 Texts.none, -1);
    }
    if (size < quint64(l) + 3) {
        annotateElement(shortBlockText());
        seekTo(offset);
        return StatusLengthRefused;
    }

    seekTo(offset + l + 2);
    char flagsByte = 0;
    dataSource->readBytes(&flagsByte, 1);
    const auto flags = quint8(flagsByte);
    addField(false, offset + l + 2, 0, 1, Texts.flags, decimal(qint64(qint8(flags))), Texts.none,
             flagWords(flags), -1);

    const quint64 dataOffset = offset + l + 3;
    const quint64 dataSize = size - l - 3;
    seekTo(dataOffset);
    addField(false, dataOffset, 0, dataSize, Texts.data, Texts.none, Texts.none, Texts.none, -1);

    // A block whose header the input does not hold whole (a cut file) is no
    // frame: its flags would be made up of missing bytes.
    const bool headerInInput = bytesLeftAt(offset) >= quint64(l) + 3;
    if (headerInInput && trackTypes.value(track, 0) == 1) {
        frameKeyframe = (flags & 0x80) ? 1 : 0;
        frameOffset = dataOffset;
        frameSize = dataSize;
        const qsizetype index = m_videoStreams.value(track, -1);
        if (index >= 0) {
            quint64 number = 0;
            if (!frameCounters.isEmpty()) {
                // Streams past the host's counters get counters of their own,
                // made when the first block past the last counter comes.
                if (frameCounters.size() <= index)
                    frameCounters.resize(index + 1);
                number = frameCounters[index];
            }
            addFrame(uint(index), number);
            if (!frameCounters.isEmpty())
                ++frameCounters[index];
        }
    }

    seekTo(offset);
    return status;
}
