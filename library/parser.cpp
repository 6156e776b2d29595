#include "library/parser.h"

#include "library/library.h"
#include "library/workerthread.h"

Parser::Parser(const QString &path, QObject *parent)
    : QObject(parent)
    , path(path)
{
    tieThreadToWorker(this, parent);
}

void Parser::process()
{
    const bool ok = library.load(path);
    // The receiver may delete this worker inside the emission.
    emit finished(path, ok);
}
