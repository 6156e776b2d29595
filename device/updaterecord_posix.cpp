#include "device/updaterecord.h"

#include <QFile>

// O_APPEND: the system moves to the end and writes in one step.
bool UpdateRecord::appendLine(const QString &path, const QByteArray &line, QString *why)
{
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)
                    && file.write(line) == line.size();
    *why = file.errorString();
    return ok;
}
