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
#include "device/timings.h"

// The search for panels: when it ends, where it leads, and what stepping
// back does to it.
class TestScan : public QObject
{
    Q_OBJECT

private slots:
    void withoutTheBootloaderLibraryEndsOnMessage6AtOnce();
    void findingNoPanelEndsOnMessage1_data();
    void findingNoPanelEndsOnMessage1();
    void onlyAFastSearchWaitsForFeedback_data();
    void onlyAFastSearchWaitsForFeedback();
    void steppingBackFromSetupClosesTheLinksAndSearchesAnew();
    void steppingBackDuringASearchMovesNothing_data();
    void steppingBackDuringASearchMovesNothing();
};

Q_DECLARE_METATYPE(QList<PanelOptions>)

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
        : m_prefix(prefix), m_action(std::move(action))
    {
        s_active = this;
        m_previous = qInstallMessageHandler(&OnLine::handler);
    }
    ~OnLine() override { qInstallMessageHandler(m_previous); s_active = nullptr; }
    bool fired() const { return m_fired; }

protected:
    void customEvent(QEvent *) override { m_action(); }

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
    while (clock.elapsed() < ms && run.currentId() == id)
        QTest::qWait(20);
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
    QVERIFY(run.startSearch());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Error, 5000));
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(run.shownError(), errorMessages[FileAccessFailed]);
    QVERIFY(!log.contains(kScanStarted));
    QVERIFY(!log.contains(kFeedback));
    QCOMPARE(run.panel(0)->idRequests(), 0);
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
    QVERIFY(!silentPort || run.addSilentPort());
    QVERIFY(run.startSearch({}));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Error, 15000));

    QCOMPARE(run.shownError(), errorMessages[DeviceNotFound]);
    QCOMPARE(run.wizard().property("error").toInt(), int(DeviceNotFound));
    QCOMPARE(log.count(kScanStarted), 1);
    QCOMPARE(log.count(QStringLiteral("ScanPage::scanFinished() called.")), 1);
    QCOMPARE(log.countPrefix(QStringLiteral("ScanPage::runConcurrentScan() on [")), silentPort ? 1 : 0);
    QVERIFY(library.foundPorts().isEmpty());
}

void TestScan::onlyAFastSearchWaitsForFeedback_data()
{
    QTest::addColumn<QList<PanelOptions>>("panels");
    QTest::addColumn<bool>("fast");
    QTest::newRow("one quick panel") << QList<PanelOptions>{WizardRun::quickPanel()} << true;
    QTest::newRow("two slow panels") << QList<PanelOptions>{slowToAnswer(1300), slowToAnswer(1300)} << false;
}

void TestScan::onlyAFastSearchWaitsForFeedback()
{
    QFETCH(QList<PanelOptions>, panels);
    QFETCH(bool, fast);
    LogCapture log;
    WizardRun run;
    Timings::current().scanDisplayMs = Timings().scanDisplayMs;
    QVERIFY(run.startSearch(panels));
    QElapsedTimer clock;
    clock.start();
    // The search disables Next as soon as it begins.
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(kScanStarted), 2000);
    QVERIFY(!run.enabled(QWizard::NextButton));
    QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Scan));

    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 15000));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(!fast || (elapsed >= 1900 && elapsed < 5000), qPrintable(QString::number(elapsed)));
    QCOMPARE(log.count(kFeedback), fast ? 1 : 0);
    QCOMPARE(library.foundPorts().size(), panels.size());
    for (const QString &port : library.foundPorts())
        QVERIFY(log.contains(QStringLiteral("ScanPage::runConcurrentScan() on [ \"%1\" ]").arg(port)));
}

void TestScan::steppingBackFromSetupClosesTheLinksAndSearchesAnew()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.reachSetup());
    QCOMPARE(library.foundPorts().size(), 1);
    QCOMPARE(run.panel(0)->idRequests(), 1);

    run.click(QWizard::BackButton);
    QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Scan));
    QVERIFY(log.contains(QStringLiteral("backButtonPressed(int) called.")));
    // The setup page closed the link before the scan page began anew.
    QVERIFY(library.foundPorts().isEmpty());

    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 10000));
    QCOMPARE(log.count(kScanStarted), 2);
    QCOMPARE(library.foundPorts().size(), 1);
    QCOMPARE(run.panel(0)->idRequests(), 2);
    QCOMPARE(run.child<QComboBox>(BootloaderWizard::Page_Setup, "comboBox")->count(), 1);
}

void TestScan::steppingBackDuringASearchMovesNothing_data()
{
    QTest::addColumn<QList<PanelOptions>>("panels");
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("forthAtOnce");
    const QList<PanelOptions> two = {slowToAnswer(300), slowToAnswer(300)};
    // One panel found, the other still being asked.
    QTest::newRow("mid-search") << two << QStringLiteral("Inserted [") << false;
    QTest::newRow("mid-search, forward at once") << two << QStringLiteral("Inserted [") << true;
    QTest::newRow("during the feedback wait") << QList<PanelOptions>{WizardRun::quickPanel()} << kFeedback << false;
}

void TestScan::steppingBackDuringASearchMovesNothing()
{
    QFETCH(QList<PanelOptions>, panels);
    QFETCH(QString, when);
    QFETCH(bool, forthAtOnce);
    LogCapture log;
    WizardRun run;
    // The retry of a busy search waits as long as the search display.
    Timings::current().scanDisplayMs = Timings().scanDisplayMs;
    OnLine back(when, [&] {
        run.click(QWizard::BackButton);
        if (forthAtOnce)
            run.click(QWizard::NextButton);
    });
    auto asked = [&] {
        int requests = 0;
        for (int i = 0; i < panels.size(); ++i)
            requests += run.panel(i)->idRequests();
        return requests;
    };
    int searchesWhenMovedOn = -1;
    connect(&run.wizard(), &QWizard::currentIdChanged, this, [&](int id) {
        if (id == BootloaderWizard::Page_Setup && searchesWhenMovedOn < 0)
            searchesWhenMovedOn = log.count(kScanStarted);
    });

    QVERIFY(run.startSearch(panels));
    QTRY_VERIFY_WITH_TIMEOUT(back.fired(), 10000);
    if (!forthAtOnce) {
        QTRY_COMPARE_WITH_TIMEOUT(run.currentId(), int(BootloaderWizard::Page_Preparations4), 5000);
        // The old scanners report, and a feedback wait would have ended: the
        // wizard stays where the technician took it.
        QTRY_COMPARE_WITH_TIMEOUT(asked(), panels.size(), 10000);
        QVERIFY(staysOn(run, BootloaderWizard::Page_Preparations4, 2500));
        QVERIFY(run.enabled(QWizard::NextButton));
        run.click(QWizard::NextButton);
    }

    // Only the new search moves the wizard on, and it asks every panel again.
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 20000));
    QCOMPARE(searchesWhenMovedOn, 2);
    QCOMPARE(log.count(kScanStarted), 2);
    QCOMPARE(library.foundPorts().size(), panels.size());
    for (int i = 0; i < panels.size(); ++i)
        QCOMPARE(run.panel(i)->idRequests(), 2);
}

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
