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
};
