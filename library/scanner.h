#pragma once

#include <QObject>
#include <QString>

// Looks for a panel on one serial port. The probe runs on the scanner's own
// thread, so the ports of a search are probed side by side while the window
// stays live; the report comes back on the user-interface thread.
class Scanner : public QObject
{
    Q_OBJECT

public:
    Scanner(const QString &port, QObject *parent);

signals:
    void finished(QObject *scanner);

public slots:
    void process();

private:
    QString port;
};
