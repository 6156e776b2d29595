#include "library/parser.h"

#include "library/library.h"
#include "library/workerthread.h"

#include <memory>

Parser::Parser(const QString &path, QObject *parent)
    : QObject(parent)
    , path(path)
{
    tieThreadToWorker(this, parent);
}

void Parser::process()
{
    const QString file = path;
    auto read = std::make_shared<Library::LoadedFile>();
    runOnWorkerThread(this, [file, read] { *read = Library::readFile(file); }, [this, read] {
        const bool ok = library.keep(*read);
        // The receiver may delete this worker inside the emission.
        emit finished(path, ok);
    });
}
