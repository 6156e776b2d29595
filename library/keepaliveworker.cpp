#include "library/keepaliveworker.h"

#include "library/library.h"
#include "library/workerthread.h"

KeepAliveWorker::KeepAliveWorker(QObject *parent)
    : QObject(parent)
    , timer(parent)
{
    tieThreadToWorker(this, parent);
}

void KeepAliveWorker::keepAlive()
{
    connect(&timer, &QTimer::timeout, this, &KeepAliveWorker::update);
    timer.start(10000);
}

void KeepAliveWorker::update()
{
    library.wakeUp();
}
