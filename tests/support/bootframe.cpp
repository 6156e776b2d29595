#include "bootframe.h"

quint8 BootFrame::checksum(const QByteArray &payload)
{
    unsigned sum = 0;
    for (char c : payload)
        sum += quint8(c);
    return quint8(0x100 - (sum & 0xFF));
}

QByteArray BootFrame::frame(const QByteArray &payload)
{
    QByteArray body = payload;
    body.append(char(checksum(payload)));
    QByteArray wire("\x55\x55", 2);
    for (char c : qAsConst(body)) {
        const auto byte = quint8(c);
        if (byte == kStx || byte == kEtx || byte == kDle)
            wire.append(char(kDle));
        wire.append(c);
    }
    wire.append(char(kEtx));
    return wire;
}

QByteArray BootFrame::header(quint8 command, quint8 len, quint32 address)
{
    const char h[] = {char(command), char(len), char(address), char(address >> 8), char(address >> 16)};
    return QByteArray(h, sizeof h);
}

QByteArray BootFrame::readRequest(quint32 address, int instructions)
{
    return header(0x01, quint8(instructions), address);
}

QByteArray BootFrame::writeRequest(quint32 address, const QByteArray &rowData)
{
    return header(0x02, 1, address) + rowData;
}

QByteArray BootFrame::eraseRequest(quint32 address, int pages)
{
    return header(0x03, quint8(pages), address);
}

QByteArray BootFrame::pattern(int instructions, quint8 seed)
{
    QByteArray data;
    for (int k = 0; k < instructions; ++k) {
        // Never all ones, so a written word always differs from erased flash.
        data.append(char(quint8(k * 7 + seed)));
        data.append(char(quint8(k >> 8) ^ seed));
        data.append(char(quint8(0x7F & (k + seed))));
        data.append(char(0));
    }
    return data;
}
