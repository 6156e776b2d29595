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
