#include "library/scanner.h"

#include "library/library.h"
#include "library/workerthread.h"

Scanner::Scanner(const QString &port, QObject *parent)
    : QObject(parent)
    , port(port)
{
    tieThreadToWorker(this, parent);
}

void Scanner::process()
{
    // What was found is read from the library's list once every scanner has
    // reported, so the result is not passed on.
    const QString name = port;
    runOnWorkerThread(this, [name] { library.addPort(name); }, [this] {
        // The receiver may delete this worker inside the emission.
        emit finished(this);
    });
}
