#include "device/portlister.h"

#include <QDir>
#include <QFileInfo>

QString PortLister::slotOf(const QString &location)
{
    // A bench names its slots by these links; they stand for the USB port.
    const QFileInfo given(location);
    if (given.isSymLink())
        return given.fileName();
    const QString device = given.canonicalFilePath();
    const QDir byPath(QStringLiteral("/dev/serial/by-path"));
    for (const QFileInfo &link : byPath.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (link.canonicalFilePath() == device)
            return link.fileName();
    // .../usb1/1-2/1-2:1.0/ttyUSB0 -> 1-2, the USB port the adaptor is in.
    const QString sysfs = QFileInfo(QStringLiteral("/sys/class/tty/") + given.fileName() + QStringLiteral("/device"))
                              .canonicalFilePath();
    const QStringList parts = sysfs.split(QLatin1Char('/'));
    for (int i = parts.size() - 1; i > 0; --i)
        if (parts.at(i).contains(QLatin1Char(':')) && parts.at(i - 1).contains(QLatin1Char('-')))
            return parts.at(i - 1);
    return QString();
}

QString PortLister::locationOfSlot(const QString &slot)
{
    for (const SerialPortEntry &port : availablePorts())
        if (!slot.isEmpty() && slotOf(port.systemLocation).compare(slot, Qt::CaseInsensitive) == 0)
            return port.systemLocation;
    return QString();
}
