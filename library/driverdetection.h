#pragma once

#include <QStringList>

// Whether the USB-to-UART bridge's driver ("silabenm.sys") is loaded.
bool detectDrivers();

// The decision over a list of loaded driver names, in the order the system
// lists them. A name that could not be read is a null QString: it keeps its
// place in the numbering but is otherwise skipped. `listed` is false when the
// listing failed; `needed` is the number of drivers the system reported, which
// may exceed the list when the system has more than the listing holds.
bool detectDriversIn(const QStringList &drivers, bool listed, int needed);

// The platform's listing of loaded kernel drivers by name; false when it
// failed. `needed` receives the number of drivers the system reported.
bool listLoadedDrivers(QStringList *drivers, int *needed);

// Linux only: the listing read from a file laid out as /proc/modules.
bool listModulesIn(const QString &modulesFile, QStringList *drivers, int *needed);
