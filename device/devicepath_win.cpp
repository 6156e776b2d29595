#include "device/devicepath.h"

namespace {
const QString kDevicePrefix = QStringLiteral("\\\\.\\");
}

// The device namespace prefix lets CreateFile open COM10 and above, which the
// bare name does not reach.
QString DevicePath::locationFromName(const QString &portName)
{
    if (portName.startsWith(kDevicePrefix))
        return portName;
    return kDevicePrefix + portName;
}

QString DevicePath::nameFromLocation(const QString &location)
{
    if (location.startsWith(kDevicePrefix))
        return location.mid(kDevicePrefix.size());
    return location;
}

QString DevicePath::locationFromArgument(const QString &given)
{
    // COM1 to COM9 name devices in every folder: never a path to look up.
    return locationFromName(given);
}

QString DevicePath::identity(const QString &location)
{
    return locationFromName(location).toUpper();
}
