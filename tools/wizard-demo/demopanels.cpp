#include "demopanels.h"

namespace {

struct Fault
{
    const char *name;
    const char *help;
    void (*apply)(PanelOptions &);
};

// Row numbers count row writes from 1; device address 0x2000 lies well
// inside the sample firmware's text.
const Fault kFaults[] = {
    {"none", "a healthy panel", [](PanelOptions &) {}},
    {"no-answer", "the panel never answers the identification (message 1)",
     [](PanelOptions &o) { o.faults.idMissing = true; }},
    {"unknown-model", "the panel answers a model byte no model has (message 1)",
     [](PanelOptions &o) { o.modelByte = 3; }},
    {"erase-fails", "the panel does not answer the erase (message 5)",
     [](PanelOptions &o) { o.faults.eraseNoReply = true; }},
    {"silent", "the panel answers the search, then nothing more (message 5)",
     [](PanelOptions &o) { o.faults.silentAfterId = true; }},
    {"write-fails", "the 40th row write gets no answer (message 5)",
     [](PanelOptions &o) { o.faults.writeNoReplyAtRow = 40; }},
    {"verify-fails", "one word reads back wrong (message 5)",
     [](PanelOptions &o) { o.faults.corruptReadAddress = 0x2000; }},
    {"line-drop", "the cable is pulled at the 40th row write (message 5)",
     [](PanelOptions &o) { o.faults.dropLineAtRow = 40; }},
};

} // namespace

QString DemoPanels::faultHelp()
{
    QString help;
    for (const Fault &fault : kFaults)
        help += QStringLiteral("  %1 %2\n").arg(QString::fromLatin1(fault.name), -15).arg(QString::fromLatin1(fault.help));
    return help;
}

bool DemoPanels::applyFault(const QString &name, PanelOptions *options)
{
    for (const Fault &fault : kFaults) {
        if (name == QLatin1String(fault.name)) {
            fault.apply(*options);
            return true;
        }
    }
    return false;
}
