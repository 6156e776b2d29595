#include "device/portprobe.h"

#include "device/portlock.h"
#include "device/timings.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QSerialPort>
#include <QThread>
#include <QWaitCondition>

#include <memory>

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

// A port that cannot be opened is told apart from one where nothing
// answered: the technician can fix it.
int unusable(const SerialPortEntry &entry, QSerialPort::SerialPortError error, const QString &errorString,
             PortProbe::Outcome *outcome)
{
    outcome->problem = PortAccess::diagnose(entry.systemLocation, error, errorString);
    qDebug().noquote() << PortAccess::explain(entry.portName, entry.systemLocation, outcome->problem);
    return -2;
}

int exchange(const SerialPortEntry &entry, int answerMs, PortProbe::Outcome *outcome)
{
    QSerialPort port;
    // Opened by its location: pseudo-terminals are not among the ports
    // QSerialPortInfo lists, and the location is what the list holds.
    port.setPortName(entry.systemLocation);
    port.setBaudRate(kBitRate, QSerialPort::AllDirections);
    port.setStopBits(QSerialPort::OneStop);
    port.setParity(QSerialPort::NoParity);
    port.setDataBits(QSerialPort::Data8);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite))
        return unusable(entry, port.error(), port.errorString(), outcome);
    if (!PortLock::tryHold(port.handle())) {
        port.close();
        return unusable(entry, QSerialPort::NoError, QString(), outcome);
    }
    // Bytes left over from before the probe (a late answer to an earlier
    // one) are not the answer to this one.
    port.clear(QSerialPort::Input);

    QDeadlineTimer deadline(answerMs);
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
    outcome->answerSize = answer.size();
    if (answer != kProbeReply) {
        port.close();
        return -7;
    }

    deadline = QDeadlineTimer(answerMs);
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

QMutex g_stallMutex;
std::function<void(const QString &)> g_stall;

// What the probe's thread and its caller share; the thread may outlive the
// caller's wait, so neither owns it alone.
struct Shared
{
    QMutex mutex;
    QWaitCondition finished;
    bool done = false;
    PortProbe::Outcome outcome;
};
} // namespace

PortProbe::Outcome PortProbe::identify(const SerialPortEntry &entry)
{
    const Timings timings = Timings::current();
    std::function<void(const QString &)> stall;
    {
        QMutexLocker lock(&g_stallMutex);
        stall = g_stall;
    }
    auto shared = std::make_shared<Shared>();
    QThread *thread = QThread::create([shared, entry, stall, answerMs = timings.answerMs] {
        if (stall)
            stall(entry.systemLocation);
        Outcome outcome;
        outcome.result = exchange(entry, answerMs, &outcome);
        QMutexLocker lock(&shared->mutex);
        shared->outcome = outcome;
        shared->done = true;
        shared->finished.wakeAll();
    });
    thread->setObjectName(QStringLiteral("probe ") + entry.portName);
    thread->start();

    // Two answers and the time to open and close the port.
    const int limitMs = 2 * timings.answerMs + timings.probeGraceMs;
    QDeadlineTimer deadline(limitMs);
    QMutexLocker lock(&shared->mutex);
    while (!shared->done && shared->finished.wait(&shared->mutex, deadline)) {
    }
    if (shared->done) {
        const Outcome outcome = shared->outcome;
        lock.unlock();
        thread->wait();
        delete thread;
        return outcome;
    }
    lock.unlock();
    // Left to end on its own, if it ever does; it holds nothing of ours.
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    Outcome outcome;
    outcome.result = -2;
    outcome.problem.cause = PortAccess::NotResponding;
    outcome.problem.detail = QStringLiteral("did not finish with it within %1 ms").arg(limitMs);
    qDebug().noquote() << PortAccess::explain(entry.portName, entry.systemLocation, outcome.problem);
    return outcome;
}

void PortProbe::setStallForTests(const std::function<void(const QString &)> &stall)
{
    QMutexLocker lock(&g_stallMutex);
    g_stall = stall;
}
