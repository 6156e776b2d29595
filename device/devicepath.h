#pragma once

#include <QString>

// Port name <-> system location, the platform's way: "\\.\COM3" on Windows,
// "/dev/ttyUSB0" (name "ttyUSB0") or "/dev/pts/3" (name "pts/3") elsewhere.
class DevicePath
{
public:
    static QString locationFromName(const QString &portName);
    static QString nameFromLocation(const QString &location);
};
