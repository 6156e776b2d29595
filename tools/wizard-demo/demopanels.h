#pragma once

#include "sim/virtualpanel.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The demo's virtual panels, each on a pseudo-terminal of its own and
// serving on its own thread, listed to the wizard as the only serial ports.
class DemoPanels
{
public:
    // The fault names --fault takes, each with a line of help.
    static QStringList faultNames();
    static QString faultHelp();
    // Applies a named fault; false for an unknown name.
    static bool applyFault(const QString &name, PanelOptions *options);

    // Starts count panels; the first answers model, the others alternate
    // between the two known models. False when a pseudo-terminal could not
    // be opened.
    bool start(int count, const PanelOptions &options);
    // Lists the panels' terminals through the port lister's override.
    void listAsSerialPorts() const;
    QStringList devicePaths() const;

private:
    std::vector<std::unique_ptr<VirtualPanel>> m_panels;
};
