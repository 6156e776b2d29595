#include "library/writer.h"

#include "library/library.h"
#include "library/workerthread.h"
#include "device/timings.h"

#include <QDebug>
#include <QTimer>

Writer::Writer(const QString &port, QObject *parent)
    : QObject(parent)
    , port(port)
{
    tieThreadToWorker(this, parent);
}

Writer::~Writer()
{
    m_stop = true;
    m_job.reset();
}

void Writer::process()
{
    qDebug() << "library.erase() called with" << port << "...";
    m_job = library.startUpdate(port, this, &m_stop);
    if (m_job)
        return;
    qDebug() << "library.erase() returned" << false;
    m_outcome.ok = false;
    m_outcome.code = EraseFailed;
    m_outcome.failure = QStringLiteral("no panel or no firmware file to write");
    finishAfterPause(false);
}

// On the job's thread: only what the log needs crosses over.
void Writer::jobProgress(UpdateEngine::Phase phase, int)
{
    if (phase == UpdateEngine::Write && !m_writeSeen.exchange(true))
        QMetaObject::invokeMethod(this, &Writer::writeBegins, Qt::QueuedConnection);
}

void Writer::jobEnded()
{
    QMetaObject::invokeMethod(this, &Writer::jobDone, Qt::QueuedConnection);
}

void Writer::writeBegins()
{
    qDebug() << "library.erase() returned" << true;
    qDebug() << "library.write() called with" << port << "...";
    qDebug() << "Library::write() called with port =" << port;
}

void Writer::jobDone()
{
    m_job->wait();
    m_outcome = m_job->result().outcome;
    const bool ok = m_outcome.ok;
    if (!ok && m_outcome.phase == UpdateEngine::Erase) {
        qDebug() << "library.erase() returned" << false;
    } else {
        if (!ok && m_outcome.phase != UpdateEngine::Start)
            qDebug() << "Library::write(): writing to" << port << "failed; the panel was left in its bootloader.";
        qDebug() << "library.write() returned" << ok;
    }
    finishAfterPause(ok);
}

// Gives the panel time to leave its bootloader before the wizard reports;
// the window stays live meanwhile.
void Writer::finishAfterPause(bool ok)
{
    QTimer::singleShot(Timings::current().wakeUpPauseMs, this, [this, ok] {
        // The receiver may delete this worker inside the emission.
        emit finished(this, ok);
    });
}
