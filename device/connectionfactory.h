#pragma once

#include "device/portaccess.h"
#include "device/portprobe.h"
#include "device/serialportentry.h"
#include "device/timings.h"

#include <QList>
#include <QString>

#include <optional>

class Connection;

// Lists the serial ports, loads the bootloader library, and identifies a
// panel on a port before handing the port to the bootloader library. The
// identifications of several ports may run at once, each on its own thread:
// they share nothing but a read of the port list, which changes only by
// refreshPorts() while none runs.
class ConnectionFactory
{
public:
    // getConnectionID()'s results other than a model byte (0 to 255).
    enum IdResult {
        NoModelByte = -1,          // the answer to 55 AA was not exactly one byte
        PortNotOpened = -2,        // Identification::problem says why
        ProbeNotWritten = -3,
        ReadFailed = -4,
        UnknownPort = -5,          // not in the list of ports
        IdRequestNotWritten = -6,
        WrongProbeReply = -7,      // not exactly the probe reply; answerSize 0: nothing answered
    };
    // What answered on a port: result as getConnectionID(), with the size of
    // the answer to the probe, why the port could not be opened, and the
    // profile of the panel that answered.
    using Identification = PortProbe::Outcome;

    // The system's ports, as PortLister lists them, and the program's waits
    // as they stand at each call.
    ConnectionFactory();
    // These ports and waits, whatever the system lists.
    ConnectionFactory(const QList<SerialPortEntry> &ports, const Timings &timings);

    void refreshPorts();
    // The ports as the last enumeration listed them.
    const QList<SerialPortEntry> &listedPorts() const { return m_ports; }

    static bool start();
    Identification identify(const QString &location) const;
    int getConnectionID(const QString &location) const { return identify(location).result; }
    // `seen`, when given, receives what answered (or why nothing did).
    Connection *getConnection(const QString &location, Identification *seen = nullptr) const;
    // The bootloader link to a panel already identified, without asking it
    // again; null when the link cannot be opened. Some drivers refuse an open
    // that follows the probe's close at once: it is tried again for a while.
    Connection *openLink(const QString &location, const Identification &panel) const;

private:
    const Timings &timings() const { return m_timings ? *m_timings : Timings::current(); }

    QList<SerialPortEntry> m_ports;
    std::optional<Timings> m_timings;
};
