// SPDX-License-Identifier: MIT
#pragma once

#include "abstractglobal.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>

// The input device of a container parser: a random-access, read-only view of
// a file or of a buffer. readBytes() reads up to count bytes at the device
// position and leaves the rest of the caller's buffer untouched; a read past
// the end delivers nothing.
//
// A file is read through a window of a few pages that serves the small,
// nearby reads of a walk (backward seeks included) without a system call
// each, and keeps memory flat however large the file is.
class VANTOREL_ABSTRACT_EXPORT InputDevice : public QIODevice
{
    Q_OBJECT
public:
    explicit InputDevice(QObject *parent = nullptr);
    ~InputDevice() override;

    // Opens the file for reading. False, with errorString() set, when it
    // cannot be opened or is not a regular file.
    bool openFile(const QString &fileName);
    // The same for a name in the file system's own bytes, which need not be
    // valid in any encoding. The open never blocks (a FIFO or a device put
    // in the file's place is refused, not waited on), and what is checked is
    // what was opened.
    bool openNative(const QByteArray &path);
    // True when path names the file this device has open (the same device
    // and inode).
    bool isSameFile(const QByteArray &path) const;
    // Serves the bytes of a buffer (the device keeps a reference to it).
    bool openBuffer(const QByteArray &buffer);

    virtual qint64 readBytes(char *buffer, qint64 count)
    {
        // Element headers: a few bytes that the window holds.
        if (count > 0 && count <= 8 && m_pos >= m_windowStart
            && m_pos + count <= m_windowStart + m_windowLength) {
            const char *from = m_window + (m_pos - m_windowStart);
            for (qint64 i = 0; i < count; ++i)
                buffer[i] = from[i];
            m_pos += count;
            return count;
        }
        return readElsewhere(buffer, count);
    }

    // Reads up to count bytes at position for another reader of the same
    // input (a checker, a report), leaving the walk's position and window as
    // they are: from the window when it holds them, else from the file.
    qint64 readDirect(qint64 position, char *buffer, qint64 count);

    // Bytes fetched from the file so far, windows included.
    quint64 bytesRead() const { return m_bytesRead; }

    bool isSequential() const override { return false; }
    // The device keeps its own position: a walk seeks several times per
    // element, and this keeps each seek to an assignment that the compiler
    // can inline (final: only readBytes is for derived devices to change).
    qint64 size() const final { return m_size; }
    qint64 pos() const final { return m_pos; }
    // Positions past the end are allowed: reads there deliver nothing.
    bool seek(qint64 pos) final
    {
        if (pos < 0)
            return false;
        m_pos = pos;
        return true;
    }
    bool atEnd() const override { return m_pos >= m_size; }
    qint64 bytesAvailable() const override { return m_pos < m_size ? m_size - m_pos : 0; }
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    qint64 readElsewhere(char *buffer, qint64 count);
    qint64 readAt(qint64 position, char *buffer, qint64 count);
    bool fillWindow(qint64 position, qint64 count);
    qint64 readFile(qint64 position, char *buffer, qint64 count);

    QFile m_file;
    QByteArray m_buffer;            // a buffer's bytes, or a file's window
    const char *m_window = nullptr; // the bytes from m_windowStart on
    qint64 m_size = 0;
    qint64 m_pos = 0;
    quint64 m_bytesRead = 0;
    qint64 m_windowStart = 0;
    qint64 m_windowLength = 0;
};
