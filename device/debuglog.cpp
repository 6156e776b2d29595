#include "device/debuglog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QThreadStorage>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

QMutex g_mutex;
QFile *g_file = nullptr;
// Held while the run writes its log: another run's pruning leaves it be.
QLockFile *g_lock = nullptr;
// Qt's own thread storage: a thread_local QString breaks the heap of
// mingw-w64's Windows program.
QThreadStorage<QString> t_prefix;
QtMessageHandler g_previous = nullptr;
bool g_installed = false;

// By QtMsgType: debug, warning, critical, fatal, info.
const char *const kTypeNames[] = {"debug", "warning", "critical", "fatal", "info"};

void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QString message = t_prefix.hasLocalData() ? t_prefix.localData() + text : text;
    {
        QMutexLocker lock(&g_mutex);
        if (g_file) {
            QByteArray line = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
            if (type != QtDebugMsg) {
                line += ' ';
                line += kTypeNames[type];
                line += ':';
            }
            line += ' ';
            line += message.toUtf8();
            line += '\n';
            g_file->write(line);
            // Flushed at once: the lines before a crash are the useful ones.
            g_file->flush();
        }
    }
    if (g_previous) {
        g_previous(type, context, message);
    } else {
        const QByteArray text = qFormatLogMessage(type, context, message).toLocal8Bit();
        std::fprintf(stderr, "%s\n", text.constData());
        std::fflush(stderr);
    }
}

QString lockName(const QString &log)
{
    return log + QStringLiteral(".lock");
}

// The newest `keep` logs stay, by the time they were last written, and so
// does any log a running program still writes.
void pruneOldRuns(QDir &dir, int keep)
{
    QFileInfoList runs = dir.entryInfoList({QStringLiteral("run-*.log")}, QDir::Files);
    // Newest first; runs written in the same tick by the later name.
    std::sort(runs.begin(), runs.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() != b.lastModified() ? a.lastModified() > b.lastModified() : a.fileName() > b.fileName();
    });
    for (int i = keep; i < runs.size(); ++i) {
        QLockFile lock(lockName(runs.at(i).filePath()));
        lock.setStaleLockTime(0);
        if (lock.tryLock(0))
            dir.remove(runs.at(i).fileName());
    }
}

} // namespace

namespace DebugLog {

QString defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/logs");
}

QString install(const QString &folder, int keep)
{
    uninstall();

    QString path;
    QDir dir(folder);
    if (keep > 0 && dir.mkpath(QStringLiteral("."))) {
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        // Two runs within the same millisecond, here or in another process,
        // must not share a file: a name taken already is passed over.
        for (int n = 0; n < 100 && path.isEmpty(); ++n) {
            auto file = std::make_unique<QFile>(
                dir.filePath(n == 0 ? QStringLiteral("run-%1.log").arg(stamp) : QStringLiteral("run-%1-%2.log").arg(stamp).arg(n)));
            if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text)) {
                path = file->fileName();
                g_lock = new QLockFile(lockName(path));
                g_lock->setStaleLockTime(0);
                g_lock->tryLock(0);
                QMutexLocker lock(&g_mutex);
                g_file = file.release();
            } else if (!file->exists()) {
                break;  // not a name taken: the folder cannot be written
            }
        }
        pruneOldRuns(dir, keep);
    }

    g_previous = qInstallMessageHandler(handler);
    g_installed = true;
    return path;
}

void uninstall()
{
    if (g_installed) {
        qInstallMessageHandler(g_previous);
        g_installed = false;
        g_previous = nullptr;
    }
    QMutexLocker lock(&g_mutex);
    if (g_file) {
        g_file->close();
        delete g_file;
        g_file = nullptr;
    }
    delete g_lock;
    g_lock = nullptr;
}

void setThreadPrefix(const QString &prefix)
{
    t_prefix.setLocalData(prefix);
}

} // namespace DebugLog
