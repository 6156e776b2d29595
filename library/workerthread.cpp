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
