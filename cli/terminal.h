#pragma once

#include <QString>

// Whether standard output is a terminal that takes the escape sequences
// that redraw a line (on Windows, once switched on for the console).
bool outputIsTerminal();

// Our texts are written as UTF-8 (the JSON lines must be); a Windows
// console is told so, or the accents of the Portuguese messages come out
// garbled.
void useUtf8Output();

// With Windows' Quick Edit on (the default since Windows 10) one click in the
// console window starts a selection, and every write to the console waits
// until it ends: a bench whose operator only meant to bring the window to
// the front would stop showing its panels. This turns it off in the console
// the program runs in until restoreConsoleInput(), the program's exit, or a
// second Ctrl-C (which ends the run at once); install Ctrl-C's own handler
// first. Says what was done, for the run log: nothing where there is no
// console or Quick Edit is off already.
QString turnQuickEditOff();
// The console's input mode as it was before, once; says so.
QString restoreConsoleInput();
