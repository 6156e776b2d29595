#pragma once

#include <QString>

// Port name <-> system location, the platform's way: "\\.\COM3" on Windows,
// "/dev/ttyUSB0" (name "ttyUSB0") or "/dev/pts/3" (name "pts/3") elsewhere.
class DevicePath
{
public:
    static QString locationFromName(const QString &portName);
    static QString nameFromLocation(const QString &location);
    // A port as an operator names it on a command line, resolved once so
    // that every step opens the same device: here an absolute path, a name
    // below /dev (ttyUSB0, pts/3), or a path relative to the working folder;
    // on Windows COM3 or \\.\COM3.
    static QString locationFromArgument(const QString &given);
    // The same for every name of one device: a link and its target, COM3
    // and com3.
    static QString identity(const QString &location);
};
