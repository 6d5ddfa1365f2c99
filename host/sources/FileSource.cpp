// A file or standard input: a regular file is read as fast as it goes; a pipe, FIFO or terminal
// is waited on with poll() so that a quiet stream still lets the reader act on time.
#include "Sources_p.h"

#include <QtCore/QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

FileSource::FileSource(const QString &path) : ByteSource(path == QLatin1String("-") ? QStringLiteral("standard input") : path), m_path(path) {}

FileSource::~FileSource()
{
    close();
}

bool FileSource::open()
{
    if (m_path == QLatin1String("-")) {
        m_fd = 0;
    } else {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY);
        if (m_fd < 0)
            return fail(QStringLiteral("cannot open %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))), true);
    }
    struct stat st;
    if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode)) {
        m_regular = true;
        m_size = qint64(st.st_size);
    }
    return true;
}

void FileSource::close()
{
    if (m_fd > 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 FileSource::read(uint8_t *data, qint64 size, int timeoutMs)
{
    if (!m_regular) {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready <= 0)
            return 0; // nothing yet, or a signal: the caller decides
    }
    const ssize_t n = ::read(m_fd, data, std::size_t(size));
    if (n < 0 && errno == EINTR)
        return 0;
    if (n < 0) {
        fail(QStringLiteral("cannot read %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))), true);
        return -1;
    }
    return n > 0 ? qint64(n) : -1;
}
