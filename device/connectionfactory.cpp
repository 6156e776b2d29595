#include "device/connectionfactory.h"

#include "device/connection.h"
#include "device/picboot.h"
#include "device/portlister.h"
#include "device/portprobe.h"
#include "firmware/deviceprofile.h"

#include <QDebug>

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

int ConnectionFactory::getConnectionID(const QString &location)
{
    m_lastAnswerSize = 0;
    m_lastProblem = PortAccess::Problem();
    const QList<SerialPortEntry> ports = m_ports;
    for (const SerialPortEntry &entry : ports) {
        if (entry.systemLocation.compare(location, Qt::CaseInsensitive) != 0)
            continue;
        const PortProbe::Outcome outcome = PortProbe::identify(entry, timings());
        m_lastAnswerSize = outcome.answerSize;
        m_lastProblem = outcome.problem;
        return outcome.result;
    }
    return UnknownPort;
}

Connection *ConnectionFactory::getConnection(const QString &location)
{
    const int id = getConnectionID(location);
    qDebug() << "getConnectionID:" << location << "returned" << id;
    if (id < 0)
        return nullptr;
    return openLink(location, id);
}

Connection *ConnectionFactory::openLink(const QString &location, int id)
{
    const QByteArray path = location.toUtf8();
    const PicHandle handle = PicBoot::OpenPIC(path.constData(), DeviceProfile().bitRate, timings().linkTimeoutMs);
    if (handle >= 0) {
        if (timings().eraseMsPerPage >= 0)
            PicBoot::SetTimeoutPIC(handle, -1, timings().eraseMsPerPage);
        return new Connection(location, handle, id);
    }
    qDebug() << "Unable to connect to" << location;
    return nullptr;
}
