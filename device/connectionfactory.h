#pragma once

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

private:
    QList<SerialPortEntry> m_ports;
};
