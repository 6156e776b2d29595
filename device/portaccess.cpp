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
    QString line = QStringLiteral("Port \"%1\" (%2) could not be opened: %3.").arg(portName, location, summary(problem));
    const QString fix = problem.cause == NotResponding
        ? QStringLiteral("The system %1; the search went on without it. If no panel is on it (a Bluetooth serial "
                         "port, say), remove that port; otherwise unplug the adaptor and plug it in again.")
              .arg(problem.detail)
        : advice(problem);
    if (!fix.isEmpty())
        line += QLatin1Char(' ') + fix;
    return line;
}
