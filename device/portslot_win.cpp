#include "device/portlister.h"

#include "device/devicepath.h"

#include <windows.h>
#include <setupapi.h>

// The port's device among the "Ports" class, found by the name its driver
// gave it, and the location the driver reports for it.
QString PortLister::slotOf(const QString &location)
{
    const QString name = DevicePath::nameFromLocation(location);
    static const GUID ports = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    const HDEVINFO set = SetupDiGetClassDevsW(&ports, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return QString();
    QString slot;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    for (DWORD i = 0; slot.isEmpty() && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t portName[64] = {};
        DWORD size = sizeof portName - sizeof(wchar_t);
        const bool named = RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE *>(portName), &size)
                           == ERROR_SUCCESS;
        RegCloseKey(key);
        wchar_t where[256] = {};
        if (named && name.compare(QString::fromWCharArray(portName), Qt::CaseInsensitive) == 0
            && SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_LOCATION_INFORMATION, nullptr,
                                                 reinterpret_cast<BYTE *>(where), sizeof where - sizeof(wchar_t), nullptr))
            slot = QString::fromWCharArray(where);
    }
    SetupDiDestroyDeviceInfoList(set);
    return slot;
}

QString PortLister::locationOfSlot(const QString &slot)
{
    for (const SerialPortEntry &port : availablePorts())
        if (!slot.isEmpty() && slotOf(port.systemLocation).compare(slot, Qt::CaseInsensitive) == 0)
            return port.systemLocation;
    return QString();
}
