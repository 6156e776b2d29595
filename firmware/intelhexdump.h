#pragma once

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
    // One record line with its checksum, uppercase, ending in LF.
    static QByteArray record(quint8 type, quint16 address, const QByteArray &data);
};
