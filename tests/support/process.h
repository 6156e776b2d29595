#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// How many descriptors of this process are open on `device` (a resolved path
// such as /dev/pts/4): shows whether a port was left open.
inline int openDescriptors(const QString &device)
{
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        n += fd.symLinkTarget() == device;
    return n;
}

// The threads this process has now, all or those whose system name is
// `name` (Linux).
inline int threadCount(const QByteArray &name = QByteArray())
{
    int n = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task) + QStringLiteral("/comm"));
        n += name.isEmpty() || (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name);
    }
    return n;
}
