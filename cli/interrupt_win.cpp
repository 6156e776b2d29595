#include "cli/interrupt.h"

#include <cstdlib>

#include <windows.h>

namespace {
std::atomic<bool> g_requested{false};
std::atomic<int> g_status{0};

BOOL WINAPI onControl(DWORD event)
{
    // As the POSIX signals would be numbered: Ctrl-C SIGINT, Ctrl-Break
    // SIGTERM, a closing console SIGHUP.
    const int status = event == CTRL_C_EVENT ? 130 : event == CTRL_BREAK_EVENT ? 143 : 129;
    if (g_requested)
        std::_Exit(status);
    g_status = status;
    g_requested = true;
    return TRUE;
}
} // namespace

void Interrupt::watch()
{
    g_requested = false;
    g_status = 0;
    static const bool installed = SetConsoleCtrlHandler(onControl, TRUE) != 0;
    (void)installed;
}

const std::atomic<bool> &Interrupt::requested()
{
    return g_requested;
}

int Interrupt::exitStatus()
{
    return g_status;
}
