#include "library/library.h"

#include "device/connection.h"
#include "device/devicepath.h"
#include "device/heldlink.h"
#include "device/recordbook.h"
#include "device/timings.h"
#include "firmware/deviceprofile.h"
#include "library/keepaliveworker.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

Library library;

// Held by every call that may come from another thread while it runs.
class Library::Busy
{
public:
    explicit Busy(Library &owner) : m_owner(owner)
    {
        QMutexLocker lock(&m_owner.m_busyMutex);
        ++m_owner.m_busy;
    }
    ~Busy()
    {
        QMutexLocker lock(&m_owner.m_busyMutex);
        if (--m_owner.m_busy == 0)
            m_owner.m_idle.wakeAll();
    }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;

private:
    Library &m_owner;
};

Library::Library()
    : QObject(nullptr)
{
    for (int id = 0; id < 256; ++id)
        if (!DeviceProfile::modelName(id).isEmpty())
            modelNames.insert(id, DeviceProfile::modelName(id));
}

Library::~Library()
{
    // Normally the program's end already stopped the keep-alive while the
    // application still existed; this only catches a run without one.
    if (keepAliveThread && keepAliveThread->isRunning()) {
        keepAliveThread->exit(0);
        keepAliveThread->wait();
    }
    settle();
}

void Library::settle()
{
    QMutexLocker lock(&m_busyMutex);
    while (m_busy > 0)
        m_idle.wait(&m_busyMutex);
}

bool Library::start()
{
    return ConnectionFactory::start();
}

void Library::reset()
{
    Q_ASSERT_X(onOwnerThread(), "Library::reset", "the table is rebuilt on the user-interface thread only");
    // Forgotten links are closed: the bootloader library would otherwise keep
    // the ports open and the next scan could not find the panels again.
    QHash<QString, std::shared_ptr<PortEntry>> forgotten;
    {
        QMutexLocker lock(&tableMutex);
        forgotten.swap(connections);
        m_problems.clear();
    }
    for (const auto &e : qAsConst(forgotten))
        close(*e);
    factory.refreshPorts();
    m_lastError = 0;
}

bool Library::addPort(const QString &portName)
{
    Busy busy(*this);
    auto e = std::make_shared<PortEntry>();
    const QString location = DevicePath::locationFromName(portName);
    ConnectionFactory::Identification seen;
    e->connection.reset(factory.getConnection(location, &seen));
    if (!e->connection) {
        if (seen.result == ConnectionFactory::PortNotOpened) {
            QMutexLocker lock(&tableMutex);
            m_problems.insert(portName, seen.problem);
        }
        return false;
    }

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
    e->port = SerialPortEntry(portName, location);
    for (const SerialPortEntry &listed : factory.listedPorts())
        if (listed.systemLocation == location)
            e->port = listed;

    qDebug() << "Inserted [" << portName << "] to list.";
    std::shared_ptr<PortEntry> replaced;
    {
        QMutexLocker lock(&tableMutex);
        replaced = connections.value(portName);
        connections.insert(portName, e);
    }
    if (replaced)
        close(*replaced);
    return true;
}

QList<QString> Library::foundPorts() const
{
    QList<QString> names;
    {
        QMutexLocker lock(&tableMutex);
        names = connections.keys();
    }
    // QString's ordering compares UTF-16 code units, so COM10 comes before COM2.
    std::sort(names.begin(), names.end());
    return names;
}

QHash<QString, PortAccess::Problem> Library::portProblems() const
{
    QMutexLocker lock(&tableMutex);
    return m_problems;
}

QList<QString> Library::deviceDescriptions() const
{
    QList<QString> descriptions;
    for (const QString &name : foundPorts()) {
        const std::shared_ptr<PortEntry> e = entry(name, "Library::deviceDescriptions():");
        const auto model = e ? modelNames.constFind(e->connection->id()) : modelNames.constEnd();
        if (model != modelNames.constEnd())
            descriptions.append(*model + QStringLiteral(" na porta ") + e->connection->portName());
    }
    return descriptions;
}

Library::LoadedFile Library::readFile(const QString &path)
{
    qDebug() << "Library::load(): hex =" << path;
    LoadedFile file;
    file.path = path;
    file.image = FirmwareImage::load(path, DeviceProfile::supported(), Timings::current().fileIdleMs, &file.check,
                                     &file.at);
    return file;
}

bool Library::keep(const LoadedFile &file)
{
    Q_ASSERT_X(onOwnerThread(), "Library::keep", "the image is replaced on the user-interface thread only");
    m_loaded = file;
    qDebug() << "Library::load(): Parse" << (file.image ? "successful" : "failed");
    return bool(file.image);
}

std::unique_ptr<UpdateJob> Library::startUpdate(const QString &portName, UpdateJob::Observer *observer,
                                                const std::atomic<bool> *stop)
{
    Q_ASSERT_X(onOwnerThread(), "Library::startUpdate", "updates are started on the user-interface thread only");
    std::shared_ptr<PortEntry> e = entry(portName, "Library::startUpdate():");
    if (!e || !m_loaded.image)
        return nullptr;
    UpdateJob::Options options;
    options.kind = UpdateJob::Update;
    options.image = m_loaded.image;
    options.ending = UpdateEngine::StartApplication;
    options.stop = stop;
    options.tool = QStringLiteral("bootloader-wizard ") + QCoreApplication::applicationVersion();
    options.record = m_records;
    auto job = std::make_unique<UpdateJob>(options, e, observer);
    job->start();
    return job;
}

void Library::setRecordFile(const QString &path)
{
    m_records = path.isEmpty() ? nullptr : std::make_shared<RecordBook>(path);
}

// Closes the entry's link, under its lock; the entry goes with its last holder.
bool Library::close(PortEntry &e)
{
    QMutexLocker lock(&e.mutex);
    return e.connection->close();
}

std::shared_ptr<Library::PortEntry> Library::entry(const QString &portName, const char *operation) const
{
    std::shared_ptr<PortEntry> e;
    {
        QMutexLocker lock(&tableMutex);
        e = connections.value(portName);
    }
    if (!e)
        qDebug() << operation << "no panel was found on port" << portName;
    return e;
}

bool Library::runHere(const std::shared_ptr<PortEntry> &e, UpdateJob::Kind kind)
{
    Q_ASSERT_X(onOwnerThread(), "Library::erase/write", "called on the user-interface thread only");
    UpdateJob::Options options;
    options.kind = kind;
    options.image = m_loaded.image;
    options.ending = UpdateEngine::StartApplication;
    UpdateJob job(options, e);
    job.run();
    return job.result().outcome.ok;
}

bool Library::erase(const QString &portName)
{
    const std::shared_ptr<PortEntry> e = entry(portName, "Library::erase():");
    const bool ok = e && runHere(e, UpdateJob::Erase);
    if (!ok)
        m_lastError = EraseFailed;
    return ok;
}

bool Library::write(const QString &portName)
{
    qDebug() << "Library::write() called with port =" << portName;
    const std::shared_ptr<PortEntry> e = entry(portName, "Library::write():");
    if (e && !m_loaded.image) {
        m_lastError = ConfigParseFailed;
        return false;
    }
    if (e && runHere(e, UpdateJob::Write))
        return true;
    m_lastError = WriteFailed;
    return false;
}

bool Library::closePort(const QString &portName)
{
    Q_ASSERT_X(onOwnerThread(), "Library::closePort", "the table is changed on the user-interface thread only");
    std::shared_ptr<PortEntry> e = entry(portName, "Library::closePort():");
    if (!e) {
        m_lastError = ConnectionFailed;
        return false;
    }
    {
        QMutexLocker lock(&tableMutex);
        connections.remove(portName);
    }
    const bool ok = close(*e);
    if (!ok)
        m_lastError = ConnectionFailed;
    return ok;
}

void Library::setCallback(const QString &portName, const std::function<void(int)> &callback)
{
    if (std::shared_ptr<PortEntry> e = entry(portName, "Library::setCallback():")) {
        QMutexLocker lock(&e->mutex);
        e->connection->setCallback(callback);
    }
}

void Library::setKeepAlive(bool on)
{
    Q_ASSERT_X(onOwnerThread(), "Library::setKeepAlive", "the keep-alive is switched on the user-interface thread only");
    if (on)
        fireKeepAliveThread();
    else
        stopKeepAlive(false);
}

void Library::fireKeepAliveThread()
{
    qDebug() << "Library::fireKeepAliveThread() called.";

    // Only one keep-alive runs: an earlier one is ended first, so its timer
    // cannot go on waking the panels next to the new one.
    stopKeepAlive(false);

    // A thread still running when the application is destroyed would be
    // torn down under it; end it while the event loop's objects still exist.
    if (!m_exitHookSet && QCoreApplication::instance()) {
        qAddPostRoutine(&Library::atExit);
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

// The timer lives on this thread: ending the keep-alive thread alone would
// leave a pass queued that could still start after this returns. A pass
// already running ends on its own thread, which then goes; nobody waits for
// it but the program's end.
void Library::stopKeepAlive(bool waitForIt)
{
    if (auto *worker = qobject_cast<KeepAliveWorker *>(keepAliveWorker.data()))
        worker->stop();
    if (!keepAliveThread)
        return;
    keepAliveThread->exit(0);
    if (waitForIt)
        keepAliveThread->wait();
}

void Library::atExit()
{
    library.m_exitHookSet = false;
    library.stopKeepAlive(true);
    delete library.keepAliveThread;
    library.settle();
}

void Library::wakeUp()
{
    Busy busy(*this);
    qDebug() << "Library::wakeUp() called.";
    QList<std::shared_ptr<PortEntry>> entries;
    {
        QMutexLocker lock(&tableMutex);
        entries = connections.values();
    }
    for (const auto &e : qAsConst(entries)) {
        QMutexLocker lock(&e->mutex);
        if (e->connection->answersKeepAlive())
            e->connection->wakeUp();
    }
}
