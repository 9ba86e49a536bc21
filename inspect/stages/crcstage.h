#pragma once

#include "sink.h"

#include <memory>
#include <vector>

class InputDevice;

// Checks CRC-32 elements: a CRC-32 that is the first child of a master holds
// the CRC (IEEE, stored little-endian) of the rest of that master's payload.
// The verdict reaches the next sink just before the master's end.
//
// All checks share one forward pass over the input: the bytes that one or
// more open checks cover are read once, in order, into one buffer, and each
// piece's CRC is folded into every check that covers it. Nested masters with
// CRCs therefore cost one read of their bytes, not one per level.
class CrcStage : public Stage
{
public:
    // Reads the bytes it checks from input, without moving its position.
    CrcStage(Sink *next, InputDevice *input);
    ~CrcStage() override;

    void beginFile(const QString &fileName, quint64 size) override;
    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void endElement() override;

    static quint32 crc32(quint32 crc, const unsigned char *bytes, size_t size);
    // The CRC of A followed by B, from the CRCs of both and the length of B.
    static quint32 combine(quint32 crcA, quint32 crcB, quint64 lengthB);

private:
    struct Node
    {
        quint64 offset;
        quint64 end;        // offset + size, saturated
        quint64 dataOffset; // a CRC-32's payload
        quint64 children;
        bool isCrc;
        bool checking; // a range of it is open
        CrcVerdict verdict;
        quint32 expected;
    };
    struct Range
    {
        quint64 from;
        quint64 to;
        quint32 crc;
        bool failed;
    };
    void startCheck(const Node &crc, Node &master);
    void advance(quint64 to);
    void feed(quint64 from, const unsigned char *bytes, size_t size);
    bool catchUp(Range &range);

    InputDevice *m_input;
    quint64 m_fileSize = 0;
    std::vector<Node> m_open;
    std::vector<Range> m_ranges; // of the masters being checked, outermost first
    quint64 m_done = 0;          // bytes before this are folded into the open ranges
    quint64 m_catchUpLeft = 0;   // bytes that may be read a second time
    std::unique_ptr<unsigned char[]> m_buffer;
};
