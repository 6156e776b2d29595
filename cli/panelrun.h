#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

class Connection;
class QThread;
class ConnectionFactory;
class Progress;

// One panel's job on a thread of its own, with a link of its own: a failure
// or a slow line on one panel never holds up another.
class PanelRun
{
public:
    enum Job { Update, Verify, Read, Identify };

    struct Result
    {
        bool ok = false;
        int code = 0;          // the wizard's error code when not ok
        QString model;         // empty when no known panel answered
        QString failure;       // what failed, in words
        qint64 failedAt = -1;  // device address of the first block that failed
    };

    // `image` (Update, Verify) outlives the run; `output` is the file Read
    // writes.
    PanelRun(Job job, const QString &location, const QVector<QByteArray> *image, const QString &output,
             Progress *progress);
    ~PanelRun();
    PanelRun(const PanelRun &) = delete;
    PanelRun &operator=(const PanelRun &) = delete;

    void start();
    void wait();
    QString location() const { return m_location; }
    const Result &result() const { return m_result; }

    // The program memory below the protected page, as the Intel HEX that
    // update accepts again (the reset jump back at 0, blank rows left out).
    static QByteArray programAsHex(const QByteArray &fileBytes);

private:
    void run();
    bool identify(ConnectionFactory &factory);
    bool fail(int code, const QString &failure);
    bool readProgram();
    void reportTransfer(int value);

    Job m_job;
    QString m_location;
    const QVector<QByteArray> *m_image;
    QString m_output;
    Progress *m_progress;
    int m_row;
    Result m_result;
    std::unique_ptr<Connection> m_link;
    std::unique_ptr<QThread> m_thread;
    QString m_phase;
    qint64 m_bytes = 0;       // the image's bytes to transfer
    qint64 m_startMs = 0;
};
