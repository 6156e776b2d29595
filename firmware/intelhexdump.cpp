#include "firmware/intelhexdump.h"

QByteArray IntelHexDump::record(quint8 type, quint16 address, const QByteArray &data)
{
    QByteArray raw;
    raw.append(char(data.size()));
    raw.append(char(address >> 8));
    raw.append(char(address & 0xFF));
    raw.append(char(type));
    raw.append(data);
    quint8 sum = 0;
    for (char c : qAsConst(raw))
        sum = quint8(sum + quint8(c));
    raw.append(char(quint8(-sum)));
    return ':' + raw.toHex().toUpper() + '\n';
}

QByteArray IntelHexDump::fromFileBytes(const QByteArray &bytes)
{
    static const QByteArray erasedLine = QByteArray::fromHex("FFFFFF00FFFFFF00FFFFFF00FFFFFF00");
    QByteArray out;
    quint32 upper = 0;
    for (int offset = 0; offset < bytes.size(); offset += 16) {
        const QByteArray line = bytes.mid(offset, 16);
        if (line == erasedLine)
            continue;
        const quint32 address = quint32(offset);
        if ((address >> 16) != upper) {
            upper = address >> 16;
            QByteArray ext;
            ext.append(char(upper >> 8));
            ext.append(char(upper & 0xFF));
            out += record(0x04, 0, ext);
        }
        out += record(0x00, quint16(address & 0xFFFF), line);
    }
    out += record(0x01, 0, QByteArray());
    return out;
}

QByteArray IntelHexDump::fromProgram(const QByteArray &fileBytes, const DeviceProfile &profile)
{
    QByteArray bytes = fileBytes;
    const int kept = int(profile.keptResetJumpByte());
    if (bytes.size() >= kept + profile.resetJumpBytes)
        bytes.replace(0, profile.resetJumpBytes, bytes.mid(kept, profile.resetJumpBytes));
    return fromFileBytes(bytes);
}
