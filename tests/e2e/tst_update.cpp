#include <QtTest>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>

#include "app/errorcodes.h"
#include "device/devicepath.h"
#include "library/library.h"
#include "pages/installpage.h"
#include "support/logcapture.h"
#include "wizardrun.h"

// The update from the terms to the last page, against virtual panels.
class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void updatesThePanelFromTheTermsToSuccess();
    void writesTheChosenOfTwoPanelsOnly();
    void failedWritesEndOnMessage5_data();
    void failedWritesEndOnMessage5();
    void inputDuringTheWriteDoesNotHideTheOutcome();
};

Q_DECLARE_METATYPE(PanelFaults)

namespace {

InstallPage *installPage(WizardRun &run)
{
    return qobject_cast<InstallPage *>(run.wizard().page(BootloaderWizard::Page_Install));
}

} // namespace

void TestUpdate::updatesThePanelFromTheTermsToSuccess()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.reachSetup());
    VirtualPanel *panel = run.panel(0);
    // Flash that is not blank: whatever the file leaves out must come out
    // erased.
    panel->fillFlash(0x00);

    auto *list = run.child<QComboBox>(BootloaderWizard::Page_Setup, "comboBox");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->itemText(0), QStringLiteral("KR 210 Nova na porta ") + library.foundPorts().value(0));
    QCOMPARE(run.wizard().property("port").toInt(), 0);

    // Each progress value is a moment to look at the buttons: Commit stays
    // disabled throughout, and Back while the panel is being written.
    QList<int> values;
    bool commitEnabled = false;
    bool backEnabled = false;
    connect(installPage(run), &InstallPage::updated, this, [&](int value) {
        values.append(value);
        commitEnabled |= run.enabled(QWizard::CommitButton);
        backEnabled |= run.enabled(QWizard::BackButton);
    });

    QVERIFY(run.commit());
    QVERIFY(!run.enabled(QWizard::CommitButton));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 60000));

    QCOMPARE(run.child<QLabel>(BootloaderWizard::Page_Success, "label")->text(),
             QStringLiteral("Central de alarme gravado com sucesso."));
    const QString mismatch = flashMismatch(*panel, WizardRun::sampleFirmware());
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(run.child<QProgressBar>(BootloaderWizard::Page_Install, "progressBar")->value(), 100);

    QVERIFY(values.size() > 10);
    QCOMPARE(values.last(), -1);
    QVERIFY(!values.contains(-2));
    QVERIFY(!values.contains(-3));
    QVERIFY(!commitEnabled);
    QVERIFY(!backEnabled);
    // Once on the success page there is no way back past the commit.
    QVERIFY(!run.enabled(QWizard::BackButton));

    QCOMPARE(run.wizard().property("hex").toString(), WizardRun::sampleFirmware());
    QVERIFY(log.contains(QStringLiteral("InstallPage::start() <- \"%1\"").arg(library.foundPorts().value(0))));
    QVERIFY(log.contains(QStringLiteral("writeFinished() called with true")));
}

void TestUpdate::writesTheChosenOfTwoPanelsOnly()
{
    WizardRun run;
    QVERIFY(run.reachSetup({WizardRun::quickPanel(1), WizardRun::quickPanel(2)}));
    VirtualPanel *first = run.panel(0);
    VirtualPanel *second = run.panel(1);

    // The list follows the found ports one to one, in their order.
    const QList<QString> found = library.foundPorts();
    QCOMPARE(found.size(), 2);
    auto *list = run.child<QComboBox>(BootloaderWizard::Page_Setup, "comboBox");
    QCOMPARE(list->count(), 2);
    for (int i = 0; i < 2; ++i)
        QVERIFY2(list->itemText(i).endsWith(QStringLiteral(" na porta ") + found.at(i)), qPrintable(list->itemText(i)));

    list->setCurrentIndex(1);
    QCOMPARE(run.wizard().property("port").toInt(), 1);
    VirtualPanel *chosen = found.at(1) == DevicePath::nameFromLocation(first->devicePath()) ? first : second;
    VirtualPanel *other = chosen == first ? second : first;
    const QByteArray untouched = other->fileBytes();

    QVERIFY(run.commit());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 60000));

    const QString mismatch = flashMismatch(*chosen, WizardRun::sampleFirmware());
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(other->pageErases(), 0);
    QCOMPARE(other->rowWrites(), 0);
    QVERIFY(other->fileBytes() == untouched);
}

void TestUpdate::failedWritesEndOnMessage5_data()
{
    QTest::addColumn<PanelFaults>("faults");
    QTest::addColumn<int>("port");

    PanelFaults writeFails;
    writeFails.writeNoReplyAtRow = 5;
    QTest::newRow("a block write gets no answer") << writeFails << 0;

    // A word well inside the sample's program text reads back wrong: every
    // block is written, one does not verify.
    PanelFaults verifyFails;
    verifyFails.corruptReadAddress = 0x1000;
    QTest::newRow("a block does not verify") << verifyFails << 0;

    // The cell for the application's reset jump does not take it: the panel
    // would never start the new firmware.
    PanelFaults resetJumpLost;
    resetJumpLost.stuckAddress = 0x100;
    QTest::newRow("the reset jump is not taken") << resetJumpLost << 0;

    // Nothing is written when the chosen index is past the found ports.
    QTest::newRow("a port index past the found ports") << PanelFaults() << 1;
}

void TestUpdate::failedWritesEndOnMessage5()
{
    QFETCH(PanelFaults, faults);
    QFETCH(int, port);
    LogCapture log;
    WizardRun run;
    PanelOptions options = WizardRun::quickPanel();
    options.faults = faults;
    QVERIFY(run.reachSetup({options}));
    run.wizard().setProperty("port", port);
    QVERIFY(run.commit());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Error, 60000));

    QCOMPARE(run.shownError(), errorMessages[WriteFailed]);
    QCOMPARE(run.wizard().property("error").toInt(), int(WriteFailed));
    // Past the commit: Cancel is the only way out.
    QVERIFY(!run.enabled(QWizard::BackButton));
    QTRY_VERIFY(!run.enabled(QWizard::NextButton));
    VirtualPanel *panel = run.panel(0);
    if (port > 0) {
        QCOMPARE(panel->pageErases() + panel->rowWrites(), 0);
        QVERIFY(log.containsPrefix(QStringLiteral("InstallPage::start(): no found panel at index 1")));
        return;
    }
    // Every layer tells the same: no layer reported a success.
    QVERIFY(log.contains(QStringLiteral("library.write() returned false")));
    QVERIFY(!log.contains(QStringLiteral("library.write() returned true")));
    // A half-written panel stays in its bootloader: the next search finds it
    // without the jumper and power cycle, and a second update succeeds.
    QVERIFY(panel->inBootloader());
    QVERIFY(log.containsPrefix(QStringLiteral("Library::write(): writing to")));
    panel->setFaults(PanelFaults());
    run.wizard().restart();
    QVERIFY(run.walkToScan());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 20000));
    QVERIFY(run.commit());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 60000));
    const QString mismatch = flashMismatch(*panel, WizardRun::sampleFirmware());
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY(!panel->inBootloader());
}

// Escape, the close box and a second click pressed while the write holds
// the window arrive once it ends; they must not close the window or click
// through the page that tells the outcome.
void TestUpdate::inputDuringTheWriteDoesNotHideTheOutcome()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.reachSetup());
    bool posted = false;
    connect(installPage(run), &InstallPage::updated, this, [&](int value) {
        if (posted || value <= 0)
            return;
        posted = true;
        QWidget *wizard = &run.wizard();
        QCoreApplication::postEvent(wizard, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        QCoreApplication::postEvent(wizard, new QCloseEvent);
        QAbstractButton *finish = run.button(QWizard::FinishButton);
        const QPointF at(finish->width() / 2, finish->height() / 2);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(finish, new QMouseEvent(type, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    });
    QVERIFY(run.commit());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 60000));
    QVERIFY(posted);
    QTest::qWait(100);
    QVERIFY(run.wizard().isVisible());
    QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Success));
    QCOMPARE(run.wizard().result(), 0);
    QVERIFY(log.containsPrefix(QStringLiteral("Dropped ")));
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
