#pragma once

#include <QObject>
#include <QString>

// Looks for a panel on one serial port.
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
