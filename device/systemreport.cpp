#include "device/systemreport.h"

#include "device/picboot.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>

QStringList SystemReport::lines(const QList<SerialPortEntry> &ports)
{
    QStringList lines;
    lines << QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion());
    lines << QStringLiteral("System: %1, kernel %2 %3, %4")
                 .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                      QSysInfo::currentCpuArchitecture());
    lines << QStringLiteral("Qt: %1 (built with %2)").arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
    lines << QStringLiteral("Bootloader library: %1, %2")
                 .arg(QDir::toNativeSeparators(PicBoot::libraryPath()), PicBoot::load() ? QStringLiteral("loaded") : QStringLiteral("not loaded"));
    if (ports.isEmpty())
        lines << QStringLiteral("Serial ports: none");
    for (const SerialPortEntry &port : ports) {
        QString line = QStringLiteral("Serial port: %1 (%2)").arg(port.portName, port.systemLocation);
        if (port.vendorId || port.productId)
            line += QStringLiteral(", USB %1:%2").arg(port.vendorId, 4, 16, QLatin1Char('0'))
                        .arg(port.productId, 4, 16, QLatin1Char('0'));
        if (!port.description.isEmpty())
            line += QStringLiteral(", \"%1\"").arg(port.description);
        lines << line;
    }
    return lines;
}
