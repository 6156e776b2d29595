#include "library/driverdetection.h"

#include <windows.h>
#include <psapi.h>

#include <cstdlib>

bool listLoadedDrivers(QStringList *drivers, int *needed)
{
    // One table of load addresses, never grown: a system with this many
    // drivers or more is reported as a failed listing by the caller.
    LPVOID addresses[1024];
    DWORD bytesNeeded = 0;
    const BOOL ok = EnumDeviceDrivers(addresses, sizeof(addresses), &bytesNeeded);
    *needed = int(bytesNeeded / sizeof(LPVOID));
    if (!ok)
        return false;
    if (bytesNeeded >= sizeof(addresses))
        return true; // the caller refuses a full table; no names are needed

    wchar_t wideName[1024];
    char narrowName[1024];
    for (int i = 0; i < *needed; ++i) {
        // Names of up to 1023 characters, so the narrow text always keeps its
        // terminating zero inside the buffer.
        if (GetDeviceDriverBaseNameW(addresses[i], wideName, 1024) == 0) {
            drivers->append(QString());
            continue;
        }
        wideName[1023] = L'\0';
        const size_t converted = wcstombs(narrowName, wideName, sizeof(narrowName));
        if (converted == size_t(-1)) {
            // A character the current locale cannot show: keep the wide name,
            // which still compares correctly.
            drivers->append(QString::fromWCharArray(wideName));
            continue;
        }
        narrowName[sizeof(narrowName) - 1] = '\0';
        drivers->append(QString::fromLocal8Bit(narrowName));
    }
    return true;
}
