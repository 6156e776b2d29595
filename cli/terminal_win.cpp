#include "cli/terminal.h"

#include <cstdlib>

#include <windows.h>

bool outputIsTerminal()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode))
        return false;
    return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

namespace {
UINT g_codePage = 0;
void restoreCodePage() { SetConsoleOutputCP(g_codePage); }
} // namespace

// The console outlives the program: its own code page is put back at exit.
void useUtf8Output()
{
    g_codePage = GetConsoleOutputCP();
    if (g_codePage != 0 && g_codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreCodePage);
}
