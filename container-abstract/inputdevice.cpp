#include "inputdevice.h"

#include <QFileInfo>

#include <cstring>

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
    if (!m_file.open(QIODevice::ReadOnly)) {
        setErrorString(m_file.errorString());
        return false;
    }
    m_size = m_file.size();
    if (m_size > 0) {
        uchar *map = m_file.map(0, m_size);
        if (!map) {
            setErrorString(m_file.errorString());
            m_file.close();
            m_size = 0;
            return false;
        }
        m_data = reinterpret_cast<const char *>(map);
    }
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool InputDevice::openBuffer(const QByteArray &buffer)
{
    close();
    m_buffer = buffer;
    m_data = m_buffer.constData();
    m_size = m_buffer.size();
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void InputDevice::close()
{
    if (isOpen())
        QIODevice::close();
    if (m_file.isOpen()) {
        if (m_data)
            m_file.unmap(reinterpret_cast<uchar *>(const_cast<char *>(m_data)));
        m_file.close();
    }
    m_buffer.clear();
    m_data = nullptr;
    m_size = 0;
}

bool InputDevice::seek(qint64 pos)
{
    // Positions past the end are allowed: reads there deliver nothing.
    return QIODevice::seek(pos);
}

qint64 InputDevice::readBytes(char *buffer, qint64 count)
{
    const qint64 p = pos();
    if (count <= 0 || p < 0 || p >= m_size)
        return 0;
    const qint64 n = qMin(count, m_size - p);
    std::memcpy(buffer, m_data + p, size_t(n));
    QIODevice::seek(p + n);
    return n;
}

qint64 InputDevice::readData(char *data, qint64 maxSize)
{
    const qint64 p = pos();
    if (maxSize <= 0 || p < 0 || p >= m_size)
        return p >= m_size ? -1 : 0;
    const qint64 n = qMin(maxSize, m_size - p);
    std::memcpy(data, m_data + p, size_t(n));
    return n;
}

qint64 InputDevice::writeData(const char *, qint64)
{
    return -1;
}
