#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

// A timer on the user-interface thread that notes how long the event loop
// kept it waiting. Windows calls a window hung once its thread has not
// looked at its messages for 5 s; a beat every 100 ms that comes late by
// more than a frame or two shows the window stalling long before that.
class Heartbeat : public QObject
{
    Q_OBJECT

public:
    explicit Heartbeat(int periodMs = 100, QObject *parent = nullptr);

    void start();
    void stop();
    // The stretch the next gaps are counted under (a page's name).
    void setStretch(const QString &name);
    // The longest time between two beats; the summary adds it by stretch.
    qint64 longestGapMs() const { return m_longest; }
    QString summary() const;

private:
    void beat();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_longest = 0;
    QString m_stretch = QStringLiteral("first");
    QString m_longestStretch;
    QHash<QString, qint64> m_byStretch;
};
