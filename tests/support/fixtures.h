#pragma once

#include "sim/virtualpanel.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// A panel's faults for a table row: the defaults, with what `set` changes.
template <typename Set>
PanelFaults with(Set set)
{
    PanelFaults faults;
    set(faults);
    return faults;
}

// A file's bytes; empty when it cannot be read.
inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
