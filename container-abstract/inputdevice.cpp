// SPDX-License-Identifier: MIT
#include "inputdevice.h"

#include <QFileInfo>

#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// Windows start on a page boundary. A window that follows the one before
// doubles, up to 64 KiB, so that runs of small elements cost few reads; one
// after a jump (over a large block's data) holds a single page, so that a
// walk over large elements reads little more than their headers.
constexpr qint64 WindowSize = 64 * 1024;
constexpr qint64 PageSize = 4096;
constexpr qint64 PageMask = ~qint64(PageSize - 1);
} // namespace

InputDevice::InputDevice(QObject *parent)
    : QIODevice(parent)
{}

InputDevice::~InputDevice()
{
    close();
}

bool InputDevice::openFile(const QString &fileName)
{
    return openNative(QFile::encodeName(fileName));
}

bool InputDevice::openNative(const QByteArray &path)
{
    close();
#ifdef Q_OS_UNIX
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        setErrorString(errno == ENOENT ? QStringLiteral("no such file")
                                       : QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        setErrorString(QStringLiteral("not a regular file"));
        return false;
    }
    // Reads of a regular file never wait; the flag goes for tidiness.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!m_file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                     QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        setErrorString(m_file.errorString());
        return false;
    }
    m_size = qint64(info.st_size);
#else
    const QString fileName = QFile::decodeName(path);
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile()) {
        setErrorString(QStringLiteral("not a regular file"));
        return false;
    }
    m_file.setFileName(fileName);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        setErrorString(info.exists() ? m_file.errorString() : QStringLiteral("no such file"));
        return false;
    }
    m_size = m_file.size();
#endif
    m_buffer.resize(WindowSize);
    m_window = m_buffer.constData();
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool InputDevice::isSameFile(const QByteArray &path) const
{
#ifdef Q_OS_UNIX
    struct stat mine, other;
    return m_file.isOpen() && ::fstat(m_file.handle(), &mine) == 0
        && ::stat(path.constData(), &other) == 0 && mine.st_dev == other.st_dev
        && mine.st_ino == other.st_ino;
#else
    return m_file.isOpen()
        && QFileInfo(m_file.fileName()).canonicalFilePath()
        == QFileInfo(QFile::decodeName(path)).canonicalFilePath();
#endif
}

bool InputDevice::openBuffer(const QByteArray &buffer)
{
    close();
    // The whole buffer is the window.
    m_buffer = buffer;
    m_window = m_buffer.constData();
    m_size = m_buffer.size();
    m_windowLength = m_size;
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void InputDevice::close()
{
    if (isOpen())
        QIODevice::close();
    m_file.close();
    m_buffer.clear();
    m_window = nullptr;
    m_size = 0;
    m_pos = 0;
    m_bytesRead = 0;
    m_windowStart = 0;
    m_windowLength = 0;
}

qint64 InputDevice::readFile(qint64 position, char *buffer, qint64 count)
{
#ifdef Q_OS_UNIX
    const int fd = m_file.handle();
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, buffer + done, size_t(count - done), off_t(position + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    m_bytesRead += quint64(done);
    return done;
#else
    if (!m_file.seek(position))
        return 0;
    const qint64 done = qMax<qint64>(m_file.read(buffer, count), 0);
    m_bytesRead += quint64(done);
    return done;
#endif
}

bool InputDevice::fillWindow(qint64 position, qint64 count)
{
    const qint64 start = position & PageMask;
    const bool follows = start == m_windowStart + m_windowLength && m_windowLength > 0;
    // At least up to the end of the page that holds the read's last byte.
    const qint64 needed = ((position + count + PageSize - 1) & PageMask) - start;
    const qint64 length = qMax(follows ? qMin(2 * m_windowLength, WindowSize) : PageSize, needed);
    m_windowStart = start;
    m_windowLength = readFile(start, m_buffer.data(), qMin(length, m_size - start));
    return position < m_windowStart + m_windowLength;
}

qint64 InputDevice::readAt(qint64 position, char *buffer, qint64 count)
{
    if (count <= 0 || position < 0 || position >= m_size)
        return 0;
    count = qMin(count, m_size - position);
    if (position < m_windowStart || position + count > m_windowStart + m_windowLength) {
        if (!m_file.isOpen())
            return 0;
        if (count > WindowSize / 2)
            return readFile(position, buffer, count);
        if (!fillWindow(position, count))
            return 0;
        count = qMin(count, m_windowStart + m_windowLength - position);
    }
    const char *from = m_window + (position - m_windowStart);
    // Element headers are read a few bytes at a time.
    if (count <= 8) {
        for (qint64 i = 0; i < count; ++i)
            buffer[i] = from[i];
    } else {
        std::memcpy(buffer, from, size_t(count));
    }
    return count;
}

qint64 InputDevice::readDirect(qint64 position, char *buffer, qint64 count)
{
    if (count <= 0 || position < 0 || position >= m_size)
        return 0;
    count = qMin(count, m_size - position);
    // Mostly the bytes of the element the walk is at, which the window
    // holds (a buffer's window holds all of it).
    if (position >= m_windowStart && position + count <= m_windowStart + m_windowLength) {
        std::memcpy(buffer, m_window + (position - m_windowStart), size_t(count));
        return count;
    }
    if (!m_file.isOpen())
        return 0;
    return readFile(position, buffer, count);
}

qint64 InputDevice::readElsewhere(char *buffer, qint64 count)
{
    const qint64 n = readAt(m_pos, buffer, count);
    m_pos += n;
    return n;
}

qint64 InputDevice::readData(char *data, qint64 maxSize)
{
    if (m_pos >= m_size)
        return maxSize > 0 ? -1 : 0;
    return readBytes(data, maxSize);
}

qint64 InputDevice::writeData(const char *, qint64)
{
    return -1;
}
