#include "library/writer.h"

#include "library/library.h"
#include "library/workerthread.h"
#include "device/timings.h"

#include <QDateTime>
#include <QDebug>
#include <QThread>

Writer::Writer(const QString &port, QObject *parent)
    : QObject(parent)
    , port(port)
{
    tieThreadToWorker(this, parent);
}

void Writer::process()
{
    const QDateTime start = QDateTime::currentDateTimeUtc();
    qDebug() << "library.erase() called with" << port << "...";
    bool ok = library.erase(port);
    qDebug() << "library.erase() returned" << ok;
    if (ok) {
        qDebug() << "library.write() called with" << port << "...";
        ok = library.write(port);
        qDebug() << "library.write() returned" << ok;
    }
    // The record of every update, as a bench keeps it, for support.
    library.record(port, start);
    // Gives the panel time to leave its bootloader before the wizard reports.
    QThread::msleep(unsigned(Timings::current().wakeUpPauseMs));
    // The receiver may delete this worker inside the emission.
    emit finished(this, ok);
}
