#pragma once

#include <QSerialPort>
#include <QString>

// Why a serial port could not be opened, in words a technician can act on:
// a port nobody may open is not a port where nothing answered.
class PortAccess
{
public:
    enum Cause {
        Opened,            // nothing in the way
        PermissionDenied,  // the user may not open the device
        InUse,             // another open of the port holds it
        Missing,           // no such device (unplugged meanwhile)
        NotResponding,     // the system did not finish opening or reading it in time
        OtherFailure,
    };

    struct Problem
    {
        Cause cause = Opened;
        QString holder;  // who holds the port, where the system tells
        QString detail;  // the system's own words, for OtherFailure
    };

    // Looks into a failed open of `location`; `error` is what QSerialPort
    // reported for it (InUse stands when our own hold on an open port failed).
    static Problem diagnose(const QString &location, QSerialPort::SerialPortError error,
                            const QString &errorString);
    // One debug line: the port, the cause and the fix.
    static QString explain(const QString &portName, const QString &location, const Problem &problem);
    // The cause alone, short ("permission denied", "held by ModemManager (pid 612)").
    static QString summary(const Problem &problem);

private:
    // What to do about it, as this system would have it done.
    static QString advice(const Problem &problem);
};
