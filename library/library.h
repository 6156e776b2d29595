#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

#include "device/connectionfactory.h"
#include "device/updatejob.h"
#include "firmware/firmwareimage.h"

struct HeldLink;
class RecordBook;

// The one object through which pages and workers reach the panels.
//
// Threads: the user-interface thread owns it. The calls marked "any thread"
// below take the table's lock; every other call asserts, in debug builds,
// that it runs on the owner's thread. The table is read and written under
// its lock alone, each link used under its own, and no call holds both.
class Library : public QObject
{
    Q_OBJECT

public:
    Library();
    ~Library() override;

    static bool start();
    void reset();
    // Any thread (the scanners'): identifies the panel and keeps its link.
    bool addPort(const QString &portName);
    QList<QString> foundPorts() const;
    QList<QString> deviceDescriptions() const;
    // The ports of the last scan that could not be opened, by name, with why
    // (in use by another program, refused by the system).
    QHash<QString, PortAccess::Problem> portProblems() const;

    // A firmware file, read and checked on any thread (the parser's), then
    // kept here on the owner's: a read abandoned for a newer file never
    // replaces what was kept.
    struct LoadedFile
    {
        QString path;
        std::shared_ptr<const FirmwareImage> image;  // null when refused
        FirmwareImage::Check check = FirmwareImage::Missing;
        qint64 at = 0;
    };
    static LoadedFile readFile(const QString &path);
    bool keep(const LoadedFile &file);
    bool load(const QString &path) { return keep(readFile(path)); }
    // Why the last load() refused its file, for the technician, and the line
    // (Damaged) or the device address (OutsideChip, ProtectedPage) at fault.
    FirmwareImage::Check loadFailure() const { return m_loaded.check; }
    qint64 loadFailureAt() const { return m_loaded.at; }

    // The update of the panel found on the port with the loaded image, on a
    // thread of its own, reporting to `observer` there; the job holds the
    // port's link until it ends. Null when there is nothing to update.
    std::unique_ptr<UpdateJob> startUpdate(const QString &portName, UpdateJob::Observer *observer,
                                           const std::atomic<bool> *stop);

    bool closePort(const QString &portName);
    // The connection calls it on the thread that writes: the update job's.
    void setCallback(const QString &portName, const std::function<void(int)> &callback);
    void setKeepAlive(bool on);
    // Any thread (the keep-alive's): one keep-alive read of every link.
    void wakeUp();
    // Where each update's record line goes (the log folder's records.jsonl in
    // the program); empty: nowhere.
    void setRecordFile(const QString &path);
    // Waits until no call from another thread runs: the program's end must
    // not pull the table from under a scanner or a keep-alive pass.
    void settle();

    // Named by the design but not on the wizard's way, which runs its update
    // as one job (startUpdate): an update in two calls, on this thread.
    bool erase(const QString &portName);
    bool write(const QString &portName);
    int lastError() const { return m_lastError; }
    void clearLastError() { m_lastError = 0; }

private slots:
    void fireKeepAliveThread();

private:
    using PortEntry = HeldLink;

    bool onOwnerThread() const { return QThread::currentThread() == thread(); }
    std::shared_ptr<PortEntry> entry(const QString &portName, const char *operation) const;
    static bool close(PortEntry &e);
    bool runHere(const std::shared_ptr<PortEntry> &e, UpdateJob::Kind kind);
    void stopKeepAlive(bool waitForIt);
    static void atExit();
    // Counts the calls from other threads that run, for settle().
    class Busy;

    ConnectionFactory factory;
    QHash<QString, std::shared_ptr<PortEntry>> connections;
    QHash<QString, PortAccess::Problem> m_problems;  // guarded by tableMutex, as connections
    // The keep-alive thread deletes itself once it has ended, so the pointer
    // follows it back to null.
    QPointer<QThread> keepAliveThread;
    QPointer<QObject> keepAliveWorker;
    mutable QMutex tableMutex;
    int m_lastError = 0;
    QHash<int, QString> modelNames;
    LoadedFile m_loaded;
    std::shared_ptr<RecordBook> m_records;
    bool m_exitHookSet = false;
    QMutex m_busyMutex;
    QWaitCondition m_idle;
    int m_busy = 0;
};

extern Library library;
