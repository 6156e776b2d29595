#pragma once

#include <QByteArray>
#include <QtGlobal>

// The bootloader's packets, built and taken apart for tests. Written apart
// from the panel's and the library's own framing, so that a fault in one of
// them cannot hide behind the same fault here.
class BootFrame
{
public:
    static constexpr quint8 kStx = 0x55;
    static constexpr quint8 kEtx = 0x04;
    static constexpr quint8 kDle = 0x05;

    static quint8 checksum(const QByteArray &payload);
    // STX STX, payload and checksum with DLE before any STX/ETX/DLE, ETX.
    static QByteArray frame(const QByteArray &payload);

    // Request payloads: CMD LEN ADDR_L ADDR_H ADDR_U [data].

    static QByteArray header(quint8 command, quint8 len, quint32 address);
    static QByteArray readRequest(quint32 address, int instructions);
    static QByteArray writeRequest(quint32 address, const QByteArray &rowData);
    static QByteArray eraseRequest(quint32 address, int pages);

    // Instructions in file layout (low, middle, upper, phantom 0) that
    // differ from one another and from erased flash.
    static QByteArray pattern(int instructions, quint8 seed);
};
