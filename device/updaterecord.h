#pragma once

#include "device/serialportentry.h"
#include "device/updateengine.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

class FirmwareImage;

// One panel and one attempt, as a production bench keeps them for quality
// tracking and support: when, where (port, slot, the adaptor's serial
// number), what (model, the firmware's name, size and SHA-256, the CRC-32 of
// what the panel returned when read back) and how it ended (result, code,
// phase, first failed block, retries, each phase's time).
struct UpdateRecord
{
    QDateTime start;
    QDateTime end;
    QString tool;        // "bootloader-cli 1.0.4"
    QString command;     // update, verify, read
    SerialPortEntry port;
    QString model;
    const FirmwareImage *image = nullptr;  // none for read
    UpdateEngine::Outcome outcome;

    QJsonObject toJson() const;
    // The line as a record keeps it.
    QByteArray line() const;
};
