#include "device/updaterecord.h"

#include "device/errorcodes.h"
#include "firmware/firmwareimage.h"

#include <QJsonDocument>
#include <QSysInfo>

QJsonObject UpdateRecord::toJson() const
{
    const UpdateEngine::Outcome &o = outcome;
    QJsonObject seconds;
    for (int phase = UpdateEngine::Erase; phase < UpdateEngine::PhaseCount; ++phase)
        if (o.phaseMs[phase] >= 0)
            seconds.insert(UpdateEngine::phaseName(UpdateEngine::Phase(phase)), o.phaseMs[phase] / 1000.0);
    QJsonObject line{{"start", start.toUTC().toString(Qt::ISODateWithMs)},
                     {"end", end.toUTC().toString(Qt::ISODateWithMs)},
                     {"host", QSysInfo::machineHostName()},
                     {"tool", tool},
                     {"command", command},
                     {"port", port.portName},
                     {"slot", port.slot},
                     {"serial", port.serialNumber},
                     {"model", model},
                     {"result", o.ok ? "ok" : o.interrupted ? "interrupted" : "failed"},
                     {"ok", o.ok},
                     {"seconds", seconds},
                     {"retries", o.retries},
                     {"blocksWritten", o.blocksWritten},
                     {"blocksVerified", o.blocksVerified}};
    if (image) {
        line.insert(QStringLiteral("file"), image->fileName());
        line.insert(QStringLiteral("fileSize"), image->fileSize());
        line.insert(QStringLiteral("fileSha256"), image->fileSha256());
    }
    // What the panel was left in, where one answered.
    if (o.ok || o.phase != UpdateEngine::Identify)
        line.insert(QStringLiteral("left"), o.started ? "application" : "bootloader");
    // What was read back and found right: never more than was checked.
    if (image && o.ok)
        line.insert(QStringLiteral("verified"), o.checked == UpdateEngine::WholeMemory ? "all" : "written");
    if (o.readBackCrc >= 0)
        line.insert(QStringLiteral("readBackCrc32"), QStringLiteral("%1").arg(o.readBackCrc, 8, 16, QLatin1Char('0')));
    if (!o.ok) {
        line.insert(QStringLiteral("phase"), UpdateEngine::phaseName(o.phase));
        line.insert(QStringLiteral("failure"), o.failure);
        line.insert(QStringLiteral("interrupted"), o.interrupted);
        if (o.code != NoError) {
            line.insert(QStringLiteral("code"), o.code);
            line.insert(QStringLiteral("message"), errorMessages[o.code]);
        }
    }
    if (o.failedAt >= 0)
        line.insert(QStringLiteral("failedAt"), o.failedAt);
    if (o.differsAt >= 0)
        line.insert(QStringLiteral("differsAt"), o.differsAt);
    return line;
}

QByteArray UpdateRecord::line() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact) + '\n';
}
