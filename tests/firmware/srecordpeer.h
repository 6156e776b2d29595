#pragma once

// srec_cat (Debian's srecord) as an independent reader of Intel HEX files:
// what it decodes from a file is what our image must hold.

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace srecordpeer {

inline QString srecCat()
{
    return QStandardPaths::findExecutable(QStringLiteral("srec_cat"));
}

// Runs srec_cat; false (with its words in *error) when it fails.
inline bool run(const QStringList &arguments, QByteArray *output = nullptr, QString *error = nullptr)
{
    QProcess process;
    process.start(srecCat(), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(process.readAllStandardError()) + process.errorString();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

// The bytes srec_cat reads from an Intel HEX file, by byte address, taken
// from its Verilog memory dump ("@address" then one byte per word).
inline bool decode(const QString &hexPath, QMap<quint32, quint8> *bytes, QString *error)
{
    QByteArray dump;
    if (!run({hexPath, QStringLiteral("-intel"), QStringLiteral("-o"), QStringLiteral("-"),
              QStringLiteral("-vmem"), QStringLiteral("8")},
             &dump, error))
        return false;
    bytes->clear();
    quint32 address = 0;
    for (const QByteArray &line : dump.split('\n')) {
        if (line.startsWith("/*"))
            continue;
        for (const QByteArray &item : line.simplified().split(' ')) {
            bool ok = false;
            if (item.startsWith('@')) {
                address = item.mid(1).toUInt(&ok, 16);
            } else if (item.size() == 2) {
                bytes->insert(address++, quint8(item.toUInt(&ok, 16)));
            } else {
                ok = item.isEmpty();
            }
            if (!ok) {
                *error = QStringLiteral("unexpected item in srec_cat's dump: ") + QString::fromLatin1(item);
                return false;
            }
        }
    }
    return true;
}

// Data records in a file's text, counted without reading them.
inline int dataRecordCount(const QByteArray &text)
{
    int count = 0;
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(':') && line.mid(7, 2) == "00")
            ++count;
    return count;
}

} // namespace srecordpeer
