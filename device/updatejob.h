#pragma once

#include "device/portaccess.h"
#include "device/serialportentry.h"
#include "device/timings.h"
#include "device/updateengine.h"
#include "device/updaterecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>
#include <memory>

class Connection;
class FirmwareImage;
class RecordBook;
class QThread;
struct HeldLink;

// One panel's job, from the port to the record line, on a thread the job
// owns: identify the panel, open its link, run the update engine, and keep
// what happened. The wizard and the bench tool both run their panels
// through it; they differ only in what they show. Reports go to one
// observer, called on the job's thread; the destructor waits for the thread.
class UpdateJob
{
public:
    enum Kind { Identify, Update, Verify, Read, Erase, Write };

    // Called on the job's thread, in order; nothing after jobEnded().
    class Observer
    {
    public:
        virtual ~Observer() = default;
        // A panel answered as `model` (empty for no known model).
        virtual void jobIdentified(const QString &model) { Q_UNUSED(model) }
        // percent: 0..99 in write, verify and read; -1 where a phase has none.
        virtual void jobProgress(UpdateEngine::Phase phase, int percent) = 0;
        virtual void jobEnded() = 0;
    };

    struct Options
    {
        Kind kind = Update;
        std::shared_ptr<const FirmwareImage> image;  // Update, Verify, Write
        UpdateEngine::Ending ending = UpdateEngine::StayInBootloader;
        UpdateEngine::Check check = UpdateEngine::WrittenBlocks;  // Update, Write: what is read back
        const std::atomic<bool> *stop = nullptr;     // read before each block and phase
        QString tool;                                // "bootloader-cli 1.0.4", for the record
        QString logPrefix;                           // before every debug line the job's thread writes
        std::shared_ptr<RecordBook> record;          // the job's line goes here as it ends...
        bool recordsNoPanel = true;                  // ...also where no panel answered
        Timings timings = Timings::current();        // as they stand where the job is made
    };

    struct Result
    {
        QString model;                  // empty when no known panel answered
        UpdateEngine::Outcome outcome;  // what was done, or what failed
        QDateTime start;
        QDateTime end;
        bool portHung = false;          // the port's driver did not finish with it in time
        PortAccess::Cause portProblem = PortAccess::Opened;  // why the port could not be opened
        QByteArray program;             // Read: the program memory below the protected page, in file layout
        QString recordError;            // why the record line could not be appended; empty when it was
        // Nothing answered as a known panel: no attempt was made.
        bool foundNoPanel() const { return outcome.phase == UpdateEngine::Identify && !outcome.ok; }
    };

    // Identifies the panel on the port and opens a link of its own.
    UpdateJob(const Options &options, const SerialPortEntry &port, Observer *observer = nullptr);
    // On a link a search already opened, held for the whole job.
    UpdateJob(const Options &options, std::shared_ptr<HeldLink> link, Observer *observer = nullptr);
    ~UpdateJob();
    UpdateJob(const UpdateJob &) = delete;
    UpdateJob &operator=(const UpdateJob &) = delete;

    // On the job's own thread; run() on the caller's.
    void start();
    void run();
    void wait();
    bool done() const;

    const Options &options() const { return m_options; }
    const SerialPortEntry &port() const { return m_port; }
    // Once done.
    const Result &result() const { return m_result; }
    Result &result() { return m_result; }
    // The line the job leaves in a record, once done; or the one a job's
    // `result` so far makes (a job given up in flight).
    UpdateRecord record() const { return record(m_result); }
    UpdateRecord record(const Result &result) const;
    // The right to append this job's one line to the record, to the job at
    // its end or to whoever gives it up first (RecordBook::append takes it).
    std::atomic<bool> &recordClaim() { return m_recordClaimed; }
    static QString commandName(Kind kind);

private:
    std::unique_ptr<Connection> openPanel();
    void runOn(Connection &link);
    void fail(UpdateEngine::Phase phase, ErrorCode code, const QString &failure);

    Options m_options;
    SerialPortEntry m_port;
    std::shared_ptr<HeldLink> m_held;
    Observer *m_observer;
    Result m_result;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_recordClaimed{false};
};
