#include "cli/terminal.h"

#include <atomic>
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

// The console's input, opened by name: standard input may be redirected
// while the window still shows the output.
HANDLE g_input = INVALID_HANDLE_VALUE;
DWORD g_inputMode = 0;
std::atomic<bool> g_changed{false};
std::atomic<int> g_signals{0};

QString hex(DWORD mode)
{
    return QStringLiteral("0x") + QString::number(mode, 16);
}

void putInputModeBack()
{
    if (g_changed.exchange(false))
        SetConsoleMode(g_input, g_inputMode | ENABLE_EXTENDED_FLAGS);
}

// Runs before Ctrl-C's own handler, which was installed before it. A
// second Ctrl-C, or a closing console, ends the program past atexit.
BOOL WINAPI onControl(DWORD event)
{
    if (++g_signals >= 2 || event == CTRL_CLOSE_EVENT)
        putInputModeBack();
    return FALSE;
}
} // namespace

// The console outlives the program: its own code page is put back at exit.
void useUtf8Output()
{
    g_codePage = GetConsoleOutputCP();
    if (g_codePage != 0 && g_codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreCodePage);
}

QString turnQuickEditOff()
{
    if (g_input == INVALID_HANDLE_VALUE)
        g_input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (g_changed || g_input == INVALID_HANDLE_VALUE || !GetConsoleMode(g_input, &mode)
        || !(mode & ENABLE_QUICK_EDIT_MODE))
        return QString();
    // Quick Edit is one of the extended flags, which change only when
    // ENABLE_EXTENDED_FLAGS is given too.
    if (!SetConsoleMode(g_input, (mode | ENABLE_EXTENDED_FLAGS) & ~DWORD(ENABLE_QUICK_EDIT_MODE)))
        return QStringLiteral("Quick Edit could not be turned off (error %1): a click in the console window "
                              "holds the output until Enter or Esc.").arg(GetLastError());
    g_inputMode = mode;
    g_changed = true;
    static const bool installed = SetConsoleCtrlHandler(onControl, TRUE) && std::atexit(putInputModeBack) == 0;
    (void)installed;
    DWORD now = 0;
    GetConsoleMode(g_input, &now);
    return QStringLiteral("Quick Edit is off in this console while the run lasts: console input mode %1, now %2.")
        .arg(hex(mode), hex(now));
}

QString restoreConsoleInput()
{
    if (!g_changed)
        return QString();
    putInputModeBack();
    DWORD now = 0;
    GetConsoleMode(g_input, &now);
    return QStringLiteral("The console's input mode is back to %1.").arg(hex(now));
}
