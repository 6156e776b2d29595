#include "cli/benchguard.h"

#include <QDebug>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <memory>
#include <utility>

namespace {
int g_writing = 0;
std::unique_ptr<QProcess> g_inhibitor;

QString panels(int count)
{
    return count == 1 ? QStringLiteral("1 panel is") : QStringLiteral("%1 panels are").arg(count);
}

// logind holds sleep off for as long as systemd-inhibit's child runs. The
// child waits on a pipe from us, so the lock goes with us however we end;
// it says so once the lock is held.
bool inhibit()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("systemd-inhibit"));
    if (program.isEmpty())
        return false;
    g_inhibitor = std::make_unique<QProcess>();
    g_inhibitor->start(program, {"--what=sleep:idle", "--mode=block", "--who=bootloader-cli",
                                 "--why=Gravando centrais de alarme", "sh", "-c", "echo held && exec cat"});
    if (g_inhibitor->waitForReadyRead(5000) && g_inhibitor->readAllStandardOutput().startsWith("held"))
        return true;
    g_inhibitor->kill();
    g_inhibitor->waitForFinished(1000);
    qDebug().noquote() << "The system may sleep while panels are written: systemd-inhibit"
                       << QString::fromLocal8Bit(g_inhibitor->readAllStandardError()).trimmed();
    g_inhibitor.reset();
    return false;
}
} // namespace

BenchGuard::BenchGuard() = default;

BenchGuard::~BenchGuard()
{
    setPanelsWriting(0);
}

void BenchGuard::setPanelsWriting(int count)
{
    count = std::max(count, 0);
    const int before = std::exchange(g_writing, count);
    if (count == before || (before > 0 && count > 0 && !g_inhibitor))
        return;
    if ((before > 0 || inhibit()) && count > 0) {
        qDebug().noquote() << "The system is kept awake while" << panels(count) << "written.";
    } else if (count == 0 && g_inhibitor) {
        g_inhibitor->closeWriteChannel();
        if (!g_inhibitor->waitForFinished(2000))
            g_inhibitor->kill();
        g_inhibitor->waitForFinished(1000);
        g_inhibitor.reset();
        qDebug() << "The system may sleep again.";
    }
}
