#pragma once

#include <QObject>
#include <QString>

// Erases one panel and writes the loaded image into it.
class Writer : public QObject
{
    Q_OBJECT

public:
    Writer(const QString &port, QObject *parent);

signals:
    void finished(QObject *writer, bool ok);

public slots:
    void process();

private:
    QString port;
};
