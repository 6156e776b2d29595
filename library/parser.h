#pragma once

#include <QObject>
#include <QString>

// Loads a firmware file into the library.
class Parser : public QObject
{
    Q_OBJECT

public:
    Parser(const QString &path, QObject *parent);

signals:
    void finished(QString path, bool ok);

public slots:
    void process();

private:
    QString path;
};
