#include "demopanels.h"

#include "device/devicepath.h"
#include "device/portlister.h"
#include "device/portprobe.h"
#include "sim/pseudoterminal.h"

#include <QSet>
#include <QThread>

#include <memory>
#include <vector>

namespace {
std::vector<std::unique_ptr<VirtualPanel>> g_panels;
std::vector<std::unique_ptr<PseudoTerminal>> g_quiet;
}

bool DemoPanels::start(int count, const PanelOptions &options, int silent, int hung, QString *why)
{
    QList<SerialPortEntry> ports;
    QSet<QString> hanging;
    *why = QStringLiteral("could not open a pseudo-terminal");
    for (int i = 0; i < silent + hung; ++i) {
        auto terminal = std::make_unique<PseudoTerminal>();
        if (!terminal->open())
            return false;
        ports.append({DevicePath::nameFromLocation(terminal->slavePath()), terminal->slavePath()});
        if (i >= silent)
            hanging.insert(terminal->slavePath());
        g_quiet.push_back(std::move(terminal));
    }
    if (!hanging.isEmpty())
        PortProbe::setStallForTests([hanging](const QString &location) {
            while (hanging.contains(location))
                QThread::sleep(3600);
        });
    for (int i = 0; i < count; ++i) {
        PanelOptions own = options;
        if (i > 0)
            own.modelByte = 1 + i % 2;
        auto panel = std::make_unique<VirtualPanel>(own);
        if (!panel->start())
            return false;
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
