#pragma once

#include "device/serialportentry.h"

#include <QList>

// The one place that lists serial ports. The program lists the system's
// ports; tests and the demo put their pseudo-terminals in instead, so that
// nothing else ever touches the machine's real ports.
class PortLister
{
public:
    static QList<SerialPortEntry> availablePorts();

    static void setOverride(const QList<SerialPortEntry> &ports);
    static void clearOverride();

    // Where the port at `location` is plugged in: on Linux the name of its
    // /dev/serial/by-path link (or the link `location` is), else the USB
    // port of its sysfs path; on Windows the first of its location paths
    // ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)"), else the location
    // the driver reports. Empty where the system does not tell.
    static QString slotOf(const QString &location);
    // The location of the listed port plugged in at `slot`, as slotOf()
    // names it, so that a bench can name its ports by where they are
    // plugged in; empty when no listed port is there.
    static QString locationOfSlot(const QString &slot);
};
