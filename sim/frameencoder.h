#pragma once

#include <QByteArray>
#include <QtGlobal>

// Frames a reply payload for the line: STX STX, the payload and its checksum
// with DLE in front of every STX, ETX or DLE among them, then ETX.
class FrameEncoder
{
public:
    static constexpr quint8 kStx = 0x55;
    static constexpr quint8 kEtx = 0x04;
    static constexpr quint8 kDle = 0x05;

    // The two's complement of the 8-bit sum of the payload.
    static quint8 checksum(const QByteArray &payload);

    // corruptChecksum sends a checksum off by one, for fault injection.
    static QByteArray encode(const QByteArray &payload, bool corruptChecksum = false);
};
