#include "library/library.h"

#include "device/connection.h"
#include "device/deviceprofile.h"
#include "device/blockassembler.h"
#include "device/devicepath.h"
#include "library/keepaliveworker.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

Library library;


Library::Library()
    : QObject(nullptr)
{
    for (int id : {1, 2})
        modelNames.insert(id, modelName(id));
}

QString Library::modelName(int id)
{
    switch (id) {
    case 1: return QStringLiteral("KR 210 Nova");
    case 2: return QStringLiteral("QD 200 Nova");
    default: return QString();
    }
}

Library::~Library()
{
    // Normally the keep-alive thread was already ended while the application
    // still existed; this only catches a run without one.
    if (keepAliveThread && keepAliveThread->isRunning()) {
        keepAliveThread->exit(0);
        keepAliveThread->wait();
    }
    delete image;
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
    for (PortEntry *e : qAsConst(forgotten)) {
        {
            QMutexLocker lock(&e->mutex);
            e->connection->close();
        }
        delete e;
    }
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
    if (replaced) {
        {
            QMutexLocker lock(&replaced->mutex);
            replaced->connection->close();
        }
        delete replaced;
    }
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
    delete image;
    int failedLine = 0;
    image = Connection::parseHexFile(path, &failedLine);
    if (!image)
        image = new QVector<QByteArray>();

    m_loadFailureAt = failedLine;
    if (failedLine < 0)
        m_loadFailure = Missing;
    else if (failedLine > 0)
        m_loadFailure = Damaged;
    else
        m_loadFailure = checkImage(*image, &m_loadFailureAt);
    if (m_loadFailure != Loaded)
        image->clear();

    const bool ok = m_loadFailure == Loaded;
    qDebug() << "Library::load(): Parse" << (ok ? "successful" : "failed");
    return ok;
}

// A file is refused as a whole, before anything is erased, when writing it
// could not give the panel the application it holds: data where this
// controller has no program memory (firmware for another part), data in the
// protected last page, which is never written, and a file with no data for
// the writable program memory at all, which would leave the panel erased.
Library::LoadFailure Library::checkImage(const QVector<QByteArray> &lines, qint64 *at)
{
    const DeviceProfile profile;
    const quint32 protectedFirst = profile.programEnd + 1 - profile.eraseBlockBytes / profile.bytesPerAddress;
    // The three configuration words, 0x157FA to 0x157FF, live in that page
    // and are skipped by the writer, as the bootloader keeps its own.
    const quint32 configFirst = profile.programEnd - 5;
    bool anyData = false;
    QByteArray bytes;
    for (const QByteArray &line : lines) {
        quint64 first = 0;
        if (!BlockAssembler::parseLine(line, &first, &bytes))
            continue;  // the reader made these lines; the writer checks them again
        for (int k = 0; k < bytes.size(); ++k) {
            const quint64 byteAddress = first + quint64(k);
            const quint64 address = byteAddress / profile.bytesPerAddress;
            if (address > profile.programEnd) {
                qDebug().noquote() << QStringLiteral("Library::load(): data at device address 0x%1 lies past the "
                                                     "program memory, which ends at 0x%2: not firmware for this "
                                                     "device.")
                                          .arg(address, 0, 16)
                                          .arg(profile.programEnd, 0, 16);
                *at = qint64(address);
                return OutsideChip;
            }
            if (BlockAssembler::isPhantom(byteAddress) || quint8(bytes.at(k)) == 0xFF)
                continue;
            if (address < protectedFirst) {
                anyData = true;
            } else if (address < configFirst) {
                qDebug().noquote() << QStringLiteral("Library::load(): data at device address 0x%1 lies in the "
                                                     "protected page 0x%2-0x%3, which is never written.")
                                          .arg(address, 0, 16)
                                          .arg(protectedFirst, 0, 16)
                                          .arg(profile.programEnd, 0, 16);
                *at = qint64(address);
                return ProtectedPage;
            }
        }
    }
    if (!anyData) {
        qDebug() << "Library::load(): the file holds no data for the writable program memory: nothing to write.";
        return NothingToWrite;
    }
    return Loaded;
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
        m_lastError = 3;
        return false;
    }
    bool ok;
    {
        QMutexLocker lock(&e->mutex);
        ok = e->connection->erase();
    }
    if (!ok)
        m_lastError = 3;
    return ok;
}

bool Library::write(const QString &portName)
{
    qDebug() << "Library::write() called with port =" << portName;
    PortEntry *e = entry(portName, "Library::write():");
    if (!e) {
        m_lastError = 5;
        return false;
    }
    if (!image || image->isEmpty()) {
        m_lastError = 4;
        return false;
    }
    bool written;
    bool woken = false;
    {
        QMutexLocker lock(&e->mutex);
        written = e->connection->write(*image);
        // Only a panel whose every block verified is sent to its
        // application: a half-written one stays in its bootloader, where a
        // new search finds it again without opening the panel.
        if (written)
            woken = e->connection->sendWakeUpPacket();
    }
    if (!written) {
        qDebug() << "Library::write(): writing to" << portName << "failed; the panel was left in its bootloader.";
        m_lastError = 5;
        return false;
    }
    if (!woken) {
        m_lastError = 5;
        return false;
    }
    return true;
}

bool Library::closePort(const QString &portName)
{
    PortEntry *e = entry(portName, "Library::closePort():");
    if (!e) {
        m_lastError = 2;
        return false;
    }
    bool ok;
    {
        QMutexLocker lock(&e->mutex);
        ok = e->connection->close();
    }
    {
        QMutexLocker lock(&tableMutex);
        connections.remove(portName);
    }
    delete e;
    if (!ok)
        m_lastError = 2;
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
        if (e->connection->awake())
            e->connection->wakeUp();
    }
}

int Library::lastError() const
{
    return m_lastError;
}

void Library::clearLastError()
{
    m_lastError = 0;
}
