#include "inputdevice.h"

#include <QFileInfo>

#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {
// Windows start on a page boundary and hold a few pages: one window serves
// hundreds of small elements, and one read per large block.
constexpr qint64 WindowSize = 64 * 1024;
constexpr qint64 PageMask = ~qint64(4096 - 1);
} // namespace

InputDevice::InputDevice(QObject *parent)
    : QIODevice(parent)
{
}

InputDevice::~InputDevice()
{
    close();
}

bool InputDevice::openFile(const QString &fileName)
{
    close();
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile()) {
        setErrorString(QStringLiteral("not a regular file"));
        return false;
    }
    m_file.setFileName(fileName);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        setErrorString(m_file.errorString());
        return false;
    }
    m_size = m_file.size();
    m_buffer.resize(WindowSize);
    m_window = m_buffer.constData();
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
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
    m_windowStart = 0;
    m_windowLength = 0;
}

bool InputDevice::seek(qint64 pos)
{
    // Positions past the end are allowed: reads there deliver nothing.
    if (pos < 0)
        return false;
    m_pos = pos;
    return true;
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
    return done;
#else
    if (!m_file.seek(position))
        return 0;
    return qMax<qint64>(m_file.read(buffer, count), 0);
#endif
}

bool InputDevice::fillWindow(qint64 position)
{
    m_windowStart = position & PageMask;
    m_windowLength = readFile(m_windowStart, m_buffer.data(), qMin(WindowSize, m_size - m_windowStart));
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
        if (!fillWindow(position))
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

qint64 InputDevice::readBytes(char *buffer, qint64 count)
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
