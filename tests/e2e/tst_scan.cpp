#include <QtTest>

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <functional>

#include "app/errorcodes.h"
#include "device/picboot.h"
#include "library/library.h"
#include "support/logcapture.h"
#include "wizardrun.h"

// The search for panels: when it ends, where it leads, and what stepping
// back does to it.
class TestScan : public QObject
{
    Q_OBJECT

private slots:
    void withoutTheBootloaderLibraryEndsOnMessage6AtOnce();
    void findingNoPanelEndsOnMessage1_data();
    void findingNoPanelEndsOnMessage1();
    void aFastSearchStaysOnScreenForTwoSeconds();
    void aSlowSearchMovesOnAtOnce();
    void steppingBackFromSetupClosesTheLinksAndSearchesAnew();
    void steppingBackDuringASearchMovesNothing();
    void comingBackWhileOldScannersRunSearchesAgain();
    void steppingBackDuringTheFeedbackWaitMovesNothing();
};

namespace {

const QString kFeedback = QStringLiteral("Scanning was too fast. Wait for a little while as feedback.");
const QString kScanStarted = QStringLiteral("ScanPage::scan started.");

// Runs an action as soon as a debug line starting with a prefix is written,
// the way a click that is already waiting runs: as the next event, ahead of
// the work still queued (the scanners' jobs).
class OnLine : public QObject
{
public:
    OnLine(const QString &prefix, std::function<void()> action)
        : m_prefix(prefix)
        , m_action(std::move(action))
    {
        s_active = this;
        m_previous = qInstallMessageHandler(&OnLine::handler);
    }
    ~OnLine() override
    {
        qInstallMessageHandler(m_previous);
        s_active = nullptr;
    }

    bool fired() const { return m_fired; }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        m_action();
        return true;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        OnLine *self = s_active;
        if (self && !self->m_fired && message.startsWith(self->m_prefix)) {
            self->m_fired = true;
            QCoreApplication::postEvent(self, new QEvent(QEvent::User), Qt::HighEventPriority);
        }
        if (self && self->m_previous)
            self->m_previous(type, context, message);
    }

    static OnLine *s_active;
    QString m_prefix;
    std::function<void()> m_action;
    QtMessageHandler m_previous = nullptr;
    bool m_fired = false;
};

OnLine *OnLine::s_active = nullptr;

void clickBack(WizardRun &run)
{
    run.button(QWizard::BackButton)->click();
}

// Panels whose identification takes a while, so that a search of two of
// them lasts long enough to be interrupted.
PanelOptions slowToAnswer(int pauseMs)
{
    PanelOptions options = WizardRun::quickPanel();
    options.faults.probeSplit = true;
    options.faults.probeSplitPauseMs = pauseMs;
    return options;
}

// Stays on the page for the whole time, or says where it went.
bool staysOn(WizardRun &run, int id, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (run.currentId() != id)
            return false;
        QTest::qWait(20);
    }
    return run.currentId() == id;
}

} // namespace

void TestScan::withoutTheBootloaderLibraryEndsOnMessage6AtOnce()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    struct Restore {
        ~Restore() { PicBoot::setLibraryFolder(QString()); }
    } restore;
    PicBoot::setLibraryFolder(empty.path());

    LogCapture log;
    WizardRun run;
    VirtualPanel *panel = run.addPanel();
    QVERIFY(panel);
    run.listPorts();

    QVERIFY(run.walkToScan());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Error, 5000));
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(run.shownError(), errorMessages[FileAccessFailed]);
    QVERIFY(!log.contains(kScanStarted));
    QVERIFY(!log.contains(kFeedback));
    QCOMPARE(panel->idRequests(), 0);
}

void TestScan::findingNoPanelEndsOnMessage1_data()
{
    QTest::addColumn<bool>("silentPort");
    QTest::newRow("a port on which nothing answers") << true;
    QTest::newRow("no serial port at all") << false;
}

void TestScan::findingNoPanelEndsOnMessage1()
{
    QFETCH(bool, silentPort);
    LogCapture log;
    WizardRun run;
    if (silentPort)
        QVERIFY(run.addSilentPort());
    run.listPorts();

    QVERIFY(run.walkToScan());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Error, 15000));

    QCOMPARE(run.shownError(), errorMessages[DeviceNotFound]);
    QCOMPARE(run.wizard().property("error").toInt(), int(DeviceNotFound));
    QCOMPARE(log.count(kScanStarted), 1);
    QCOMPARE(log.count(QStringLiteral("ScanPage::scanFinished() called.")), 1);
    QCOMPARE(log.countPrefix(QStringLiteral("ScanPage::runConcurrentScan() on [")), silentPort ? 1 : 0);
    QVERIFY(library.foundPorts().isEmpty());
}

void TestScan::aFastSearchStaysOnScreenForTwoSeconds()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.addPanel());
    run.listPorts();

    QVERIFY(run.walkToScan());
    QElapsedTimer clock;
    clock.start();
    // The search disables Next as soon as it begins.
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(kScanStarted), 2000);
    QVERIFY(!run.button(QWizard::NextButton)->isEnabled());
    QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Scan));

    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 10000));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 1900 && elapsed < 5000, qPrintable(QString::number(elapsed)));
    QCOMPARE(log.count(kFeedback), 1);
    QCOMPARE(library.foundPorts().size(), 1);
    QVERIFY(log.contains(QStringLiteral("ScanPage::runConcurrentScan() on [ \"%1\" ]").arg(library.foundPorts().value(0))));
}

void TestScan::aSlowSearchMovesOnAtOnce()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.addPanel(slowToAnswer(1300)));
    QVERIFY(run.addPanel(slowToAnswer(1300)));
    run.listPorts();

    QVERIFY(run.walkToScan());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 15000));
    QVERIFY(!log.contains(kFeedback));
    QCOMPARE(library.foundPorts().size(), 2);
}

void TestScan::steppingBackFromSetupClosesTheLinksAndSearchesAnew()
{
    LogCapture log;
    WizardRun run;
    VirtualPanel *panel = run.addPanel();
    QVERIFY(panel);
    run.listPorts();

    QVERIFY(run.walkToScan());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 10000));
    QCOMPARE(library.foundPorts().size(), 1);
    QCOMPARE(panel->idRequests(), 1);

    clickBack(run);
    QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Scan));
    QVERIFY(log.contains(QStringLiteral("backButtonPressed(int) called.")));
    // The setup page closed the link before the scan page began anew.
    QVERIFY(library.foundPorts().isEmpty());

    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 10000));
    QCOMPARE(log.count(kScanStarted), 2);
    QCOMPARE(library.foundPorts().size(), 1);
    QCOMPARE(panel->idRequests(), 2);
    QCOMPARE(run.child<QComboBox>(BootloaderWizard::Page_Setup, "comboBox")->count(), 1);
}

void TestScan::steppingBackDuringASearchMovesNothing()
{
    LogCapture log;
    WizardRun run;
    VirtualPanel *first = run.addPanel(slowToAnswer(300));
    VirtualPanel *second = run.addPanel(slowToAnswer(300));
    QVERIFY(first && second);
    run.listPorts();

    // The technician steps back once one panel has been found and the
    // other is still being asked.
    OnLine back(QStringLiteral("Inserted ["), [&] { clickBack(run); });
    QVERIFY(run.walkToScan());
    QTRY_VERIFY_WITH_TIMEOUT(back.fired(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(run.currentId(), int(BootloaderWizard::Page_Preparations4), 5000);

    // The other scanner reports, and a feedback wait would have ended: the
    // wizard stays where the technician took it.
    QTRY_COMPARE_WITH_TIMEOUT(first->idRequests() + second->idRequests(), 2, 10000);
    QVERIFY(staysOn(run, BootloaderWizard::Page_Preparations4, 2500));
    QVERIFY(run.button(QWizard::NextButton)->isEnabled());

    // Coming forward again searches again and finds both.
    run.button(QWizard::NextButton)->click();
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 15000));
    QCOMPARE(log.count(kScanStarted), 2);
    QCOMPARE(library.foundPorts().size(), 2);
    QCOMPARE(first->idRequests(), 2);
    QCOMPARE(second->idRequests(), 2);
}

void TestScan::comingBackWhileOldScannersRunSearchesAgain()
{
    LogCapture log;
    WizardRun run;
    VirtualPanel *first = run.addPanel(slowToAnswer(300));
    VirtualPanel *second = run.addPanel(slowToAnswer(300));
    QVERIFY(first && second);
    run.listPorts();

    // Back and at once forward again, while a scanner of the first search
    // has still to report.
    OnLine backAndForth(QStringLiteral("Inserted ["), [&] {
        clickBack(run);
        run.button(QWizard::NextButton)->click();
    });
    int searchesWhenMovedOn = -1;
    connect(&run.wizard(), &QWizard::currentIdChanged, this, [&](int id) {
        if (id == BootloaderWizard::Page_Setup && searchesWhenMovedOn < 0)
            searchesWhenMovedOn = log.count(kScanStarted);
    });

    QVERIFY(run.walkToScan());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 20000));
    QVERIFY(backAndForth.fired());
    // Only the second search moved the wizard on, and it asked both panels
    // again.
    QCOMPARE(searchesWhenMovedOn, 2);
    QCOMPARE(library.foundPorts().size(), 2);
    QCOMPARE(first->idRequests(), 2);
    QCOMPARE(second->idRequests(), 2);
}

void TestScan::steppingBackDuringTheFeedbackWaitMovesNothing()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.addPanel());
    run.listPorts();

    QVERIFY(run.walkToScan());
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(kFeedback), 5000);
    clickBack(run);
    QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Preparations4));
    QVERIFY(staysOn(run, BootloaderWizard::Page_Preparations4, 2500));

    run.button(QWizard::NextButton)->click();
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 10000));
    QCOMPARE(log.count(kScanStarted), 2);
}

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
