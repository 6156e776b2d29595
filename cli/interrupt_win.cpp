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
    // For a closing console, logoff or shutdown Windows ends the program as
    // soon as this returns, and within 5 s anyway: the panels get that long
    // to stop at a block and the records to be written; main's end ends this.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(4500);
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
