#include "device/connection.h"

#include "firmware/hexparser.h"

QVector<QByteArray> *Connection::parseHexFile(const QString &path)
{
    return parseHexImage(path);
}
