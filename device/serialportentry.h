#pragma once

#include <QString>

// A serial port as the system lists it: its name (COM3, ttyUSB0, pts/3) and
// its system location (the path a program opens).
struct SerialPortEntry
{
    SerialPortEntry() = default;
    SerialPortEntry(const QString &name, const QString &location, quint16 vendor = 0, quint16 product = 0,
                    const QString &text = QString())
        : portName(name), systemLocation(location), vendorId(vendor), productId(product), description(text)
    {
    }

    QString portName;
    QString systemLocation;
    // What the system tells of the device behind it, for the support log;
    // 0 and empty where it tells nothing (pseudo-terminals, built-in ports).
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString description;
    // Where the adaptor is plugged in, which stays when its ttyUSBn or COMn
    // name changes from plug to plug, and its serial number; empty where the
    // system does not tell.
    QString slot;
    QString serialNumber;
};
