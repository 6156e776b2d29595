#include "device/connectionfactory.h"

#include "device/connection.h"
#include "device/picboot.h"
#include "device/portlister.h"
#include "firmware/deviceprofile.h"

#include <QDebug>
#include <QThread>

ConnectionFactory::ConnectionFactory()
{
    refreshPorts();
}

ConnectionFactory::ConnectionFactory(const QList<SerialPortEntry> &ports, const Timings &timings)
    : m_ports(ports)
    , m_timings(timings)
{
}

void ConnectionFactory::refreshPorts()
{
    m_ports = PortLister::availablePorts();
}

bool ConnectionFactory::start()
{
    const bool loaded = PicBoot::load();
    qDebug() << "ConnectionFactory::start() returned" << loaded;
    return loaded;
}

ConnectionFactory::Identification ConnectionFactory::identify(const QString &location) const
{
    const QList<SerialPortEntry> ports = m_ports;
    for (const SerialPortEntry &entry : ports)
        if (entry.systemLocation.compare(location, Qt::CaseInsensitive) == 0)
            return PortProbe::identify(entry, timings());
    return Identification();
}

Connection *ConnectionFactory::getConnection(const QString &location, Identification *seen) const
{
    const Identification panel = identify(location);
    if (seen)
        *seen = panel;
    qDebug() << "getConnectionID:" << location << "returned" << panel.result;
    if (panel.result < 0)
        return nullptr;
    return openLink(location, panel);
}

Connection *ConnectionFactory::openLink(const QString &location, const Identification &panel) const
{
    // A model byte no known panel answers is still a bootloader that took
    // the probe: it is driven as the family's controller.
    const DeviceProfile &profile = panel.profile ? *panel.profile : DeviceProfile::supported();
    const QByteArray path = location.toUtf8();
    PicHandle handle = PicBoot::OpenPIC(path.constData(), profile.bitRate, timings().linkTimeoutMs);
    for (int tries = 1; handle < 0 && tries < timings().linkOpenTries; ++tries) {
        qDebug() << "Could not open the link to" << location << "(" << handle << "); trying again in"
                 << timings().linkOpenRetryMs << "ms: the driver may still hold the port the probe closed.";
        QThread::msleep(unsigned(timings().linkOpenRetryMs));
        handle = PicBoot::OpenPIC(path.constData(), profile.bitRate, timings().linkTimeoutMs);
    }
    if (handle >= 0) {
        if (timings().eraseMsPerPage >= 0)
            PicBoot::SetTimeoutPIC(handle, -1, timings().eraseMsPerPage);
        return new Connection(location, handle, panel.result, profile);
    }
    qDebug() << "Unable to connect to" << location;
    return nullptr;
}
