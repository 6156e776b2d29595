#include "library/keepaliveworker.h"

#include "library/library.h"
#include "library/workerthread.h"
#include "device/timings.h"

KeepAliveWorker::KeepAliveWorker(QObject *parent)
    : QObject(parent)
    , timer(parent)
{
    tieThreadToWorker(this, parent);
}

void KeepAliveWorker::keepAlive()
{
    connect(&timer, &QTimer::timeout, this, &KeepAliveWorker::update);
    timer.start(Timings::current().keepAliveMs);
}

void KeepAliveWorker::update()
{
    if (m_passRunning)
        return;
    m_passRunning = true;
    runOnWorkerThread(this, [] { library.wakeUp(); }, [this] { m_passRunning = false; });
}

void KeepAliveWorker::stop()
{
    timer.stop();
}
