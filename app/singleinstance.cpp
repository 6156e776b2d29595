#include "app/singleinstance.h"

#include <QDir>
#include <QLockFile>

#include <memory>

bool SingleInstance::claim(bool *raised)
{
    *raised = false;
    // Per user: the temporary folder is the user's own on Windows, and the
    // name carries the user elsewhere.
    const QString user = qEnvironmentVariable("USERNAME", qEnvironmentVariable("USER"));
    static std::unique_ptr<QLockFile> held;
    auto lock = std::make_unique<QLockFile>(QDir(QDir::tempPath()).filePath(QStringLiteral("bootloader-wizard-%1.lock").arg(user)));
    // Only a wizard that no longer runs leaves a lock anyone may take.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        held = std::move(lock);
        return true;
    }
    qint64 pid = 0;
    QString host, application;
    if (lock->getLockInfo(&pid, &host, &application))
        *raised = raise(pid);
    return false;
}
