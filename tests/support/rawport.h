#pragma once

#include <QByteArray>
#include <QString>

// The device end of a pseudo-terminal, for tests that play the panel in
// plain bytes to the bootloader library. Reads wait with poll(), never longer
// than the time given, and return what arrived (possibly less than asked
// for). Closing it hangs the line up, as a pulled cable would.
class RawPort
{
public:
    RawPort() = default;
    ~RawPort() { close(); }
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;

    // Becomes the device end of a new pseudo-terminal, raw from the start
    // (nothing a test sends is cooked before a client sets the line up);
    // clientPath is the end a client opens.
    bool openDeviceEnd(QByteArray *clientPath);
    void close();
    int fd() const { return m_fd; }

    bool write(const QByteArray &bytes);
    // Until count bytes have come or timeoutMs have passed since the call.
    QByteArray read(int count, int timeoutMs);

private:
    bool open(const QString &path);  // raw mode on a terminal

    int m_fd = -1;
};
