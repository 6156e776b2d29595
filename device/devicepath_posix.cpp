#include "device/devicepath.h"

#include <QFileInfo>

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

QString DevicePath::locationFromArgument(const QString &given)
{
    const QString underDev = locationFromName(given);
    if (given.startsWith(QLatin1Char('/')) || QFileInfo::exists(underDev) || !QFileInfo::exists(given))
        return underDev;
    return QFileInfo(given).absoluteFilePath();
}

QString DevicePath::identity(const QString &location)
{
    const QString target = QFileInfo(location).canonicalFilePath();
    return target.isEmpty() ? location : target;
}
