#pragma once

// Small helpers shared by the firmware tests: well-formed Intel HEX lines
// (so each test breaks exactly the thing it means to break), files in a
// temporary folder, and the image read back as a byte map.

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

#include <initializer_list>

namespace hexfixture {

// One record line, uppercase, without a line end.
inline QByteArray record(int type, int offset, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(offset >> 8));
    bytes.append(char(offset));
    bytes.append(char(type));
    bytes.append(data);
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes.append(char(-sum));
    return ':' + bytes.toHex().toUpper();
}

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

inline QByteArray data(int offset, const QByteArray &payload) { return record(0x00, offset, payload); }
inline QByteArray endOfFile() { return record(0x01, 0, QByteArray()); }
inline QByteArray linear(int upper) { return record(0x04, 0, bytes({upper >> 8, upper & 0xFF})); }
inline QByteArray segment(int base) { return record(0x02, 0, bytes({base >> 8, base & 0xFF})); }

// Lines joined with LF, with a final line end.
inline QByteArray lines(std::initializer_list<QByteArray> list)
{
    QByteArray text;
    for (const QByteArray &l : list)
        text += l + '\n';
    return text;
}

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

// The image's bytes by byte address. Sets *consistent to false when a line
// is malformed or two lines disagree on a byte.
inline QMap<quint32, quint8> imageBytes(const QVector<QByteArray> &image, bool *consistent)
{
    QMap<quint32, quint8> map;
    *consistent = true;
    for (const QByteArray &line : image) {
        const QList<QByteArray> items = line.split(' ');
        bool ok = false;
        const quint32 address = items.value(0).toUInt(&ok, 16);
        if (!ok || items.size() < 2 || !items.last().isEmpty() || items.first().size() < 6) {
            *consistent = false;
            continue;
        }
        for (int k = 1; k + 1 < items.size(); ++k) {
            const quint8 value = quint8(items.at(k).toUInt(&ok, 16));
            const quint32 at = address + quint32(k - 1);
            if (!ok || items.at(k).size() != 2 || (map.contains(at) && map.value(at) != value))
                *consistent = false;
            map.insert(at, value);
        }
    }
    return map;
}

} // namespace hexfixture
