#include "cli/terminal.h"

#include <windows.h>

bool outputIsTerminal()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode))
        return false;
    return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void useUtf8Output()
{
    SetConsoleOutputCP(CP_UTF8);
}
