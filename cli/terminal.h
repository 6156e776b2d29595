#pragma once

// Whether standard output is a terminal that takes the escape sequences
// that redraw a line (on Windows, once switched on for the console).
bool outputIsTerminal();

// Our texts are written as UTF-8 (the JSON lines must be); a Windows
// console is told so, or the accents of the Portuguese messages come out
// garbled.
void useUtf8Output();
