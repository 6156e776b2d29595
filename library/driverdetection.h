#pragma once

#include <QStringList>

// Whether the USB-to-UART bridge's driver ("silabenm.sys") is loaded.
bool detectDrivers();

// The decision over a list of loaded driver names, as the system lists them.
// `listed` is false when the listing failed; `needed` is the number of drivers
// the system reported.
bool detectDriversIn(const QStringList &drivers, bool listed, int needed);

// The platform's listing of loaded kernel drivers; false when it failed.
bool listLoadedDrivers(QStringList *drivers, int *needed);
