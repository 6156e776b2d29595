#pragma once

#include <QString>
#include <QtGlobal>

// The one supported controller, PIC24FJ128GA106, as the bootloader sees it.
struct DeviceProfile
{
    quint32 deviceId = 0x1008;  // DEVID as the part reads it at 0xFF0000
    QString name = QStringLiteral("PIC24FJ128GA106");
    quint32 programStart = 0;
    quint32 programEnd = 0x157FF;
    quint32 ignoreAddress1 = 0x100;
    quint32 ignoreAddress2 = 0x102;
    quint32 bytesPerAddress = 2;
    quint32 eraseBlockBytes = 2048;
    quint32 readUnitBytes = 4;
    quint32 writeBlockBytes = 256;
    quint32 deviceParam1 = 2;
    quint32 deviceParam2 = 2;
};
