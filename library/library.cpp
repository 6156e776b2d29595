#include "library/library.h"

#include "device/connection.h"
#include "device/devicepath.h"
#include "device/portlister.h"
#include "device/timings.h"
#include "device/updateengine.h"
#include "device/updaterecord.h"
#include "firmware/deviceprofile.h"
#include "library/keepaliveworker.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

Library library;

Library::Library()
    : QObject(nullptr)
{
    for (int id = 0; id < 256; ++id)
        if (!DeviceProfile::modelName(id).isEmpty())
            modelNames.insert(id, DeviceProfile::modelName(id));
}

Library::~Library()
{
    // Normally the keep-alive thread was already ended while the application
    // still existed; this only catches a run without one.
    if (keepAliveThread && keepAliveThread->isRunning()) {
        keepAliveThread->exit(0);
        keepAliveThread->wait();
    }
    qDeleteAll(connections);
}

bool Library::start()
{
    return ConnectionFactory::start();
}

void Library::reset()
{
    // Forgotten links are closed: the bootloader library would otherwise keep
    // the ports open and the next scan could not find the panels again.
    QHash<QString, PortEntry *> forgotten;
    {
        QMutexLocker lock(&tableMutex);
        forgotten.swap(connections);
    }
    for (PortEntry *e : qAsConst(forgotten))
        close(e);
    factory.refreshPorts();
    m_lastError = 0;
}

bool Library::addPort(const QString &portName)
{
    auto e = std::make_unique<PortEntry>();
    const QString location = DevicePath::locationFromName(portName);
    e->connection.reset(factory.getConnection(location));
    if (!e->connection)
        return false;

    // A panel of a model we cannot name is not offered: the setup page lists
    // descriptions and the install page writes by the same index into the
    // found ports, so both lists must hold the same panels.
    const int id = e->connection->id();
    if (!modelNames.contains(id)) {
        qDebug() << "Library::addPort(): the panel on" << portName << "reports the unknown model" << id
                 << "and is left out.";
        e->connection->close();
        return false;
    }

    qDebug() << "Inserted [" << portName << "] to list.";
    PortEntry *replaced = nullptr;
    {
        QMutexLocker lock(&tableMutex);
        replaced = connections.value(portName, nullptr);
        connections.insert(portName, e.release());
    }
    if (replaced)
        close(replaced);
    return true;
}

QList<QString> Library::foundPorts() const
{
    QList<QString> names = connections.keys();
    // QString's ordering compares UTF-16 code units, so COM10 comes before COM2.
    std::sort(names.begin(), names.end());
    return names;
}

QList<QString> Library::deviceDescriptions() const
{
    QList<QString> descriptions;
    for (const QString &name : foundPorts()) {
        const Connection *c = connections.value(name)->connection.get();
        const auto model = modelNames.constFind(c->id());
        if (model != modelNames.constEnd())
            descriptions.append(*model + QStringLiteral(" na porta ") + c->portName());
    }
    return descriptions;
}

bool Library::load(const QString &path)
{
    qDebug() << "Library::load(): hex =" << path;
    image = FirmwareImage::load(path, DeviceProfile(), Timings::current().fileIdleMs, &m_loadFailure, &m_loadFailureAt);
    qDebug() << "Library::load(): Parse" << (image ? "successful" : "failed");
    return bool(image);
}

void Library::record(const QString &portName, const QDateTime &start)
{
    const PortEntry *e = connections.value(portName, nullptr);
    if (m_recordFile.isEmpty() || !e)
        return;
    UpdateRecord line;
    line.start = start;
    line.end = QDateTime::currentDateTimeUtc();
    line.tool = QStringLiteral("bootloader-wizard ") + QCoreApplication::applicationVersion();
    line.command = QStringLiteral("update");
    line.port = SerialPortEntry(portName, e->connection->location());
    for (const SerialPortEntry &listed : factory.listedPorts())
        if (listed.systemLocation == e->connection->location())
            line.port = listed;
    line.port.slot = PortLister::slotOf(line.port.systemLocation);
    line.model = modelNames.value(e->connection->id());
    line.image = image.get();
    line.outcome = m_lastOutcome;
    QString why;
    if (!line.appendTo(m_recordFile, &why))
        qDebug() << "Library::record(): the record" << m_recordFile << "could not be written:" << why;
}

// Closes the entry's link, under its lock, and destroys the entry.
bool Library::close(PortEntry *e)
{
    bool ok;
    {
        QMutexLocker lock(&e->mutex);
        ok = e->connection->close();
    }
    delete e;
    return ok;
}

Library::PortEntry *Library::entry(const QString &portName, const char *operation) const
{
    PortEntry *e = connections.value(portName, nullptr);
    if (!e)
        qDebug() << operation << "no panel was found on port" << portName;
    return e;
}

bool Library::erase(const QString &portName)
{
    PortEntry *e = entry(portName, "Library::erase():");
    if (!e) {
        m_lastError = EraseFailed;
        return false;
    }
    bool ok;
    {
        QMutexLocker lock(&e->mutex);
        UpdateEngine engine(*e->connection);
        ok = engine.erase();
        m_lastOutcome = engine.outcome();
    }
    if (!ok)
        m_lastError = EraseFailed;
    return ok;
}

bool Library::write(const QString &portName)
{
    qDebug() << "Library::write() called with port =" << portName;
    PortEntry *e = entry(portName, "Library::write():");
    if (!e) {
        m_lastError = WriteFailed;
        return false;
    }
    if (!image) {
        m_lastError = ConfigParseFailed;
        // The erase before it went well; the record must not say the update did.
        m_lastOutcome.ok = false;
        m_lastOutcome.phase = UpdateEngine::Write;
        m_lastOutcome.code = ConfigParseFailed;
        m_lastOutcome.failure = QStringLiteral("no firmware file is loaded");
        return false;
    }
    QMutexLocker lock(&e->mutex);
    UpdateEngine engine(*e->connection);
    const bool ok = engine.writeAndStart(*image);
    // One record for the erase and the write: the erase's share stays.
    const UpdateEngine::Outcome erased = m_lastOutcome;
    m_lastOutcome = engine.outcome();
    m_lastOutcome.phaseMs[UpdateEngine::Erase] = erased.phaseMs[UpdateEngine::Erase];
    m_lastOutcome.retries += erased.retries;
    if (ok)
        return true;
    if (engine.outcome().phase != UpdateEngine::Start)
        qDebug() << "Library::write(): writing to" << portName << "failed; the panel was left in its bootloader.";
    m_lastError = WriteFailed;
    return false;
}

bool Library::closePort(const QString &portName)
{
    PortEntry *e = entry(portName, "Library::closePort():");
    if (!e) {
        m_lastError = ConnectionFailed;
        return false;
    }
    {
        QMutexLocker lock(&tableMutex);
        connections.remove(portName);
    }
    const bool ok = close(e);
    if (!ok)
        m_lastError = ConnectionFailed;
    return ok;
}

void Library::setCallback(const QString &portName, const std::function<void(int)> &callback)
{
    PortEntry *e = connections.value(portName, nullptr);
    if (!e) {
        qDebug() << "Library::setCallback(): no panel was found on port" << portName;
        return;
    }
    e->connection->setCallback(callback);
}

void Library::setKeepAlive(bool on)
{
    if (on) {
        fireKeepAliveThread();
        return;
    }
    // The timer lives on this thread: ending the keep-alive thread alone
    // would leave a pass queued that could still run after this returns.
    stopKeepAliveTimer();
    if (keepAliveThread)
        keepAliveThread->exit(0);
}

void Library::stopKeepAliveTimer()
{
    if (auto *worker = qobject_cast<KeepAliveWorker *>(keepAliveWorker.data()))
        worker->stop();
}

void Library::fireKeepAliveThread()
{
    qDebug() << "Library::fireKeepAliveThread() called.";

    // Only one keep-alive runs: an earlier one is ended first, so its timer
    // cannot go on waking the panels next to the new one.
    stopKeepAlive();

    // A thread still running when the application is destroyed would be
    // torn down under it; end it while the event loop's objects still exist.
    if (!m_exitHookSet && QCoreApplication::instance()) {
        qAddPostRoutine(&Library::stopKeepAliveAtExit);
        m_exitHookSet = true;
    }

    keepAliveThread = new QThread();
    // The name shows in debuggers and the system's thread list.
    keepAliveThread->setObjectName(QStringLiteral("keep-alive"));
    auto *worker = new KeepAliveWorker(keepAliveThread);
    keepAliveWorker = worker;
    connect(keepAliveThread, &QThread::started, worker, &KeepAliveWorker::keepAlive);
    connect(keepAliveThread, &QThread::finished, worker, &QObject::deleteLater);
    keepAliveThread->start(QThread::InheritPriority);
}

void Library::stopKeepAlive()
{
    stopKeepAliveTimer();
    if (!keepAliveThread)
        return;
    keepAliveThread->exit(0);
    keepAliveThread->wait();
}

void Library::stopKeepAliveAtExit()
{
    library.m_exitHookSet = false;
    if (!library.keepAliveThread)
        return;
    library.stopKeepAlive();
    delete library.keepAliveThread;
}

void Library::wakeUp()
{
    qDebug() << "Library::wakeUp() called.";
    const QList<PortEntry *> entries = connections.values();
    for (PortEntry *e : entries) {
        QMutexLocker lock(&e->mutex);
        if (e->connection->answersKeepAlive())
            e->connection->wakeUp();
    }
}
