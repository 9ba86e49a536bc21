#pragma once

#include "inputdevice.h"

#include <QString>

#include <vector>

// Checks CRC-32 elements as the walk reports them: a CRC-32 that is the
// first child of a master holds the CRC (IEEE, stored little-endian) of the
// rest of that master's payload. The bytes are read from a device of the
// checker's own, so the walk's position is never disturbed.
class CrcCheck
{
public:
    enum Verdict { None, Ok, Mismatch };

    // Turns checking on for this file. False when it cannot be read.
    bool open(const QString &fileName);

    // Fed with the nodes and rows the writers see.
    void begin(quint64 offset, quint64 size, const QString &name);
    void row(const QString &name, quint64 offset, quint64 length)
    {
        if (!m_open.empty() && m_open.back().isCrc)
            crcRow(name, offset, length);
    }
    // Closes the innermost node; returns its verdict as a master (None when
    // it has no CRC-32 first child or checking is off).
    Verdict end();
    // The verdict that the node end() just closed gave its parent, if it was
    // a CRC-32 first child; None otherwise.
    Verdict justChecked() const { return m_justChecked; }

    static quint32 crc32(quint32 crc, const unsigned char *bytes, size_t size);
    static const char *text(Verdict verdict) { return verdict == Ok ? "ok" : "mismatch"; }

private:
    struct Node
    {
        quint64 offset;
        quint64 size;
        quint64 dataOffset;
        quint64 children;
        bool firstChild;
        bool isCrc;
        Verdict verdict;
    };
    Verdict check(const Node &crc, const Node &parent);
    void crcRow(const QString &name, quint64 offset, quint64 length);

    InputDevice m_device;
    bool m_enabled = false;
    std::vector<Node> m_open;
    Verdict m_justChecked = None;
};
