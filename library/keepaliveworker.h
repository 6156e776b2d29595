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

private:
    QTimer timer;
};
