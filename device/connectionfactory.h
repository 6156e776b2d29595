#pragma once

#include "device/portaccess.h"
#include "device/serialportentry.h"
#include "device/timings.h"

#include <QList>
#include <QString>

#include <optional>

class Connection;

// Lists the serial ports, loads the bootloader library, and identifies a
// panel on a port before handing the port to the bootloader library.
class ConnectionFactory
{
public:
    // getConnectionID()'s results other than a model byte (0 to 255).
    enum IdResult {
        NoModelByte = -1,          // the answer to 55 AA was not exactly one byte
        PortNotOpened = -2,        // see lastProblem()
        ProbeNotWritten = -3,
        ReadFailed = -4,
        UnknownPort = -5,          // not in the list of ports
        IdRequestNotWritten = -6,
        WrongProbeReply = -7,      // not exactly the probe reply; lastAnswerSize() 0: nothing answered
    };

    // The system's ports, as PortLister lists them, and the program's waits
    // as they stand at each call.
    ConnectionFactory();
    // These ports and waits, whatever the system lists.
    ConnectionFactory(const QList<SerialPortEntry> &ports, const Timings &timings);

    void refreshPorts();
    // The ports as the last enumeration listed them.
    const QList<SerialPortEntry> &listedPorts() const { return m_ports; }

    static bool start();
    int getConnectionID(const QString &location);
    Connection *getConnection(const QString &location);
    // The bootloader link to a panel that getConnectionID() identified as
    // `id`, without asking it again; null when the link cannot be opened.
    Connection *openLink(const QString &location, int id);

    // What the last getConnectionID() saw: the size of the answer to the
    // probe (0: nothing answered), and why the port could not be opened.
    int lastAnswerSize() const { return m_lastAnswerSize; }
    const PortAccess::Problem &lastProblem() const { return m_lastProblem; }

private:
    const Timings &timings() const { return m_timings ? *m_timings : Timings::current(); }

    QList<SerialPortEntry> m_ports;
    std::optional<Timings> m_timings;
    int m_lastAnswerSize = 0;
    PortAccess::Problem m_lastProblem;
};
