#pragma once

#include <QString>

// A serial port as the system lists it: its name (COM3, ttyUSB0, pts/3) and
// its system location (the path a program opens).
struct SerialPortEntry
{
    QString portName;
    QString systemLocation;
};
