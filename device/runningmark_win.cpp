#include "device/runningmark.h"

#include <windows.h>

void RunningMark::hold()
{
    // Never closed: the system drops it with the process, however it ends.
    static const HANDLE mark = CreateMutexW(nullptr, FALSE, L"BootloaderWizard.Running");
    (void)mark;
}
