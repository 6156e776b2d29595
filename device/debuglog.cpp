#include "device/debuglog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <cstdio>

namespace {

QMutex g_mutex;
QFile *g_file = nullptr;
QtMessageHandler g_previous = nullptr;
bool g_installed = false;

// By QtMsgType: debug, warning, critical, fatal, info.
const char *const kTypeNames[] = {"debug", "warning", "critical", "fatal", "info"};

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
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

// Run logs are named by their start time, so name order is age order.
void pruneOldRuns(QDir &dir, int keep)
{
    const QStringList runs = dir.entryList({QStringLiteral("run-*.log")}, QDir::Files, QDir::Name);
    for (int i = 0; i < runs.size() - keep; ++i)
        dir.remove(runs.at(i));
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
        QString name = QStringLiteral("run-%1.log").arg(stamp);
        // Two runs within the same millisecond must not share a file.
        for (int n = 1; dir.exists(name); ++n)
            name = QStringLiteral("run-%1-%2.log").arg(stamp).arg(n);
        auto *file = new QFile(dir.filePath(name));
        if (file->open(QIODevice::WriteOnly | QIODevice::Text)) {
            path = file->fileName();
            QMutexLocker lock(&g_mutex);
            g_file = file;
        } else {
            delete file;
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
}

} // namespace DebugLog
