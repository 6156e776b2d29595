// bootloader-cli: the firmware updater for service benches. The commands are
// in Cli; here the program keeps its run log as the wizard does.
#include "app/debuglog.h"
#include "cli/cli.h"
#include "device/portlister.h"
#include "device/systemreport.h"

#include <QCoreApplication>
#include <QDebug>

namespace {
bool g_verbose = false;
QtMessageHandler g_console = nullptr;

// The debug lines go to the run log; the terminal shows them with --verbose.
void console(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_verbose || type != QtDebugMsg)
        g_console(type, context, message);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("BootloaderWizard"));
    QCoreApplication::setApplicationVersion(QStringLiteral(WIZARD_VERSION));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    g_verbose = arguments.contains(QStringLiteral("--verbose"));
    g_console = qInstallMessageHandler(console);
    DebugLog::install(DebugLog::defaultFolder());
    qDebug().noquote() << "bootloader-cli" << QCoreApplication::applicationVersion();
    for (const QString &line : SystemReport::lines(PortLister::availablePorts()))
        qDebug().noquote() << line;
    const int status = Cli::run(arguments);
    qDebug() << "bootloader-cli exits with status" << status;
    DebugLog::uninstall();
    return status;
}
