// SPDX-License-Identifier: MIT
#include "outputfile.h"

#include <cstdlib>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

bool OutputFile::create(const QByteArray &path)
{
    m_path = path;
#ifdef Q_OS_UNIX
    // A link is written through: its target takes the new file's place.
    if (char *target = ::realpath(path.constData(), nullptr)) {
        m_path = target;
        std::free(target);
    }
    m_temporary = m_path + ".XXXXXX";
    const int fd = ::mkstemp(m_temporary.data());
    if (fd < 0)
        return false;
    // Made with mode 0600; give it the mode a new file would have.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    m_stream = ::fdopen(fd, "wb");
    if (!m_stream) {
        ::close(fd);
        ::unlink(m_temporary.constData());
        return false;
    }
#else
    m_temporary = path + ".part";
    m_stream = std::fopen(m_temporary.constData(), "wb");
    if (!m_stream)
        return false;
#endif
    return true;
}

bool OutputFile::commit()
{
    if (!m_stream)
        return std::fflush(stdout) == 0;
    const bool written = std::fclose(m_stream) == 0;
    m_stream = nullptr;
    if (!written || std::rename(m_temporary.constData(), m_path.constData()) != 0) {
        std::remove(m_temporary.constData());
        return false;
    }
    return true;
}

OutputFile::~OutputFile()
{
    // Not committed: the partial file goes.
    if (m_stream) {
        std::fclose(m_stream);
        std::remove(m_temporary.constData());
    }
}
