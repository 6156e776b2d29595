// bootloader-cli: the firmware updater for service benches. The commands are
// in Cli; here the program keeps its run log as the wizard does.
#include "cli/cli.h"
#include "cli/interrupt.h"
#include "cli/terminal.h"
#include "device/debuglog.h"
#include "device/portlister.h"
#include "device/runningmark.h"
#include "device/systemreport.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>

#include <cstdio>

namespace {
bool g_verbose = false;

// The debug lines go to the run log; standard error shows them with
// --verbose, and warnings always. Written here, not by Qt's handler, which
// on Windows sends them to the debugger when no console is attached.
void console(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (g_verbose || type != QtDebugMsg) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
        std::fflush(stderr);
    }
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    RunningMark::hold();
    QCoreApplication::setApplicationName(QStringLiteral("BootloaderWizard"));
    QCoreApplication::setApplicationVersion(QStringLiteral(WIZARD_VERSION));
    useUtf8Output();
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    g_verbose = arguments.contains(QStringLiteral("--verbose"));
    qInstallMessageHandler(console);
    bool logged = false;
    const int status = Cli::run(arguments, stdout, stderr, [&logged] {
        const QString folder = DebugLog::defaultFolder();
        if (DebugLog::install(folder).isEmpty())
            std::fprintf(stderr, "bootloader-cli: no run log: %s cannot be written; the run goes on without one\n",
                         qUtf8Printable(QDir::toNativeSeparators(folder)));
        logged = true;
        qDebug().noquote() << "bootloader-cli" << QCoreApplication::applicationVersion();
        for (const QString &line : SystemReport::lines(PortLister::availablePorts()))
            qDebug().noquote() << line;
        // Ctrl-C's handler first: the console's, installed after it, then
        // sees a second Ctrl-C before the run ends at once.
        Interrupt::watch();
        const QString quickEdit = turnQuickEditOff();
        if (!quickEdit.isEmpty())
            qDebug().noquote() << quickEdit;
    });
    // Here, and at any other exit: the console is the operator's.
    const QString restored = restoreConsoleInput();
    if (logged) {
        if (!restored.isEmpty())
            qDebug().noquote() << restored;
        DebugLog::uninstall();
    }
    return status;
}
