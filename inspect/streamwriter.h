#pragma once

#include "crccheck.h"
#include "elementsink.h"
#include "outputbuffer.h"
#include "progress.h"

// What the streaming writers share: where they write, the size of the file,
// the first element that claims more bytes than the file holds, and the
// checks of CRC-32 elements.
class StreamWriter : public ElementSink
{
public:
    struct PastEnd
    {
        bool found = false;
        QString name;
        quint64 offset = 0;
        quint64 size = 0;     // the length the element claims
        quint64 remaining = 0; // the bytes the file holds from its offset on
    };
    const PastEnd &firstPastEnd() const { return m_pastEnd; }

    // Checks every CRC-32 first child against its master's payload, read
    // from this file.
    bool checkCrcs(const QString &fileName) { return m_crc.open(fileName); }

    // Shows how far the walk is on this stream (a terminal), now and then.
    void showProgress(std::FILE *terminal) { m_progress.start(terminal); }

protected:
    explicit StreamWriter(OutputBuffer *out)
        : m_out(out)
    {
    }
    void noteFileSize(quint64 size) { m_fileSize = size; }
    // True when the element runs past the end of the file; the first one is
    // kept for the host's message.
    bool runsPastEnd(quint64 offset, quint64 size, const QString &name)
    {
        m_progress.at(offset, m_fileSize);
        const quint64 remaining = offset < m_fileSize ? m_fileSize - offset : 0;
        if (size <= remaining)
            return false;
        if (!m_pastEnd.found)
            m_pastEnd = PastEnd{true, name, offset, size, remaining};
        return true;
    }

    OutputBuffer *m_out;
    CrcCheck m_crc;
    Progress m_progress;

private:
    quint64 m_fileSize = 0;
    PastEnd m_pastEnd;
};
