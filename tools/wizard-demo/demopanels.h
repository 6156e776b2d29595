#pragma once

#include "sim/virtualpanel.h"

#include <QString>
#include <QStringList>

// The demo's virtual panels, each on a pseudo-terminal of its own and
// serving on its own thread, listed to the wizard as the only serial ports.
// They need POSIX pseudo-terminals; on Windows the demo drives the wizard
// against the ports named with --port (a panel, or an emulator's COM port).
namespace DemoPanels {

// The fault names --fault takes, each with a line of help.
QString faultHelp();
// Applies a named fault; false for an unknown name.
bool applyFault(const QString &name, PanelOptions *options);

// Starts count panels and lists their terminals through the port lister's
// override, after `silent` ports on which nothing answers and `hung` ports
// whose driver never returns from opening them (as a Bluetooth serial port
// paging its device); the first panel answers model, the others alternate
// between the two known models. False, with the reason, when they cannot run.
bool start(int count, const PanelOptions &options, int silent, int hung, QString *why);
QStringList devicePaths();

} // namespace DemoPanels
