#pragma once

#include <QByteArray>
#include <QtGlobal>

// One data record of an Intel HEX file. The data stays as the record's own
// hex characters until the image is built.
struct HexRecord
{
    qint32 address = 0;  // file byte address of the first data byte
    qint16 length = 0;   // data bytes, 0 to 255
    QByteArray data;     // 2 * length hex characters, either case
    int line = 0;        // the file line it came from (1-based), for diagnostics
};
