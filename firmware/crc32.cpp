#include "firmware/crc32.h"

quint32 crc32(const QByteArray &bytes, quint32 crc)
{
    crc = ~crc;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
