// Renders each page of the wizard as the technician sees it, so that the
// look can be checked without a display: one PNG per page.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QWizard>

#include <functional>

#include "app/bootloaderwizard.h"
#include "device/errorcodes.h"
#include "device/portlister.h"
#include "pages/driverpage.h"
#include "tools/common/outputfolder.h"

namespace {

// Lets queued work (the pages' 0 ms timers, layout, painting) run.
void settle(int ms = 100)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool shoot(QWizard &wizard, const QDir &dir, const QString &name)
{
    settle();
    return savePng(dir, name + QStringLiteral(".png"), wizard.grab().toImage());
}

} // namespace

int main(int argc, char *argv[])
{
    QDir dir;
    if (const int failed = openOutputFolder(argc, argv, "OUTPUT_FOLDER", &dir))
        return failed;
    QApplication app(argc, argv);

    // The scan page searches as soon as it is shown: give it no port, so
    // that the machine's real ports are never touched.
    PortLister::setOverride({});

    BootloaderWizard wizard;
    // The driver page is built but never registered; give it its free id here
    // so that it can be seen too.
    DriverPage driverPage;
    wizard.setPage(BootloaderWizard::Page_Driver, &driverPage);
    wizard.show();

    auto visit = [&wizard](int id) {
        wizard.setStartId(id);
        wizard.restart();
    };

    struct Shot {
        int id;
        const char *name;
        std::function<void()> prepare;
    };
    const Shot shots[] = {
        {BootloaderWizard::Page_Intro, "01-intro", nullptr},
        {BootloaderWizard::Page_Intro, "02-intro-accepted", [&wizard] {
             if (auto *box = wizard.page(BootloaderWizard::Page_Intro)->findChild<QCheckBox *>(QStringLiteral("acceptanceCheckBox")))
                 box->setChecked(true);
         }},
        {BootloaderWizard::Page_Driver, "03-driver", nullptr},
        {BootloaderWizard::Page_Preparations1, "04-preparations1", nullptr},
        {BootloaderWizard::Page_Preparations2, "05-preparations2", nullptr},
        {BootloaderWizard::Page_Preparations3, "06-preparations3", nullptr},
        {BootloaderWizard::Page_Preparations4, "07-preparations4", nullptr},
        {BootloaderWizard::Page_Scan, "08-scan", nullptr},
        {BootloaderWizard::Page_Setup, "09-setup", nullptr},
        {BootloaderWizard::Page_Install, "10-install", [&wizard] {
             // The page starts its write from a 0 ms timer; the picture is
             // of its form, so that start is dropped before it runs.
             QCoreApplication::removePostedEvents(wizard.page(BootloaderWizard::Page_Install), QEvent::MetaCall);
         }},
        {BootloaderWizard::Page_Success, "11-success", nullptr},
    };

    bool ok = true;
    for (const Shot &shot : shots) {
        visit(shot.id);
        if (shot.prepare)
            shot.prepare();
        ok &= shoot(wizard, dir, QString::fromLatin1(shot.name));
    }
    for (int code = 0; code < ErrorCodeCount; ++code) {
        wizard.setProperty("error", code);
        visit(BootloaderWizard::Page_Error);
        ok &= shoot(wizard, dir, QStringLiteral("12-error-%1").arg(code));
    }

    wizard.removePage(BootloaderWizard::Page_Driver);
    return ok ? 0 : 1;
}
