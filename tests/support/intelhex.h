#pragma once

// Intel HEX for the tests, written and read here rather than through the
// program's reader, so that a test can build exactly the file it means and
// check the bytes that reach an image or a panel against the file itself.

#include "firmware/intelhexdump.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>

#include <initializer_list>

namespace intelhex {

// (file byte address, bytes) of one data record.
using Records = QList<QPair<quint32, QByteArray>>;

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// One record line, uppercase, without a line end.
inline QByteArray record(int type, int offset, const QByteArray &data)
{
    return IntelHexDump::record(quint8(type), quint16(offset), data).chopped(1);
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

// `payload` from file byte address `first` as records of at most `size` bytes.
inline Records split(quint32 first, const QByteArray &payload, int size = 16)
{
    Records records;
    for (int k = 0; k < payload.size(); k += size)
        records.append({first + quint32(k), payload.mid(k, size)});
    return records;
}

// A file the way XC16 lays one out: an extended linear address record where
// the upper half of the address changes, CRLF, the end-of-file record. A
// segmented file gives the same addresses through segment (02) records.
inline QByteArray file(const Records &records, bool segmented = false)
{
    QByteArray text;
    qint64 upper = -1;
    for (const auto &r : records) {
        if (qint64(r.first >> 16) != upper) {
            upper = r.first >> 16;
            text += (segmented ? segment(int(upper << 12)) : linear(int(upper))) + "\r\n";
        }
        text += data(int(r.first & 0xFFFF), r.second) + "\r\n";
    }
    return text + endOfFile() + "\r\n";
}

// The bytes a file gives, by byte address (types 00, 02 and 04).
inline QMap<quint32, quint8> decode(const QByteArray &text)
{
    QMap<quint32, quint8> map;
    quint32 base = 0;
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray r = QByteArray::fromHex(line.trimmed().mid(1));
        if (r.size() < 5)
            continue;
        const quint32 offset = quint32(quint8(r[1])) << 8 | quint8(r[2]);
        const quint32 value = r.size() > 5 ? quint32(quint8(r[4])) << 8 | quint8(r[5]) : 0;
        if (r[3] == 0)
            for (int k = 0; k < quint8(r[0]); ++k)
                map.insert(base + offset + quint32(k), quint8(r[4 + k]));
        else if (r[3] == 2)
            base = value << 4;
        else if (r[3] == 4)
            base = value << 16;
    }
    return map;
}

// An image line as the reader writes it: "0004a0 12 ab ".
inline QByteArray imageLine(quint64 address, const QByteArray &payload)
{
    QByteArray text = QByteArray::number(address, 16).rightJustified(6, '0') + ' ';
    for (char b : payload)
        text += QByteArray::number(quint8(b), 16).rightJustified(2, '0') + ' ';
    return text;
}

// An image's bytes by byte address. Sets *consistent to false when a line
// is malformed or two lines disagree on a byte.
inline QMap<quint32, quint8> imageBytes(const QVector<QByteArray> &image, bool *consistent)
{
    QMap<quint32, quint8> map;
    *consistent = true;
    for (const QByteArray &line : image) {
        const QList<QByteArray> items = line.split(' ');
        bool ok = false;
        const quint32 address = items.value(0).toUInt(&ok, 16);
        if (!ok || items.size() < 2 || !items.last().isEmpty() || items.first().size() < 6)
            *consistent = false;
        for (int k = 1; ok && k + 1 < items.size(); ++k) {
            const quint8 value = quint8(items.at(k).toUInt(&ok, 16));
            const quint32 at = address + quint32(k - 1);
            if (!ok || items.at(k).size() != 2 || (map.contains(at) && map.value(at) != value))
                *consistent = false;
            map.insert(at, value);
        }
    }
    return map;
}

// `n` bytes counting up from `first`.
inline QByteArray counting(int n, int first = 0)
{
    QByteArray b;
    for (int k = 0; k < n; ++k)
        b.append(char(first + k));
    return b;
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

} // namespace intelhex
