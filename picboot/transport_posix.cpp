#include "picboot/transport.h"

#include "picboot/picboot.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace picboot {
namespace {

int64_t nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool speedFor(int32_t bitRate, speed_t *speed)
{
    switch (bitRate) {
    case 1200: *speed = B1200; return true;
    case 2400: *speed = B2400; return true;
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
#ifdef B230400
    case 230400: *speed = B230400; return true;
#endif
    default: return false;
    }
}

class PosixTransport : public Transport
{
public:
    ~PosixTransport() override { close(); }

    int open(const char *path, int32_t bitRate) override
    {
        speed_t speed;
        if (!speedFor(bitRate, &speed))
            return PICBOOT_ERR_COMMAND;
        // Non-blocking so that a line without carrier cannot hang the open,
        // and so that reads are driven by poll() alone.
        int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return PICBOOT_ERR_IO;
        if (!isatty(fd) || !claim(fd) || !configure(fd, speed)) {
            ::close(fd);
            return PICBOOT_ERR_IO;
        }
        m_fd = fd;
        return 0;
    }

    void close() override
    {
        if (m_fd < 0)
            return;
        ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);  // also drops the flock
        m_fd = -1;
    }

    int write(const uint8_t *data, size_t count, int timeoutMs) override
    {
        if (m_fd < 0)
            return PICBOOT_ERR_IO;
        const int64_t deadline = nowMs() + timeoutMs;
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(m_fd, data + done, count - done);
            if (n > 0) {
                done += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return PICBOOT_ERR_IO;
            const int64_t left = deadline - nowMs();
            if (left <= 0)
                return PICBOOT_ERR_IO;
            pollfd p{m_fd, POLLOUT, 0};
            const int r = poll(&p, 1, int(left));
            if (r < 0 && errno != EINTR)
                return PICBOOT_ERR_IO;
            if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
                return PICBOOT_ERR_IO;
        }
        return int(count);
    }

    int read(uint8_t *buffer, size_t capacity, int timeoutMs) override
    {
        if (m_fd < 0)
            return PICBOOT_ERR_IO;
        const int64_t deadline = nowMs() + timeoutMs;
        for (;;) {
            const int64_t left = deadline - nowMs();
            pollfd p{m_fd, POLLIN, 0};
            const int r = poll(&p, 1, left > 0 ? int(left) : 0);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return PICBOOT_ERR_IO;
            }
            if (r == 0) {
                if (left > 0)
                    continue;  // woke early: wait out the rest
                return PICBOOT_ERR_TIMEOUT;
            }
            if (p.revents & POLLNVAL)
                return PICBOOT_ERR_IO;
            // Data that arrived before a hang-up is still read first.
            const ssize_t n = ::read(m_fd, buffer, capacity);
            if (n > 0)
                return int(n);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                && !(p.revents & (POLLHUP | POLLERR)))
                continue;
            return PICBOOT_ERR_IO;  // 0 (end of file), EIO on a pseudo-terminal whose other side closed
        }
    }

    void discardInput() override
    {
        if (m_fd >= 0)
            tcflush(m_fd, TCIFLUSH);
    }

private:
    // No second program (nor a second link in this one) may interleave bytes
    // on the line. TIOCEXCL keeps other opens out, except root's, which the
    // kernel lets through; the flock catches those that ask politely.
    static bool claim(int fd)
    {
        if (ioctl(fd, TIOCEXCL) != 0)
            return false;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            return false;
        return true;
    }

    static bool configure(int fd, speed_t speed)
    {
        termios t;
        if (tcgetattr(fd, &t) != 0)
            return false;
        cfmakeraw(&t);
        t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK | ISTRIP);
        t.c_iflag |= IGNBRK;
        t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | HUPCL);
#ifdef CRTSCTS
        t.c_cflag &= ~tcflag_t(CRTSCTS);
#endif
        t.c_cflag |= CS8 | CREAD | CLOCAL;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0)
            return false;
        if (tcsetattr(fd, TCSANOW, &t) != 0)
            return false;
        // The panel's board uses the modem lines for nothing; keep them low.
        // Pseudo-terminals have no modem lines, hence no check.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(fd, TIOCMBIC, &lines);
        tcflush(fd, TCIOFLUSH);
        return true;
    }

    int m_fd = -1;
};

} // namespace

std::unique_ptr<Transport> createTransport()
{
    return std::make_unique<PosixTransport>();
}

} // namespace picboot
