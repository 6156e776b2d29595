#include "library/workerthread.h"

#include <QThread>

void tieThreadToWorker(QObject *worker, QObject *parent)
{
    auto *thread = qobject_cast<QThread *>(parent);
    if (!thread)
        return;
    QObject::connect(worker, &QObject::destroyed, thread, &QThread::quit);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
}

void runOnWorkerThread(QObject *worker, const std::function<void()> &work, const std::function<void()> &then)
{
    auto *thread = qobject_cast<QThread *>(worker->parent());
    if (!thread || !thread->isRunning() || thread == QThread::currentThread()) {
        work();
        then();
        return;
    }
    // A carrier on the worker's thread runs the work there; its end comes
    // back as a queued signal, which Qt drops if the worker went meanwhile.
    auto *carrier = new QObject;
    carrier->moveToThread(thread);
    QObject::connect(carrier, &QObject::destroyed, worker, [then] { then(); });
    QMetaObject::invokeMethod(carrier, [carrier, work] {
        work();
        carrier->deleteLater();
    }, Qt::QueuedConnection);
}
