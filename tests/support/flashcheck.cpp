#include "support/flashcheck.h"

#include "sim/virtualpanel.h"
#include "support/intelhex.h"

#include <QFile>

QString samplePath()
{
    return QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex");
}

QByteArray sampleText()
{
    QFile file(samplePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString flashMismatch(const VirtualPanel &panel, const QByteArray &hexText)
{
    const QByteArray flash = panel.fileBytes();
    const QMap<quint32, quint8> file = intelhex::decode(hexText);
    const quint32 writable = VirtualPanel::kProtectedStart * 2;
    if (quint32(flash.size()) < writable)
        return QStringLiteral("the panel holds %1 bytes").arg(flash.size());
    for (quint32 address = 8; address < writable; ++address) {
        const bool resetJump = address >= 0x200 && address < 0x208;
        const quint32 from = resetJump ? address - 0x200 : address;
        // The phantom byte is not stored: it reads 0 whatever the file says.
        const int expected = address % 4 == 3 ? 0x00 : file.value(from, 0xFF);
        const int actual = quint8(flash.at(int(address)));
        if (actual != expected)
            return QStringLiteral("file byte address 0x%1 (device 0x%2) holds %3, the file says %4")
                .arg(address, 0, 16).arg(address / 2, 0, 16).arg(actual, 2, 16, QLatin1Char('0'))
                .arg(expected, 2, 16, QLatin1Char('0'));
    }
    return QString();
}
