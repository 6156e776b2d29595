#include "demopanels.h"

bool DemoPanels::start(int, const PanelOptions &, int, int, QString *why)
{
    *why = QStringLiteral("the virtual panels need POSIX pseudo-terminals: name the panel's port with --port COMn");
    return false;
}

QStringList DemoPanels::devicePaths()
{
    return {};
}
