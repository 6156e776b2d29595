#include "cli/interrupt.h"

#include <cstdlib>

#include <windows.h>

namespace {
std::atomic<bool> g_requested{false};
std::atomic<int> g_signals{0};
std::atomic<int> g_status{0};

BOOL WINAPI onControl(DWORD event)
{
    // As the POSIX signals would be numbered: Ctrl-C SIGINT, Ctrl-Break
    // SIGTERM, a closing console SIGHUP.
    const int status = event == CTRL_C_EVENT ? 130 : event == CTRL_BREAK_EVENT ? 143 : 129;
    const int count = ++g_signals;
    if (count >= 3)
        std::_Exit(status);
    if (count == 1)
        g_status = status;
    g_requested = true;
    // A closing console ends the program as soon as this returns, and
    // within 5 s anyway: the run ends now, as after a second Ctrl-C, and
    // main's end ends this. (Logoff and shutdown reach services only.)
    if (event == CTRL_CLOSE_EVENT) {
        g_signals = 2;
        Sleep(4500);
    }
    return TRUE;
}
} // namespace

void Interrupt::watch()
{
    g_requested = false;
    g_signals = 0;
    g_status = 0;
    static const bool installed = SetConsoleCtrlHandler(onControl, TRUE) != 0;
    (void)installed;
}

const std::atomic<bool> &Interrupt::requested()
{
    return g_requested;
}

bool Interrupt::forced()
{
    return g_signals >= 2;
}

int Interrupt::exitStatus()
{
    return g_status;
}
