#pragma once

#include <QString>

// Counts the clients that hold a pseudo-terminal's slave open, from the
// open and close events the kernel reports on its path (inotify). The panel
// needs to know when the last client has gone: what arrives for a closed
// port is lost on a real line, and a port closed and opened again starts
// with empty buffers.
//
// Without inotify the count stays unknown and every client is taken to be
// present.
class ClientWatch
{
public:
    ClientWatch() = default;
    ~ClientWatch();
    ClientWatch(const ClientWatch &) = delete;
    ClientWatch &operator=(const ClientWatch &) = delete;

    bool watch(const QString &path);   // starts at no clients
    void close();
    int fd() const { return m_fd; }    // readable when events are pending

    // Reads the pending events. Returns true when, after them, no client
    // holds the port but one did before or in between.
    bool update();
    bool hasClients() const { return m_fd < 0 || m_clients > 0; }

private:
    int m_fd = -1;
    int m_clients = 0;
};
