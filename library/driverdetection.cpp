#include "library/driverdetection.h"

#include <QDebug>

namespace {

// The bridge's driver list is read into a fixed table of this many entries;
// a system that reports as many or more is treated as a failed listing.
constexpr int kMaxDrivers = 1024;

const QString &bridgeDriverName()
{
    static const QString name = QStringLiteral("silabenm.sys");
    return name;
}

} // namespace

bool detectDriversIn(const QStringList &drivers, bool listed, int needed)
{
    if (!listed || needed >= kMaxDrivers) {
        qDebug() << "detectDrivers(): EnumDeviceDrivers failed; array size needed is" << needed;
        return false;
    }
    const int count = qMin(needed, drivers.size());
    for (int i = 1; i <= count; ++i) {
        const QString &name = drivers.at(i - 1);
        if (name.isNull())
            continue;
        if (name.startsWith(QLatin1Char('s'), Qt::CaseInsensitive)
            && name.compare(bridgeDriverName(), Qt::CaseInsensitive) == 0) {
            qDebug() << "detectDrivers(): driver found.";
            return true;
        }
        qDebug().noquote() << "detectDrivers():" << i << ":" << name;
    }
    return false;
}

bool detectDrivers()
{
    QStringList drivers;
    int needed = 0;
    const bool listed = listLoadedDrivers(&drivers, &needed);
    return detectDriversIn(drivers, listed, needed);
}
