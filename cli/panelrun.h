#pragma once

#include "device/serialportentry.h"
#include "device/updateengine.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>
#include <memory>

class ConnectionFactory;
class FirmwareImage;
class Progress;
class QThread;

// One panel's job on a thread of its own, with a link of its own: a failure
// or a slow line on one panel never holds up another.
class PanelRun
{
public:
    enum Job { Update, Verify, Read, Identify };

    struct Result
    {
        QString model;                  // empty when no known panel answered
        UpdateEngine::Outcome outcome;  // what was done, or what failed
        QDateTime start;
        QDateTime end;
    };

    // `image` (Update, Verify) and `stop` outlive the run. A run that waits
    // for its panel says nothing while no panel answers on the port.
    PanelRun(Job job, const SerialPortEntry &port, const FirmwareImage *image, Progress *progress,
             UpdateEngine::Ending ending = UpdateEngine::StayInBootloader, const std::atomic<bool> *stop = nullptr,
             bool waitsForPanel = false);
    ~PanelRun();
    PanelRun(const PanelRun &) = delete;
    PanelRun &operator=(const PanelRun &) = delete;

    void start();
    void wait();
    bool done() const;
    // Nothing answered as a known panel: no attempt was made.
    bool foundNoPanel() const { return m_result.outcome.phase == UpdateEngine::Identify && !m_result.outcome.ok; }
    // The port's driver did not finish with it in time.
    bool portHung() const { return m_hung; }
    const SerialPortEntry &port() const { return m_port; }
    const Result &result() const { return m_result; }
    Result &result() { return m_result; }
    // What Read read: the program memory below the protected page, in file layout.
    const QByteArray &programBytes() const { return m_program; }

private:
    void run();
    bool identify(ConnectionFactory &factory, int *id);
    void report(UpdateEngine::Phase phase, int percent);
    void finish(const QString &phase, int percent = -1);

    Job m_job;
    SerialPortEntry m_port;
    const FirmwareImage *m_image;
    Progress *m_progress;
    UpdateEngine::Ending m_ending;
    const std::atomic<bool> *m_stop;
    bool m_waitsForPanel;
    int m_row;
    Result m_result;
    QByteArray m_program;
    std::unique_ptr<QThread> m_thread;
    int m_blocks = 0;  // the blocks the transfer moves, for the time left
    bool m_hung = false;
};
