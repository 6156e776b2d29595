#include "sim/frameencoder.h"

quint8 FrameEncoder::checksum(const QByteArray &payload)
{
    quint8 sum = 0;
    for (char c : payload)
        sum = quint8(sum + quint8(c));
    return quint8(-sum);
}

QByteArray FrameEncoder::encode(const QByteArray &payload, bool corruptChecksum)
{
    QByteArray wire;
    wire.reserve(payload.size() * 2 + 5);
    wire.append(char(kStx));
    wire.append(char(kStx));
    auto put = [&wire](quint8 byte) {
        if (byte == kStx || byte == kEtx || byte == kDle)
            wire.append(char(kDle));
        wire.append(char(byte));
    };
    for (char c : payload)
        put(quint8(c));
    quint8 sum = checksum(payload);
    if (corruptChecksum)
        sum = quint8(sum + 1);
    put(sum);
    wire.append(char(kEtx));
    return wire;
}
