#include <QApplication>
#include <QDebug>
#include <QImageReader>
#include <QMessageBox>
#include <QStyle>

#include <cstdio>

#include "app/bootloaderwizard.h"
#include "app/programstart.h"
#include "app/singleinstance.h"
#include "device/debuglog.h"
#include "app/runoutcome.h"
#include "library/library.h"
#include "device/portlister.h"
#include "device/runningmark.h"
#include "device/systemreport.h"

int main(int argc, char *argv[])
{
    ProgramStart::ignoreOutsidePluginPaths();
    ProgramStart::scaleWithTheScreen();
    QApplication app(argc, argv);
    RunningMark::hold();
    QApplication::setApplicationName(QStringLiteral("BootloaderWizard"));
    QApplication::setApplicationVersion(QStringLiteral(WIZARD_VERSION));
    QStringList report = SystemReport::lines(PortLister::availablePorts());
    // What Qt found beside the program: a bundle that lacks a plugin starts
    // plain, or without its icon, rather than failing.
    QStringList formats;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        formats << QString::fromLatin1(format);
    report.insert(3, QStringLiteral("Qt plugins: platform %1, style %2, image formats %3")
                         .arg(QGuiApplication::platformName(), QApplication::style()->objectName(),
                              formats.join(QLatin1Char(' '))));
    // What support asks first, without starting a run.
    if (QCoreApplication::arguments().contains(QStringLiteral("--version"))) {
        ProgramStart::useParentConsole();
        std::printf("%s\n", qPrintable(report.join(QLatin1Char('\n'))));
        return 0;
    }
    bool raised = false;
    if (!SingleInstance::claim(&raised)) {
        if (!raised)
            QMessageBox::information(nullptr, QStringLiteral("Bootloader Wizard"),
                                     QCoreApplication::translate("main", "O assistente já está aberto nesta sessão."));
        return 0;
    }
    // Only the program itself keeps run logs; tests and tools stay on the
    // console.
    DebugLog::install(DebugLog::defaultFolder());
    for (const QString &line : report)
        qDebug().noquote() << line;
    // One line an update, as a bench records it: what support asks for.
    library.setRecordFile(DebugLog::defaultFolder() + QStringLiteral("/records.jsonl"));

    BootloaderWizard wizard;
    RunOutcome outcome(&wizard);
    wizard.show();
    const int code = app.exec();

    qDebug().noquote() << outcome.ending();
    DebugLog::uninstall();
    return code;
}
