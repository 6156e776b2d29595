#include "library/driverdetection.h"

#include <QFile>

// Linux lists its loaded kernel drivers as modules in /proc/modules, one a
// line, the module name first ("cp210x 32768 0 - Live 0x..."). Module names
// carry no ".sys", so the bridge's Windows driver is never among them and
// detection reports false here, which is the truth: "silabenm.sys" is not
// loaded. The names are still listed and logged, so the technician's log
// shows what the kernel has loaded (cp210x is the bridge's Linux driver).
bool listLoadedDrivers(QStringList *drivers, int *needed)
{
    return listModulesIn(QStringLiteral("/proc/modules"), drivers, needed);
}

bool listModulesIn(const QString &modulesFile, QStringList *drivers, int *needed)
{
    QFile modules(modulesFile);
    *needed = 0;
    if (!modules.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    // /proc files report size 0, so read line by line until the end.
    while (true) {
        const QByteArray line = modules.readLine();
        if (line.isEmpty())
            break;
        const int space = line.indexOf(' ');
        const QByteArray name = (space < 0 ? line : line.left(space)).trimmed();
        if (name.isEmpty())
            continue;
        drivers->append(QString::fromLocal8Bit(name));
    }
    *needed = drivers->size();
    return true;
}
