#pragma once

#include <atomic>

// Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and the closing
// console) ask every panel to stop at its next block boundary, in its
// bootloader. A second one asks the run to end now: the panels in flight are
// recorded as interrupted and the program exits within half a second; a
// third ends it at once. A closed output stops nothing: writes to it fail
// and are let go.
namespace Interrupt {

// Installs the handlers once, and forgets an earlier request.
void watch();
const std::atomic<bool> &requested();
// A second signal came.
bool forced();
// 128 plus the signal's number (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP), 0
// while none came.
int exitStatus();

} // namespace Interrupt
