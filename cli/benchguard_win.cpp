#include "cli/benchguard.h"

#include <QDebug>

#include <algorithm>
#include <atomic>
#include <thread>

#include <windows.h>

namespace {
constexpr UINT kWriting = WM_APP + 1;  // wParam: the panels being written now

std::atomic<int> g_writing{0};
HWND g_window = nullptr;
std::thread g_thread;

QString panels(int count)
{
    return count == 1 ? QStringLiteral("1 panel is") : QStringLiteral("%1 panels are").arg(count);
}

// What Windows shows under the program's name when a shutdown or a logoff
// waits for it, read in a hurry: short.
std::wstring reason(int count)
{
    return (count == 1 ? QStringLiteral("Gravando 1 central de alarme.")
                       : QStringLiteral("Gravando %1 centrais de alarme.").arg(count))
        .toStdWString();
}

LRESULT CALLBACK onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        // A panel whose write is cut off is left with half a program.
        if (g_writing > 0) {
            qDebug().noquote() << "Windows asked to end the session while" << panels(g_writing)
                               << "written: refused.";
            return FALSE;
        }
        return TRUE;
    case kWriting:
        if (wParam == 0) {
            if (ShutdownBlockReasonDestroy(window))
                qDebug() << "A shutdown or a logoff may go ahead again.";
        } else if (ShutdownBlockReasonCreate(window, reason(int(wParam)).c_str())) {
            qDebug().noquote() << "A shutdown or a logoff waits while" << panels(int(wParam)) << "written.";
        } else {
            qDebug() << "Windows took no reason to show for the shutdown held off, error" << GetLastError();
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A console program is told of a shutdown or a logoff only through a
// top-level window of its own (console events of that kind reach services
// only), and a window can only be given a reason by its own thread, which
// must keep taking its messages: this thread does nothing else. The window
// is never shown; a message-only one would not be asked.
void windowThread(HANDLE ready)
{
    WNDCLASSW type = {};
    type.lpfnWndProc = onMessage;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"BootloaderCliBench";
    RegisterClassW(&type);
    g_window = CreateWindowExW(0, type.lpszClassName, L"bootloader-cli", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                               nullptr, type.hInstance, nullptr);
    if (!g_window)
        qDebug() << "No window to hold off a shutdown, error" << GetLastError();
    SetEvent(ready);
    MSG message;
    while (g_window && GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}
} // namespace

BenchGuard::BenchGuard() = default;

BenchGuard::~BenchGuard()
{
    setPanelsWriting(0);
    if (g_thread.joinable()) {
        if (g_window)
            PostMessageW(g_window, WM_CLOSE, 0, 0);
        g_thread.join();
        g_window = nullptr;
    }
}

void BenchGuard::setPanelsWriting(int count)
{
    count = std::max(count, 0);
    const int before = g_writing.exchange(count);
    if (count == before)
        return;
    // The state belongs to this thread, which lives as long as the guard.
    if (before == 0 && !SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED))
        qDebug() << "The system could not be kept awake, error" << GetLastError();
    else if (count > 0)
        qDebug().noquote() << "The system is kept awake while" << panels(count) << "written.";
    if (count == 0) {
        SetThreadExecutionState(ES_CONTINUOUS);
        qDebug() << "The system may sleep again.";
    }
    if (!g_thread.joinable()) {
        const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_thread = std::thread(windowThread, ready);
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
    if (g_window)
        PostMessageW(g_window, kWriting, WPARAM(count), 0);
}
