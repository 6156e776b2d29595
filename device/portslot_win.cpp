#include "device/portlister.h"

#include "device/devicepath.h"

#include <windows.h>
#include <devpropdef.h>
#include <setupapi.h>

namespace {
// The first of the device's location paths, where it hangs in the device
// tree ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)"): the USB port an
// adaptor is plugged in, whatever else was plugged in or out since. The
// location information ("Port_#0002.Hub_#0001") numbers the hubs in the
// order they were found, which changes when they are found again. Asked as
// a device property, the one SPDRP_LOCATION_PATHS reads.
QString firstLocationPath(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    static const DEVPROPKEY locationPaths = {
        {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 37};
    DEVPROPTYPE type = 0;
    wchar_t paths[1024] = {};
    if (!SetupDiGetDevicePropertyW(set, device, &locationPaths, &type, reinterpret_cast<BYTE *>(paths),
                                   sizeof paths - 2 * sizeof(wchar_t), nullptr, 0)
        || type != DEVPROP_TYPE_STRING_LIST)
        return QString();
    return QString::fromWCharArray(paths);
}
} // namespace

// The port's device among the "Ports" class, found by the name its driver
// gave it, and where it is plugged in: its location path, or where its bus
// driver gives none, the location the driver reports.
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
        if (!named || name.compare(QString::fromWCharArray(portName), Qt::CaseInsensitive) != 0)
            continue;
        slot = firstLocationPath(set, &device);
        wchar_t where[256] = {};
        if (slot.isEmpty()
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
