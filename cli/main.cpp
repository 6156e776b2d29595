// bootloader-cli: the firmware updater for service benches. The commands are
// in Cli; here the program keeps its run log as the wizard does.
#include "device/debuglog.h"
#include "cli/cli.h"
#include "cli/terminal.h"
#include "device/portlister.h"
#include "device/systemreport.h"

#include <QCoreApplication>
#include <QDebug>

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
    QCoreApplication::setApplicationName(QStringLiteral("BootloaderWizard"));
    QCoreApplication::setApplicationVersion(QStringLiteral(WIZARD_VERSION));
    useUtf8Output();
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QStringList report = SystemReport::lines(PortLister::availablePorts());
    // As the wizard's: what support asks first, without starting a run.
    if (arguments.contains(QStringLiteral("--version"))) {
        std::printf("%s\n", qUtf8Printable(report.join(QLatin1Char('\n'))));
        return 0;
    }
    g_verbose = arguments.contains(QStringLiteral("--verbose"));
    qInstallMessageHandler(console);
    DebugLog::install(DebugLog::defaultFolder());
    qDebug().noquote() << "bootloader-cli" << QCoreApplication::applicationVersion();
    for (const QString &line : report)
        qDebug().noquote() << line;
    const int status = Cli::run(arguments);
    qDebug() << "bootloader-cli exits with status" << status;
    DebugLog::uninstall();
    return status;
}
