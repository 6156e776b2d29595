#pragma once

#include <QByteArray>
#include <QString>

// A serial device opened in raw mode, for tests that speak plain bytes to a
// virtual panel without the bootloader library or QSerialPort. Reads wait
// with poll(), never longer than the time given, and return what arrived
// (possibly less than asked for). Closing it lets the panel see the client
// go away, as a real port would.
class RawPort
{
public:
    RawPort() = default;
    ~RawPort() { close(); }
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;

    bool open(const QString &path);
    // Becomes the device end of a new pseudo-terminal, raw from the start
    // (nothing a test sends is cooked before a client sets the line up);
    // clientPath is the end a client opens.
    bool openDeviceEnd(QByteArray *clientPath);
    void close();
    int fd() const { return m_fd; }

    bool write(const QByteArray &bytes);
    // Until count bytes have come or timeoutMs have passed since the call.
    QByteArray read(int count, int timeoutMs);
    // Until the line has been silent for silenceMs (or maxMs have passed).
    QByteArray readUntilSilent(int silenceMs, int maxMs = 5000);
    // Until an ETX that ends a packet has come: the bytes as they came
    // (empty if no whole packet came in time).
    QByteArray readFrame(int timeoutMs);
    // The other side closed the line.
    bool hungUp(int timeoutMs);

private:
    int m_fd = -1;
};
