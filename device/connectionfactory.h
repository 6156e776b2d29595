#pragma once

#include "device/portaccess.h"
#include "device/serialportentry.h"

#include <QList>
#include <QString>

class Connection;

// Lists the serial ports, loads the bootloader library, and identifies a
// panel on a port before handing the port to the bootloader library.
class ConnectionFactory
{
public:
    ConnectionFactory();

    void refreshPorts();
    QList<SerialPortEntry> ports() const;

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
    QList<SerialPortEntry> m_ports;
    int m_lastAnswerSize = 0;
    PortAccess::Problem m_lastProblem;
};
