#include "sim/clientwatch.h"

#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>

ClientWatch::~ClientWatch()
{
    close();
}

bool ClientWatch::watch(const QString &path)
{
    close();
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return false;
    if (::inotify_add_watch(m_fd, path.toLocal8Bit().constData(),
                            IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        close();
        return false;
    }
    m_clients = 0;
    return true;
}

void ClientWatch::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_clients = 0;
}

bool ClientWatch::update()
{
    if (m_fd < 0)
        return false;
    bool lastClosed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t offset = 0; offset < n;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            if (event.mask & IN_OPEN)
                ++m_clients;
            if (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (m_clients > 0)
                    --m_clients;
                lastClosed = true;
            }
            offset += ssize_t(sizeof(inotify_event)) + event.len;
        }
    }
    return lastClosed && m_clients == 0;
}
