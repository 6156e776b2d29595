#include "device/connectionfactory.h"

#include "device/connection.h"
#include "device/picboot.h"
#include "device/portaccess.h"
#include "device/portlock.h"
#include "device/portlister.h"
#include "device/timings.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QSerialPort>

namespace {
// A read of one instruction at 0xFF0000 (the device ID), framed.
const QByteArray kProbeRequest = QByteArray::fromHex("555501010000ffff04");
const QByteArray kProbeReply = QByteArray::fromHex("555501010000ff08100000e704");
// The panel's own question; it answers with one raw byte, its model.
const QByteArray kIdRequest = QByteArray::fromHex("55aa");

constexpr int kBitRate = 115200;

bool readFailed(const QSerialPort &port)
{
    const QSerialPort::SerialPortError error = port.error();
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}

// Lets the request leave the port's buffer. False when the port refused it.
bool flushRequest(QSerialPort &port, const QDeadlineTimer &deadline)
{
    while (port.bytesToWrite() > 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        if (!port.waitForBytesWritten(int(left)) && port.error() != QSerialPort::TimeoutError)
            return false;
    }
    port.clearError();
    return true;
}

// Collects an answer: reads until `expected` bytes are in or the deadline
// (counted from the request) has passed, then takes whatever else has
// already arrived without waiting for more. A USB-to-UART bridge often hands
// over one reply in two transfers, so a single read would miss healthy
// panels. False on a read failure.
bool collectAnswer(QSerialPort &port, int expected, const QDeadlineTimer &deadline, QByteArray *answer)
{
    answer->clear();
    for (;;) {
        answer->append(port.readAll());
        if (answer->size() >= expected)
            break;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        if (!port.waitForReadyRead(int(left)) && readFailed(port))
            return false;
    }
    if (port.waitForReadyRead(0))
        answer->append(port.readAll());
    else if (readFailed(port))
        return false;
    return true;
}
} // namespace

// A port that cannot be opened is told apart from one where nothing
// answered: the technician can fix it.
void ConnectionFactory::logUnusable(const SerialPortEntry &entry, QSerialPort::SerialPortError error,
                                    const QString &errorString)
{
    m_lastProblem = PortAccess::diagnose(entry.systemLocation, error, errorString);
    qDebug().noquote() << PortAccess::explain(entry.portName, entry.systemLocation, m_lastProblem);
}

ConnectionFactory::ConnectionFactory()
{
    refreshPorts();
}

void ConnectionFactory::refreshPorts()
{
    m_ports = PortLister::availablePorts();
}

QList<SerialPortEntry> ConnectionFactory::ports() const
{
    return m_ports;
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

        QSerialPort port;
        // Opened by its location: pseudo-terminals are not among the ports
        // QSerialPortInfo lists, and the location is what the list holds.
        port.setPortName(entry.systemLocation);
        port.setBaudRate(kBitRate, QSerialPort::AllDirections);
        port.setStopBits(QSerialPort::OneStop);
        port.setParity(QSerialPort::NoParity);
        port.setDataBits(QSerialPort::Data8);
        port.setFlowControl(QSerialPort::NoFlowControl);
        if (!port.open(QIODevice::ReadWrite)) {
            logUnusable(entry, port.error(), port.errorString());
            return -2;
        }
        if (!PortLock::tryHold(port.handle())) {
            port.close();
            logUnusable(entry, QSerialPort::NoError, QString());
            return -2;
        }
        // Bytes left over from before the probe (a late answer to an earlier
        // one) are not the answer to this one.
        port.clear(QSerialPort::Input);

        QDeadlineTimer deadline(Timings::current().answerMs);
        qint64 written = port.write(kProbeRequest);
        if (written < 0 || !flushRequest(port, deadline)) {
            port.close();
            return -3;
        }
        qDebug() << "[" << entry.portName << "]: wrote" << written << "bytes";
        QByteArray answer;
        if (!collectAnswer(port, kProbeReply.size(), deadline, &answer)) {
            port.close();
            return -4;
        }
        qDebug() << "[" << entry.portName << "]: response size is" << answer.size();
        m_lastAnswerSize = answer.size();
        if (answer != kProbeReply) {
            port.close();
            return -7;
        }

        deadline = QDeadlineTimer(Timings::current().answerMs);
        written = port.write(kIdRequest);
        qDebug() << "[" << entry.portName << "]: wrote" << written << "bytes";
        if (written < 0 || !flushRequest(port, deadline)) {
            port.close();
            return -6;
        }
        const bool readOk = collectAnswer(port, 1, deadline, &answer);
        port.close();
        if (!readOk)
            return -4;
        if (answer.size() == 1)
            return quint8(answer.at(0));
        return -1;
    }
    return -5;
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
    const Timings &timings = Timings::current();
    const PicHandle handle = PicBoot::OpenPIC(path.constData(), kBitRate, timings.linkTimeoutMs);
    if (handle >= 0) {
        if (timings.eraseMsPerPage >= 0)
            PicBoot::SetTimeoutPIC(handle, -1, timings.eraseMsPerPage);
        return new Connection(location, handle, id);
    }
    qDebug() << "Unable to connect to" << location;
    return nullptr;
}
