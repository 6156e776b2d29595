#pragma once

#include <QObject>
#include <QTimer>

// Keeps the found panels in their bootloader while the technician chooses.
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
};
