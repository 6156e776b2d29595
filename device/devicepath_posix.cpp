#include "device/devicepath.h"

namespace {
const QString kDevPrefix = QStringLiteral("/dev/");
}

// QSerialPortInfo names a port by its path below /dev ("ttyUSB0", and
// "pts/3" for a pseudo-terminal), so the two forms differ only by that prefix.
QString DevicePath::locationFromName(const QString &portName)
{
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    return kDevPrefix + portName;
}

QString DevicePath::nameFromLocation(const QString &location)
{
    if (location.startsWith(kDevPrefix))
        return location.mid(kDevPrefix.size());
    return location;
}
