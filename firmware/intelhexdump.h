#pragma once

#include "firmware/deviceprofile.h"

#include <QByteArray>
#include <QtGlobal>

// Writes flash contents in file layout as Intel HEX: 16-byte data records,
// extended linear address records where the upper address changes, and the
// end-of-file record. Lines that hold only erased instructions
// (FF FF FF 00) are left out, so the dump shows what was programmed.
class IntelHexDump
{
public:
    static QByteArray fromFileBytes(const QByteArray &bytes);
    // The program memory as read from a panel, as a file that updates a
    // panel again: the application's reset jump, which the bootloader keeps
    // at 0x100, put back at 0, where a file gives it.
    static QByteArray fromProgram(const QByteArray &fileBytes, const DeviceProfile &profile);
    // One record line with its checksum, uppercase, ending in LF.
    static QByteArray record(quint8 type, quint16 address, const QByteArray &data);
};
