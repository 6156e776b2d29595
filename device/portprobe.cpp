#include "device/portprobe.h"

#include "device/connectionfactory.h"
#include "device/portlock.h"
#include "firmware/deviceprofile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QSerialPort>
#include <QThread>

#include <memory>

namespace {

QMutex g_refusedMutex;
QStringList g_refused;

bool refusedForTests(const QString &location)
{
    QMutexLocker lock(&g_refusedMutex);
    return g_refused.contains(location, Qt::CaseInsensitive);
}

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

// Collects an answer: reads until it is whole or the deadline (counted from
// the request) has passed, then takes whatever else has already arrived
// without waiting for more. A USB-to-UART bridge often hands over one reply
// in two transfers, so a single read would miss healthy panels. False on a
// read failure.
bool collectAnswer(QSerialPort &port, const std::function<bool(const QByteArray &)> &whole,
                   const QDeadlineTimer &deadline, QByteArray *answer)
{
    // Far more than any answer: a port that streams is not a panel.
    constexpr int kEnough = 256;
    answer->clear();
    for (;;) {
        answer->append(port.readAll());
        if (whole(*answer) || answer->size() > kEnough)
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

// The probe's reply, found as the bootloader library finds every reply:
// stray bytes before it (a bridge's noise as the line comes up) are passed
// over; anything after it means the answer was not the reply.
bool isProbeReply(const QByteArray &answer, const DeviceProfile &profile)
{
    return answer.endsWith(profile.probeReply);
}

// A port that cannot be opened is told apart from one where nothing
// answered: the technician can fix it.
// The same bootloader on another controller answers the probe with its own
// device ID: a frame of the probe's length, header and checksum rule, with
// other ID bytes. -1 when the answer is no such frame.
int otherDeviceId(const QByteArray &answer, const DeviceProfile &profile)
{
    const QByteArray &reply = profile.probeReply;
    const QByteArray frame = answer.right(reply.size());
    constexpr int kHeader = 7;  // STX STX, command, length, the three address bytes
    if (frame.size() != reply.size() || !frame.startsWith(reply.left(kHeader)) || frame.back() != reply.back())
        return -1;
    quint8 sum = 0;
    for (int i = 2; i < frame.size() - 1; ++i)
        sum = quint8(sum + quint8(frame.at(i)));
    if (sum != 0)
        return -1;
    return quint8(frame.at(kHeader)) | quint8(frame.at(kHeader + 1)) << 8;
}

int unusable(const SerialPortEntry &entry, QSerialPort::SerialPortError error, const QString &errorString,
             PortProbe::Outcome *outcome)
{
    outcome->problem = PortAccess::diagnose(entry.systemLocation, error, errorString);
    qDebug().noquote() << PortAccess::explain(entry.portName, entry.systemLocation, outcome->problem);
    return ConnectionFactory::PortNotOpened;
}

int exchange(const SerialPortEntry &entry, int answerMs, const DeviceProfile &profile, PortProbe::Outcome *outcome)
{
    QSerialPort port;
    // Opened by its location: pseudo-terminals are not among the ports
    // QSerialPortInfo lists, and the location is what the list holds.
    port.setPortName(entry.systemLocation);
    port.setBaudRate(profile.bitRate, QSerialPort::AllDirections);
    port.setStopBits(QSerialPort::OneStop);
    port.setParity(QSerialPort::NoParity);
    port.setDataBits(QSerialPort::Data8);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (refusedForTests(entry.systemLocation))
        return unusable(entry, QSerialPort::PermissionError, QStringLiteral("Access is denied."), outcome);
    if (!port.open(QIODevice::ReadWrite))
        return unusable(entry, port.error(), port.errorString(), outcome);
    if (!PortLock::tryHold(port.handle())) {
        port.close();
        return unusable(entry, QSerialPort::NoError, QString(), outcome);
    }
    QDeadlineTimer deadline;
    QByteArray answer;
    // A stray byte on the line (a panel just plugged in) spoils an answer;
    // one that came but was not the reply gets a second probe. The reply
    // itself is matched exactly either way.
    for (int probe = 0; probe < 2 && !isProbeReply(answer, profile) && (probe == 0 || !answer.isEmpty()); ++probe) {
        // Bytes left over from before the probe (a late answer to an earlier
        // one, the rest of a spoilt one) are not the answer to this one.
        port.clear(QSerialPort::Input);
        deadline = QDeadlineTimer(answerMs);
        const qint64 written = port.write(profile.probeRequest);
        if (written < 0 || !flushRequest(port, deadline)) {
            port.close();
            return ConnectionFactory::ProbeNotWritten;
        }
        qDebug() << "[" << entry.portName << "]: wrote" << written << "bytes";
        const auto found = [&profile](const QByteArray &bytes) { return bytes.contains(profile.probeReply); };
        if (!collectAnswer(port, found, deadline, &answer)) {
            port.close();
            return ConnectionFactory::ReadFailed;
        }
        qDebug() << "[" << entry.portName << "]: response size is" << answer.size();
        outcome->answerSize = answer.size();
    }
    if (!isProbeReply(answer, profile)) {
        port.close();
        outcome->otherDeviceId = otherDeviceId(answer, profile);
        return ConnectionFactory::WrongProbeReply;
    }

    deadline = QDeadlineTimer(answerMs);
    const qint64 written = port.write(profile.idRequest);
    qDebug() << "[" << entry.portName << "]: wrote" << written << "bytes";
    if (written < 0 || !flushRequest(port, deadline)) {
        port.close();
        return ConnectionFactory::IdRequestNotWritten;
    }
    const bool readOk = collectAnswer(port, [](const QByteArray &bytes) { return !bytes.isEmpty(); }, deadline, &answer);
    port.close();
    if (!readOk)
        return ConnectionFactory::ReadFailed;
    if (answer.size() == 1)
        return quint8(answer.at(0));
    return ConnectionFactory::NoModelByte;
}

QMutex g_stallMutex;
std::function<void(const QString &)> g_stall;
// Ports whose given-up probe has not ended yet: asked again, they answer at
// once as still not responding instead of stranding one more thread.
QSet<QString> g_stalled;

struct ProbeState
{
    PortProbe::Outcome outcome;
    bool finished = false;  // guarded by g_stallMutex, as is `abandoned`
    bool abandoned = false;
};

PortProbe::Outcome notResponding(const SerialPortEntry &entry, const QString &detail)
{
    PortProbe::Outcome hung;
    hung.result = ConnectionFactory::PortNotOpened;
    hung.problem.cause = PortAccess::NotResponding;
    hung.problem.detail = detail;
    qDebug().noquote() << PortAccess::explain(entry.portName, entry.systemLocation, hung.problem);
    return hung;
}

} // namespace

PortProbe::Outcome PortProbe::identify(const SerialPortEntry &entry, const Timings &timings, const DeviceProfile &profile)
{
    std::function<void(const QString &)> stall;
    {
        QMutexLocker lock(&g_stallMutex);
        stall = g_stall;
        if (g_stalled.contains(entry.systemLocation))
            return notResponding(entry, QStringLiteral("an earlier attempt to open it has not ended"));
    }
    // Shared: the thread may outlive this call's wait.
    auto state = std::make_shared<ProbeState>();
    QThread *thread = QThread::create([state, entry, stall, answerMs = timings.answerMs, profile] {
        if (stall)
            stall(entry.systemLocation);
        state->outcome.result = exchange(entry, answerMs, profile, &state->outcome);
        state->outcome.profile = DeviceProfile::forModel(state->outcome.result);
        QMutexLocker lock(&g_stallMutex);
        state->finished = true;
        if (state->abandoned)
            g_stalled.remove(entry.systemLocation);
    });
    thread->setObjectName(QStringLiteral("probe ") + entry.portName);
    thread->start();

    // Two probes, the model request, and the time to open and close the port.
    const int limitMs = 3 * timings.answerMs + timings.probeGraceMs;
    bool abandoned = !thread->wait(QDeadlineTimer(limitMs));
    if (abandoned) {
        QMutexLocker lock(&g_stallMutex);
        abandoned = state->abandoned = !state->finished;
        if (abandoned)
            g_stalled.insert(entry.systemLocation);
    }
    if (!abandoned) {
        thread->wait();
        delete thread;
        return state->outcome;
    }
    // Left to end on its own, if it ever does; it holds nothing of ours. Its
    // deletion waits for the main thread's loop, which this thread may lack.
    if (QCoreApplication::instance())
        thread->moveToThread(QCoreApplication::instance()->thread());
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    if (thread->isFinished())  // ended before the connection; a second deleteLater is harmless
        thread->deleteLater();
    return notResponding(entry, QStringLiteral("did not finish with it within %1 ms").arg(limitMs));
}

void PortProbe::setStallForTests(const std::function<void(const QString &)> &stall)
{
    QMutexLocker lock(&g_stallMutex);
    g_stall = stall;
}

void PortProbe::setRefusedForTests(const QStringList &locations)
{
    QMutexLocker lock(&g_refusedMutex);
    g_refused = locations;
}
