#pragma once

#include <QJsonObject>
#include <QMutex>
#include <QString>
#include <QVector>

#include <cstdio>

// What the panels' threads report, written as it comes: on a terminal one
// line a panel, redrawn in place; otherwise plain lines, one a phase change;
// with --json one JSON object a line. Every call may come from any thread.
class Progress
{
public:
    enum Mode { Terminal, Plain, Json };

    // A null `out` writes nothing.
    explicit Progress(Mode mode, std::FILE *out = stdout);

    // A line for the panel on `port`; returns its row for the calls below.
    int addPanel(const QString &port);
    // phase: "identify", "erase", "write", "verify", "read", "wake-up",
    // "done" or "failed"; percent and bytes a second where they apply (-1).
    void report(int row, const QString &model, const QString &phase, int percent = -1, double bytesPerSecond = -1);
    // A free line after the panels' lines: a summary or a list entry, as
    // text, or as one JSON object.
    void line(const QString &text);
    void line(const QJsonObject &object);

private:
    struct Row
    {
        QString port;
        QString model;
        QString phase;
        int percent = -1;
        double rate = -1;
    };
    QString text(const Row &row) const;
    void redraw();
    void write(const QJsonObject &object);

    Mode m_mode;
    std::FILE *m_out;
    QMutex m_mutex;
    QVector<Row> m_rows;
    int m_drawn = 0;  // terminal lines drawn so far
};
