#pragma once

#include <QByteArray>
#include <QtGlobal>

// The CRC-32 of zlib, Ethernet and PNG (reflected polynomial 0xEDB88320),
// continued from an earlier value over more bytes.
quint32 crc32(const QByteArray &bytes, quint32 crc = 0);
