#include <QApplication>

#include "app/bootloaderwizard.h"
#include "app/debuglog.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BootloaderWizard"));
    // Only the program itself keeps run logs; tests and tools stay on the
    // console.
    DebugLog::install(DebugLog::defaultFolder());

    BootloaderWizard wizard;
    wizard.show();
    const int code = app.exec();

    DebugLog::uninstall();
    return code;
}
