#pragma once

#include "device/serialportentry.h"

#include <QList>
#include <QStringList>

// The lines a support log opens with, so that support can tell from the log
// alone what ran where: the program and its version, the operating system,
// the Qt the program runs on, the bootloader library it found and every
// serial port it saw.
class SystemReport
{
public:
    static QStringList lines(const QList<SerialPortEntry> &ports);
};
