#include "rawport.h"

#include <QElapsedTimer>

#include <cerrno>

#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

bool RawPort::open(const QString &path)
{
    close();
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios tio {};
    if (::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
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
    if (m_fd < 0)
        return false;
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd pfd {m_fd, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

namespace {
// One poll-and-read step: appends what came within waitMs. False when the
// line is gone or broken.
bool readSome(int fd, QByteArray &out, int waitMs, int limit)
{
    pollfd pfd {fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, qMax(0, waitMs));
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;
    if (!(pfd.revents & POLLIN))
        return false;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, size_t(qMin(limit, int(sizeof buffer))));
    if (n > 0)
        out.append(buffer, int(n));
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}
} // namespace

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

QByteArray RawPort::readUntilSilent(int silenceMs, int maxMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (m_fd >= 0) {
        const int left = maxMs - int(timer.elapsed());
        if (left <= 0)
            break;
        const int before = out.size();
        if (!readSome(m_fd, out, qMin(silenceMs, left), 4096) || out.size() == before)
            break;
    }
    return out;
}

QByteArray RawPort::readFrame(int timeoutMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    int scanned = 0;
    bool escaped = false;
    int stx = 0;
    bool inPacket = false;
    while (m_fd >= 0) {
        for (; scanned < out.size(); ++scanned) {
            const auto byte = quint8(out.at(scanned));
            if (!inPacket) {
                stx = byte == 0x55 ? stx + 1 : 0;
                inPacket = stx >= 2;
            } else if (escaped) {
                escaped = false;
            } else if (byte == 0x05) {
                escaped = true;
            } else if (byte == 0x04) {
                // Anything after the ETX stays unread in this call's result.
                return out.left(scanned + 1);
            }
        }
        const int left = timeoutMs - int(timer.elapsed());
        if (left <= 0 || !readSome(m_fd, out, left, 1))
            break;
    }
    return QByteArray();
}

bool RawPort::readable(int timeoutMs)
{
    pollfd pfd {m_fd, POLLIN, 0};
    return m_fd >= 0 && ::poll(&pfd, 1, timeoutMs) > 0 && (pfd.revents & POLLIN);
}

bool RawPort::hungUp(int timeoutMs)
{
    if (m_fd < 0)
        return true;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        pollfd pfd {m_fd, POLLIN, 0};
        const int left = timeoutMs - int(timer.elapsed());
        if (::poll(&pfd, 1, qMax(0, left)) > 0) {
            if (pfd.revents & (POLLHUP | POLLERR))
                return true;
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno == EIO))
                return true;
        }
        if (left <= 0)
            return false;
    }
}
