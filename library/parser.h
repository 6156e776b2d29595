#pragma once

#include <QObject>
#include <QString>

// Loads a firmware file into the library: read and checked on the parser's
// own thread, kept by the library on the user-interface thread, where the
// report comes back. A parser deleted before it reports keeps nothing.
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
