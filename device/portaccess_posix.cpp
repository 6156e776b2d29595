#include "device/portaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

// The processes that have `device` open, as "name (pid N)", from /proc
// (Linux; elsewhere the list is empty and the holder goes unnamed).
QString holdersOf(const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    QStringList holders;
    QString self;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 number = pid.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        const QFileInfoList links = fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &fd : links) {
            if (fd.symLinkTarget() != target)
                continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                                                 : QStringLiteral("?");
            if (number == ::getpid())
                self = QStringLiteral("this program (pid %1)").arg(number);
            else
                holders << QStringLiteral("%1 (pid %2)").arg(name).arg(number);
            break;
        }
    }
    // Another program first: a port this program holds too is still theirs to let go.
    if (!self.isEmpty())
        holders << self;
    return holders.join(QStringLiteral(", "));
}

} // namespace

PortAccess::Problem PortAccess::diagnose(const QString &location, QSerialPort::SerialPortError error,
                                         const QString &errorString)
{
    // QSerialPort says "permission error" both for a device the user may not
    // open and for one another program holds; access() tells them apart
    // without opening the device again, which could toggle its lines.
    const QByteArray path = QFile::encodeName(location);
    Problem problem;
    problem.detail = errorString;
    if (::access(path.constData(), F_OK) != 0)
        problem.cause = Missing;
    else if (::access(path.constData(), R_OK | W_OK) != 0)
        problem.cause = PermissionDenied;
    else if (error == QSerialPort::PermissionError || error == QSerialPort::NoError)
        problem.cause = InUse;
    else
        problem.cause = OtherFailure;
    if (problem.cause == InUse)
        problem.holder = holdersOf(location);
    return problem;
}

QString PortAccess::advice(const Problem &problem)
{
    switch (problem.cause) {
    case PermissionDenied:
        return QStringLiteral("Install the bootloader-wizard package, whose udev rule lets the logged-in user open the "
                              "panel's USB adaptor (unplug it and plug it in again after installing), or add the user "
                              "to the \"dialout\" group (sudo usermod -aG dialout $USER) and log in again.");
    case InUse:
        return problem.holder.startsWith(QLatin1String("this program"))
                   ? QStringLiteral("A link of this program to the port is still open.")
                   : QStringLiteral("Close the program that holds it (a terminal, another updater, ModemManager), "
                                    "then search again.");
    case Missing: return QStringLiteral("Check the cable and search again.");
    default: return QString();
    }
}
