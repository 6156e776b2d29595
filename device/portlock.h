#pragma once

#include <QSerialPort>

#include <utility>

// An advisory hold on an open serial port, shared with the bootloader
// library, which takes the same hold while its link is open. The terminal's
// exclusive mode does not stop root, and QSerialPort's lock files are not
// seen by the library, so without this the identification could talk into a
// port whose link is in use.
class PortLock
{
public:
    // What QSerialPort::handle() gives: a descriptor here, a HANDLE on Windows.
    using Handle = decltype(std::declval<QSerialPort &>().handle());

    // False only when another open of the port holds it. The hold ends when
    // the port is closed.
    static bool tryHold(Handle handle);
};
