#include "rawport.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// One poll-and-read step: appends what came within waitMs (at most limit
// bytes). False when the line is gone or broken.
bool readSome(int fd, QByteArray &out, int waitMs, int limit)
{
    pollfd pfd {fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, qMax(0, waitMs));
    if (ready <= 0)
        return ready == 0 || errno == EINTR;
    if (!(pfd.revents & POLLIN))
        return false;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, size_t(qMin(limit, int(sizeof buffer))));
    if (n > 0)
        out.append(buffer, int(n));
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}
} // namespace

bool RawPort::open(const QString &path)
{
    close();
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio {};
    if (m_fd < 0 || ::tcgetattr(m_fd, &tio) != 0)
        return m_fd >= 0;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(m_fd, TCSANOW, &tio);
    return true;
}

bool RawPort::openDeviceEnd(QByteArray *clientPath)
{
    close();
    m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const char *name = m_fd >= 0 && ::grantpt(m_fd) == 0 && ::unlockpt(m_fd) == 0 ? ::ptsname(m_fd) : nullptr;
    if (!name)
        return false;
    *clientPath = name;
    RawPort client;
    return client.open(QString::fromLocal8Bit(name));     // sets raw mode
}

void RawPort::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool RawPort::write(const QByteArray &bytes)
{
    for (int done = 0; done < bytes.size();) {
        const ssize_t n = m_fd < 0 ? -1 : ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        pollfd pfd {m_fd, POLLOUT, 0};
        if (n > 0)
            done += int(n);
        else if (!(n < 0 && (errno == EINTR || (errno == EAGAIN && ::poll(&pfd, 1, 1000) > 0))))
            return false;
    }
    return true;
}

QByteArray RawPort::read(int count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (m_fd >= 0 && out.size() < count) {
        const int left = timeoutMs - int(timer.elapsed());
        if (left <= 0 || !readSome(m_fd, out, left, count - out.size()))
            break;
    }
    return out;
}
