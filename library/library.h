#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QVector>

#include <functional>
#include <memory>

#include "device/connectionfactory.h"
#include "device/updateengine.h"
#include "firmware/firmwareimage.h"

class Connection;

// The one object through which pages and workers reach the panels.
class Library : public QObject
{
    Q_OBJECT

public:
    Library();
    ~Library() override;

    static bool start();
    void reset();
    bool addPort(const QString &portName);
    QList<QString> foundPorts() const;
    QList<QString> deviceDescriptions() const;
    bool load(const QString &path);
    // Why the last load() refused its file, for the technician, and the line
    // (Damaged) or the device address (OutsideChip, ProtectedPage) at fault.
    FirmwareImage::Check loadFailure() const { return m_loadFailure; }
    qint64 loadFailureAt() const { return m_loadFailureAt; }
    bool erase(const QString &portName);
    bool write(const QString &portName);
    bool closePort(const QString &portName);
    void setCallback(const QString &portName, const std::function<void(int)> &callback);
    void setKeepAlive(bool on);
    void wakeUp();
    // Where each update's record line goes (the log folder's records.jsonl in
    // the program); empty: nowhere.
    void setRecordFile(const QString &path) { m_recordFile = path; }
    // Appends the record of the update that erase() and write() just ran on
    // the port, begun at `start`.
    void record(const QString &portName, const QDateTime &start);
    int lastError() const { return m_lastError; }
    void clearLastError() { m_lastError = 0; }

private slots:
    void fireKeepAliveThread();

private:
    struct PortEntry
    {
        QMutex mutex;
        std::unique_ptr<Connection> connection;
    };

    PortEntry *entry(const QString &portName, const char *operation) const;
    static bool close(PortEntry *e);
    void stopKeepAlive();
    void stopKeepAliveTimer();
    static void stopKeepAliveAtExit();

    ConnectionFactory factory;
    QHash<QString, PortEntry *> connections;
    // The keep-alive thread deletes itself once it has ended, so the pointer
    // follows it back to null.
    QPointer<QThread> keepAliveThread;
    QMutex tableMutex;
    int m_lastError = 0;
    QHash<int, QString> modelNames;
    std::unique_ptr<FirmwareImage> image;
    FirmwareImage::Check m_loadFailure = FirmwareImage::Loaded;
    qint64 m_loadFailureAt = 0;
    QPointer<QObject> keepAliveWorker;
    QString m_recordFile;
    UpdateEngine::Outcome m_lastOutcome;  // of the last erase() and write(), together
    bool m_exitHookSet = false;
};

extern Library library;
