// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "sink.h"

#include <functional>
#include <memory>
#include <queue>
#include <utility>
#include <vector>

class InputDevice;

// Checks CRC-32 elements: a CRC-32 that is the first child of a master holds
// the CRC (IEEE, stored little-endian) of the rest of that master's payload.
// The verdict reaches the next sink just before the master's end.
//
// All checks share one forward pass over the input, which keeps one running
// CRC of the bytes it reads. A check notes that CRC where its range begins
// and where it ends, and gets its own from the two and the range's length,
// so that each piece is folded once however many checks cover it, and ranges
// need not nest.
class CrcStage : public Stage
{
public:
    // Reads the bytes it checks from input, without moving its position;
    // the elements are those of tracker.
    CrcStage(Sink *next, InputDevice *input, const ElementTracker &tracker);
    ~CrcStage() override;

    void beginFile(const QString &fileName, quint64 size) override;
    void endElement() override;

    static quint32 crc32(quint32 crc, const unsigned char *bytes, size_t size);
    // The CRC of A followed by B, from the CRCs of both and the length of B.
    static quint32 combine(quint32 crcA, quint32 crcB, quint64 lengthB);

private:
    // A master whose first child is a CRC-32, from that child's end to its
    // own: a range of it is open, or its verdict is known already.
    struct Master
    {
        size_t depth;
        bool checking;
        CrcVerdict verdict;
        quint32 expected;
    };
    struct Range
    {
        quint64 from;
        quint64 to;
        quint64 at;     // [from, at) was read again; the pass covers [at, to)
        quint32 crc;    // of [from, at)
        quint32 passAt; // the running CRC at at
        quint32 passTo; // and at to, once the pass got there
        bool failed;
    };
    // An open range that the pass has not finished: its end and its index.
    using End = std::pair<quint64, size_t>;
    void startCheck(const OpenElement &crc, const OpenElement &master, size_t depth);
    static quint32 finish(const Range &range);
    void advance(quint64 to);
    bool catchUp(Range &range);

    InputDevice *m_input;
    const ElementTracker &m_tracker;
    quint64 m_fileSize = 0;
    std::vector<Master> m_masters; // outermost first
    std::vector<Range> m_ranges;   // of the masters being checked, outermost first
    std::priority_queue<End, std::vector<End>, std::greater<End>> m_ends; // nearest first
    quint64 m_done = 0;        // the pass has read the bytes before this
    quint32 m_pass = 0;        // the running CRC, since the pass last skipped bytes
    quint64 m_catchUpLeft = 0; // bytes that may be read a second time
    std::unique_ptr<unsigned char[]> m_buffer;
};
