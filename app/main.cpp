#include <QApplication>
#include <QDebug>

#include <cstdio>

#include "app/bootloaderwizard.h"
#include "app/debuglog.h"
#include "app/runoutcome.h"
#include "device/portlister.h"
#include "device/systemreport.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BootloaderWizard"));
    QApplication::setApplicationVersion(QStringLiteral(WIZARD_VERSION));
    const QStringList report = SystemReport::lines(PortLister::availablePorts());
    // What support asks first, without starting a run.
    if (QCoreApplication::arguments().contains(QStringLiteral("--version"))) {
        std::printf("%s\n", qPrintable(report.join(QLatin1Char('\n'))));
        return 0;
    }
    // Only the program itself keeps run logs; tests and tools stay on the
    // console.
    DebugLog::install(DebugLog::defaultFolder());
    for (const QString &line : report)
        qDebug().noquote() << line;

    BootloaderWizard wizard;
    RunOutcome outcome(&wizard);
    wizard.show();
    const int code = app.exec();

    qDebug().noquote() << outcome.ending();
    DebugLog::uninstall();
    return code;
}
