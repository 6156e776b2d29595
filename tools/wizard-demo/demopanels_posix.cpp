#include "demopanels.h"

#include "device/devicepath.h"
#include "device/portlister.h"

#include <memory>
#include <vector>

namespace {
std::vector<std::unique_ptr<VirtualPanel>> g_panels;
}

bool DemoPanels::start(int count, const PanelOptions &options, QString *why)
{
    QList<SerialPortEntry> ports;
    for (int i = 0; i < count; ++i) {
        PanelOptions own = options;
        if (i > 0)
            own.modelByte = 1 + i % 2;
        auto panel = std::make_unique<VirtualPanel>(own);
        if (!panel->start()) {
            *why = QStringLiteral("could not open a pseudo-terminal for a virtual panel");
            return false;
        }
        ports.append({DevicePath::nameFromLocation(panel->devicePath()), panel->devicePath()});
        g_panels.push_back(std::move(panel));
    }
    PortLister::setOverride(ports);
    return true;
}

QStringList DemoPanels::devicePaths()
{
    QStringList paths;
    for (const auto &panel : g_panels)
        paths << panel->devicePath();
    return paths;
}
