#include "device/portaccess.h"

// Windows opens a COM port for one handle at a time and answers any other
// open with "access denied": the port is in use. It does not say by whom.
PortAccess::Problem PortAccess::diagnose(const QString &, QSerialPort::SerialPortError error,
                                         const QString &errorString)
{
    Problem problem;
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::PermissionError: problem.cause = InUse; break;
    case QSerialPort::DeviceNotFoundError: problem.cause = Missing; break;
    default: problem.cause = OtherFailure; break;
    }
    problem.detail = errorString;
    return problem;
}

QString PortAccess::advice(const Problem &problem)
{
    switch (problem.cause) {
    case InUse:
        return QStringLiteral("Windows lets one program at a time open a COM port: close the one that holds it (a "
                              "terminal, the panel maker's other software, another copy of this program), then search "
                              "again.");
    case Missing:
        return QStringLiteral("Check the cable and that Windows' Device Manager lists the port, then search again.");
    default: return QString();
    }
}
