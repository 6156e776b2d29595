#include "app/singleinstance.h"

#include <windows.h>

namespace {

struct Search
{
    DWORD pid;
    HWND window;
};

BOOL CALLBACK visit(HWND window, LPARAM data)
{
    auto *search = reinterpret_cast<Search *>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr)
        return TRUE;
    search->window = window;
    return FALSE;
}

} // namespace

// Windows lets the program the user has just started put another window in
// front; this process is that program.
bool SingleInstance::raise(qint64 pid)
{
    Search search{DWORD(pid), nullptr};
    EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
    if (!search.window)
        return false;
    if (IsIconic(search.window))
        ShowWindow(search.window, SW_RESTORE);
    return SetForegroundWindow(search.window) != 0;
}
