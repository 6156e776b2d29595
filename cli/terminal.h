#pragma once

// Whether standard output is a terminal that takes the escape sequences
// that redraw a line (on Windows, once switched on for the console).
bool outputIsTerminal();
