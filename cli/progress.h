#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMutex>
#include <QString>
#include <QVector>

#include <cstdio>

// What the panels' threads report, written as it comes: on a terminal one
// line a panel, redrawn in place at most ten times a second; into a pipe
// plain lines, one a phase and one at each tenth of it; with --json one JSON
// object a line, at most one a panel and percent. Every call may come from
// any thread. A write that fails (a reader gone away) is let go: the output
// never stops an update.
class Progress
{
public:
    enum Mode { Terminal, Plain, Json };

    // A null `out` writes nothing.
    explicit Progress(Mode mode, std::FILE *out = stdout);

    // The line for the panel on `port` (the same for every panel plugged in
    // there); returns its row for the calls below.
    int addPanel(const QString &port);
    // phase: "identify", "erase", "write", "verify", "read", "start", "done",
    // "failed" or "interrupted"; percent and the seconds left where known (-1).
    void report(int row, const QString &model, const QString &phase, int percent = -1, double secondsLeft = -1);
    // A free line after the panels' lines: a summary or a list entry, as
    // text, or as one JSON object.
    void line(const QString &text);
    void line(const QJsonObject &object);

    // Control characters shown as \xNN: a name that holds a line break must
    // not forge a line of its own.
    static QString printable(const QString &text);

private:
    struct Row
    {
        QString port;
        QString model;
        QString phase;
        int percent = -1;
        double secondsLeft = -1;
        int shown = -1;  // the percent last written (Plain: its tenth; Json: itself)
    };
    QString text(const Row &row) const;
    void redraw();
    void write(const QByteArray &bytes);

    Mode m_mode;
    std::FILE *m_out;
    QMutex m_mutex;
    QVector<Row> m_rows;
    int m_drawn = 0;  // terminal lines drawn so far
    QElapsedTimer m_sinceRedraw;
};
