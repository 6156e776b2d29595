#pragma once

#include <QObject>
#include <QTimer>

// Keeps the found panels in their bootloader while the technician chooses.
// The timer ticks on the user-interface thread; each pass runs on the
// keep-alive thread, at most one at a time, so a panel slow to answer never
// holds the window.
class KeepAliveWorker : public QObject
{
    Q_OBJECT

public:
    explicit KeepAliveWorker(QObject *parent);

public slots:
    void keepAlive();
    void update();
    // Stops the timer at once; no pass runs after this.
    void stop();

private:
    QTimer timer;
    bool m_passRunning = false;
};
