#pragma once

#include <QByteArray>
#include <QString>

// A serial device opened in raw mode, for tests that speak plain bytes to a
// virtual panel (or anything else on a pseudo-terminal) without going
// through the bootloader library or QSerialPort.
//
//     VirtualPanel panel(options);
//     QVERIFY(panel.start());
//     RawPort port;
//     QVERIFY(port.open(panel.devicePath()));
//     port.write(BootFrame::frame(BootFrame::read(0, 1)));
//     const QByteArray reply = port.readFrame(1000);  // one whole packet
//
// Reads wait with poll(), never longer than the time given, and return what
// arrived (possibly less than asked for). Closing the port, or destroying
// it, lets the panel see the client go away as a real port would.
class RawPort
{
public:
    RawPort() = default;
    ~RawPort();
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;

    bool open(const QString &path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    bool write(const QByteArray &bytes);

    // Until count bytes have come or timeoutMs have passed since the call.
    QByteArray read(int count, int timeoutMs);
    // Until the line has been silent for silenceMs (or maxMs have passed).
    QByteArray readUntilSilent(int silenceMs, int maxMs = 5000);
    // Until an ETX that ends a packet (not escaped by DLE) has come, or
    // timeoutMs have passed; the bytes as they came, framing included.
    QByteArray readFrame(int timeoutMs);
    // Throws away whatever arrived and was not read yet.
    void discardInput();

    // Hang-up seen: the other side closed the line.
    bool hungUp(int timeoutMs);

private:
    int m_fd = -1;
};
