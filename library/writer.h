#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

#include "device/updatejob.h"

// Erases one panel and writes the loaded image into it: the library's update
// job for the panel, on the job's own thread, with its reports relayed here,
// on the user-interface thread. The progress callback set on the port gets
// its values on the job's thread.
class Writer : public QObject, private UpdateJob::Observer
{
    Q_OBJECT

public:
    Writer(const QString &port, QObject *parent);
    // A writer that goes before its report asks the job to stop at the next
    // block and waits for it: the link is never left mid-request.
    ~Writer() override;

    // How the update ended, once finished() has been emitted.
    const UpdateEngine::Outcome &outcome() const { return m_outcome; }

signals:
    void finished(QObject *writer, bool ok);

public slots:
    void process();

private:
    void jobProgress(UpdateEngine::Phase phase, int percent) override;
    void jobEnded() override;
    void writeBegins();
    void jobDone();
    void finishAfterPause(bool ok);

    QString port;
    std::unique_ptr<UpdateJob> m_job;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_writeSeen{false};  // on the job's thread: the write's start was relayed
    UpdateEngine::Outcome m_outcome;
};
