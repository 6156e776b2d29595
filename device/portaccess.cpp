#include "device/portaccess.h"

QString PortAccess::summary(const Problem &problem)
{
    switch (problem.cause) {
    case Opened: return QStringLiteral("opened");
    case PermissionDenied: return QStringLiteral("permission denied");
    case InUse:
        return problem.holder.isEmpty() ? QStringLiteral("held by another program")
                                        : QStringLiteral("held by %1").arg(problem.holder);
    case Missing: return QStringLiteral("no such device");
    case NotResponding: return QStringLiteral("not responding");
    case OtherFailure: break;
    }
    return problem.detail.isEmpty() ? QStringLiteral("open failed") : problem.detail;
}

QString PortAccess::explain(const QString &portName, const QString &location, const Problem &problem)
{
    QString fix;
    switch (problem.cause) {
    case PermissionDenied:
        fix = QStringLiteral("Install the bootloader-wizard package, whose udev rule lets the logged-in user open the "
                             "panel's USB adaptor (unplug it and plug it in again after installing), or add the user "
                             "to the \"dialout\" group (sudo usermod -aG dialout $USER) and log in again.");
        break;
    case InUse:
        fix = problem.holder.startsWith(QLatin1String("this program"))
                  ? QStringLiteral("A link of this program to the port is still open.")
                  : QStringLiteral("Close the program that holds it (a terminal, another updater, ModemManager), "
                                   "then search again.");
        break;
    case Missing: fix = QStringLiteral("Check the cable and search again."); break;
    case NotResponding:
        fix = QStringLiteral("The system %1; the search went on without it. If no panel is on it (a Bluetooth "
                             "serial port, say), remove that port; otherwise unplug the adaptor and plug it in "
                             "again.").arg(problem.detail);
        break;
    case Opened:
    case OtherFailure: break;
    }
    QString line = QStringLiteral("Port \"%1\" (%2) could not be opened: %3.").arg(portName, location, summary(problem));
    if (!fix.isEmpty())
        line += QLatin1Char(' ') + fix;
    return line;
}
