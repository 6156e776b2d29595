#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QString>
#include <QVector>
#include <QWaitCondition>

#include <cstdio>
#include <thread>

// What the panels' threads report, written as it comes: on a terminal one
// line a panel, redrawn in place at most ten times a second; into a pipe
// plain lines, one a phase and one at each tenth of it; with --json one JSON
// object a line, at most one a panel and percent. Every call may come from
// any thread and returns at once: one writer thread of its own does the
// writing, so no panel ever waits on the output (a Windows console with
// QuickEdit holds every write while text is selected). A write that fails
// (a reader gone away) is let go: the output never stops an update. The
// destructor writes what is left.
class Progress
{
public:
    enum Mode { Terminal, Plain, Json };

    // A null `out` writes nothing. `command` goes into every JSON event.
    explicit Progress(Mode mode, std::FILE *out = stdout, const QString &command = QString());
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // The line for the panel on `port` plugged in at `slot` (the same for
    // every panel plugged in there); returns its row for the calls below.
    int addPanel(const QString &port, const QString &slot = QString());
    // phase: "identify", "erase", "write", "verify", "read", "start", "done",
    // "failed" or "interrupted"; percent and the seconds left where known (-1).
    void report(int row, const QString &model, const QString &phase, int percent = -1, double secondsLeft = -1);
    // A free line after the panels' lines: a summary or a list entry, as
    // text, or as one JSON object (the command added).
    void line(const QString &text);
    void line(QJsonObject object);
    // Waits until everything given so far is written.
    void flush();

    // Control characters shown as \xNN: a name that holds a line break must
    // not forge a line of its own.
    static QString printable(const QString &text);
    // "slot port", or the port alone where the system names no slot.
    static QString place(const QString &port, const QString &slot);

private:
    struct Row
    {
        QString port;
        QString slot;
        QString model;
        QString phase;
        int percent = -1;
        double secondsLeft = -1;
        int shown = -1;  // the percent last written (Plain: its tenth; Json: itself)
    };
    QString text(const Row &row) const;
    void redraw();
    void write(const QByteArray &bytes);
    void writer();

    Mode m_mode;
    std::FILE *m_out;
    QString m_command;
    QMutex m_mutex;
    QVector<Row> m_rows;
    int m_drawn = 0;  // terminal lines drawn so far
    QElapsedTimer m_sinceRedraw;
    // The writer's queue, under m_mutex.
    QList<QByteArray> m_queue;
    bool m_writing = false;
    bool m_ending = false;
    QWaitCondition m_wake;
    QWaitCondition m_drained;
    std::thread m_writer;
};
