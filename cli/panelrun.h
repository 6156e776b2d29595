#pragma once

#include "device/updatejob.h"

#include <QMutex>

class Progress;

// One panel's line on the bench: the panel's job, on a thread of its own
// with a link of its own, shown as it goes. A failure or a slow line on one
// panel never holds up another.
class PanelRun : private UpdateJob::Observer
{
public:
    // A run that waits for its panel says nothing while no panel answers
    // on the port.
    PanelRun(const UpdateJob::Options &options, const SerialPortEntry &port, Progress *progress,
             bool waitsForPanel = false);

    void start();
    void wait() { m_job.wait(); }
    bool done() const { return m_job.done(); }
    UpdateJob &job() { return m_job; }
    const UpdateJob &job() const { return m_job; }
    const UpdateJob::Result &result() const { return m_job.result(); }
    const SerialPortEntry &port() const { return m_job.port(); }
    // While the job still runs: what it has done so far, as given up now
    // (interrupted in the phase it was in, in its bootloader).
    UpdateJob::Result givenUp() const;

private:
    void jobIdentified(const QString &model) override;
    void jobProgress(UpdateEngine::Phase phase, int percent) override;
    void jobEnded() override;

    Progress *m_progress;
    bool m_waitsForPanel;
    int m_row;
    int m_blocks = 0;  // the blocks the write moves, for the time left
    int m_rows = 0;    // the rows of the whole memory below the protected page
    mutable QMutex m_mutex;  // the job's thread writes what follows, the caller's reads it
    QString m_model;
    UpdateEngine::Phase m_phase = UpdateEngine::Identify;
    QDateTime m_start;
    UpdateJob m_job;
};
