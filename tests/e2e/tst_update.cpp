#include <QtTest>

#include <QAbstractButton>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProgressBar>

#include "device/errorcodes.h"
#include "device/devicepath.h"
#include "library/library.h"
#include "pages/installpage.h"
#include "support/bootframe.h"
#include "support/fixtures.h"
#include "support/intelhex.h"
#include "support/logcapture.h"
#include "support/process.h"
#include "tools/wizard-demo/heartbeat.h"
#include "wizardrun.h"

// The whole update against virtual panels: what each panel fault, at each
// step, leaves on screen, in the panel and in its bootloader.
class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void faults_data();
    void faults();
    void theWindowStaysLiveAndRefusesEveryOrderDuringTheWrite();

private:
    QTemporaryDir m_dir;
    QString m_small;
    QByteArray m_smallText;
};

enum class Flash { Untouched, File, Partial };

// The largest of the real firmware files beside the project; empty without them.
QString largestSample()
{
    const QFileInfoList files = QDir(QStringLiteral(WIZARD_SAMPLES_DIR)).entryInfoList({"*.hex"}, QDir::Files, QDir::Size);
    return files.isEmpty() ? QString() : files.first().absoluteFilePath();
}
Q_DECLARE_METATYPE(PanelFaults)
Q_DECLARE_METATYPE(Flash)

void TestUpdate::initTestCase()
{
    // Eight blocks: the reset jump, four in a row, two at device 0x1000 and
    // the last one below the protected page, plus the configuration words.
    // At device 0x1020 only the upper byte differs from erased flash.
    QByteArray at1000 = BootFrame::pattern(128, 7);
    at1000.replace(0x40, 4, intelhex::bytes({0xFF, 0xFF, 0x12, 0x00}));
    const intelhex::Records records = intelhex::split(0, intelhex::bytes({0x00, 0x04, 0x04, 0, 0, 0, 0, 0}))
            + intelhex::split(0x0400, BootFrame::pattern(256, 3)) + intelhex::split(0x2000, at1000)
            + intelhex::split(0x2A700, BootFrame::pattern(64, 9))
            + intelhex::split(0x2AFF4, intelhex::bytes({0xCF, 0x3F, 0, 0, 0x7F, 0xFF, 0, 0, 0xBF, 0x7F, 0, 0}));
    m_smallText = intelhex::file(records);
    m_small = m_dir.filePath(QStringLiteral("small.hex"));
    QVERIFY(intelhex::writeFile(m_small, m_smallText));
    library.setRecordFile(m_dir.filePath(QStringLiteral("records.jsonl")));
}

void TestUpdate::faults_data()
{
    QTest::addColumn<PanelFaults>("faults");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("code");      // NoError: the success page
    QTest::addColumn<Flash>("flash");
    QTest::addColumn<bool>("bootloader");
    QTest::addColumn<bool>("again");    // a second update after clearing the fault succeeds
    const PanelFaults none;

    using F = PanelFaults &;
    const auto u = Flash::Untouched, file = Flash::File, partial = Flash::Partial;
    const int failed = WriteFailed, ok = NoError;
    // The install page tells every failure after the commit as a failed
    // write; the library keeps what failed.
    QTest::newRow("erase: no reply") << with([](F f) { f.eraseNoReply = true; }) << 1 << failed << u << true << true;
    QTest::newRow("erase: silent after the search") << with([](F f) { f.silentAfterId = true; }) << 1 << failed << u
                                                    << true << true;
    QTest::newRow("erase: late and doubled reply")
        << with([](F f) { f.oddReplyCommand = 3; f.lateReplyMs = 250; f.doubledReply = true; })
        << 2 << ok << file << false << false;
    QTest::newRow("write: no reply at row 5")
        << with([](F f) { f.writeNoReplyAtRow = 5; }) << 1 << failed << partial << true << true;
    QTest::newRow("write: line dropped at row 3")
        << with([](F f) { f.dropLineAtRow = 3; }) << 1 << failed << partial << true << false;
    QTest::newRow("write: wrong reply byte, retried")
        << with([](F f) { f.writeWrongReplyAtRow = 2; }) << 1 << ok << file << false << false;
    QTest::newRow("write: doubled reply")
        << with([](F f) { f.oddReplyCommand = 2; f.doubledReply = true; }) << 1 << ok << file << false << false;
    QTest::newRow("verify: a word reads back wrong")
        << with([](F f) { f.corruptReadAddress = 0x1010; }) << 1 << failed << file << true << true;
    QTest::newRow("verify: a word whose upper byte does not take")
        << with([](F f) { f.stuckAddress = 0x1020; }) << 1 << failed << partial << true << true;
    QTest::newRow("verify: the reset jump does not take")
        << with([](F f) { f.stuckAddress = 0x100; }) << 1 << failed << partial << true << true;
    QTest::newRow("verify: late read-back, retried")
        << with([](F f) { f.oddReplyCommand = 1; f.oddReplyOccurrence = 3; f.lateReplyMs = 250; })
        << 1 << ok << file << false << false;
    // The wizard checks what it writes: a missed cell the file leaves blank passes.
    QTest::newRow("erase: misses a cell the file leaves blank")
        << with([](F f) { f.eraseMissAddress = 0x9000; }) << 1 << ok << partial << false << false;
    QTest::newRow("search: a stray byte before every reply, the probe's too")
        << with([](F f) { f.noiseBeforeEveryReply = true; }) << 1 << ok << file << false << false;
    QTest::newRow("wake-up: healthy panel") << none << 1 << ok << file << false << false;
}

void TestUpdate::faults()
{
    QFETCH(PanelFaults, faults);
    QFETCH(int, model);
    QFETCH(int, code);
    QFETCH(Flash, flash);
    QFETCH(bool, bootloader);
    QFETCH(bool, again);
    LogCapture log;
    WizardRun run;
    PanelOptions options = WizardRun::quickPanel(model);
    VirtualPanel *panel = run.addPanel(options);
    QVERIFY(panel);
    // Not blank: what the file leaves out must come out erased.
    panel->fillFlash(0x00);
    const QByteArray before = panel->fileBytes();
    panel->setFaults(faults);
    run.listPorts();
    QVERIFY(run.walkToScan());

    QList<int> progress;
    auto *install = qobject_cast<InstallPage *>(run.wizard().page(BootloaderWizard::Page_Install));
    connect(install, &InstallPage::updated, this, [&](int value) { progress.append(value); });
    const int outcome = code == NoError ? BootloaderWizard::Page_Success : BootloaderWizard::Page_Error;
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 5000));
    QCOMPARE(run.wizard().property("port").toInt(), 0);
    QVERIFY(run.commit(m_small));
    QVERIFY(run.waitForPage(outcome, 10000));
    // Each update leaves its record line: the result, the phase that failed,
    // and the file it wrote.
    const QJsonObject last =
        QJsonDocument::fromJson(contents(m_dir.filePath("records.jsonl")).trimmed().split('\n').last()).object();
    QCOMPARE(last.value("result").toString(), code == NoError ? "ok" : "failed");
    QCOMPARE(last.value("verified").toString(), code == NoError ? "written" : "");
    QCOMPARE(last.value("fileSha256").toString(),
             QString(QCryptographicHash::hash(m_smallText, QCryptographicHash::Sha256).toHex()));

    if (code == NoError) {
        QCOMPARE(run.child<QProgressBar>(BootloaderWizard::Page_Install, "progressBar")->value(), 100);
        QCOMPARE(progress.value(progress.size() - 1), -1);
        QVERIFY(!progress.contains(-2) && !progress.contains(-3));
        QVERIFY(log.contains(QStringLiteral("writeFinished() called with true")));
    } else {
        QCOMPARE(run.shownError(), errorMessages[code]);
        QCOMPARE(run.wizard().property("error").toInt(), code);
        // Past the commit, Cancel is the only way out.
        QVERIFY(!run.enabled(QWizard::BackButton));
        QTRY_VERIFY(!run.enabled(QWizard::NextButton));
        QVERIFY(!log.contains(QStringLiteral("library.write() returned true")));
        // A panel gone silent costs one erase's wait, not six.
        QVERIFY(!faults.silentAfterId || log.countPrefix(QStringLiteral("Erasing from")) == 1);
        // The row's phase is the step that failed, as each layer must tell.
        const QString phase = QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(':'), 0, 0);
        QCOMPARE(last.value("phase").toString(), phase);
        QCOMPARE(progress.contains(-2), phase == QLatin1String("write"));
        QCOMPARE(progress.contains(-3), phase == QLatin1String("verify"));
        QCOMPARE(log.contains(QStringLiteral("library.write() returned false")), phase != QLatin1String("erase"));
    }
    const QString mismatch = flashMismatch(*panel, m_smallText);
    switch (flash) {
    case Flash::Untouched: QVERIFY(panel->fileBytes() == before); break;
    case Flash::File: QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch)); break;
    case Flash::Partial: QVERIFY(!mismatch.isEmpty() && panel->fileBytes() != before); break;
    }
    QCOMPARE(panel->inBootloader(), bootloader);
    // The writer's and the update's threads end with their work: threads
    // left by each run would pile up.
    QTRY_COMPARE(threadCount("writer") + threadCount("update"), 0);
    if (!again)
        return;

    // A panel left in its bootloader is found again without the jumper, and
    // the next update in the same window starts clean.
    panel->setFaults(PanelFaults());
    run.wizard().restart();
    QVERIFY(run.walkToScan());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 5000));
    QVERIFY(run.commit(m_small));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 10000));
    QCOMPARE(flashMismatch(*panel, m_smallText), QString());
    QVERIFY(!panel->inBootloader());
}

// Windows calls a window hung once its thread has left its messages for
// 5 s. A beat every 100 ms on the window's thread, through a search past a
// silent and a hung port, the load of the largest real sample and a paced
// update of the second of two panels, never waits much longer than one
// period. Cancel, Escape and the close box during the write are refused,
// and said so; the update ends as it would have; the other panel is left
// alone.
void TestUpdate::theWindowStaysLiveAndRefusesEveryOrderDuringTheWrite()
{
    LogCapture log;
    WizardRun run;
    Heartbeat heartbeat;
    connect(&run.wizard(), &QWizard::currentIdChanged, this, [&](int id) { heartbeat.setStretch(QString::number(id)); });
    heartbeat.start();
    PanelOptions paced;  // at the line's speed, with a flash's erase and write times
    paced.modelByte = 2;
    paced.pageEraseMs = 5;
    Timings::current().eraseMsPerPage = 10;
    QVERIFY(run.addSilentPort() && run.addHungPort());
    QVERIFY(run.reachSetup({WizardRun::quickPanel(1), paced}));
    const QList<QString> found = library.foundPorts();
    const int chosen = found.indexOf(DevicePath::nameFromLocation(run.panel(1)->devicePath()));
    auto *list = run.child<QComboBox>(BootloaderWizard::Page_Setup, "comboBox");
    QVERIFY(list->count() == 2 && chosen >= 0);
    QVERIFY(list->itemText(chosen).startsWith(QStringLiteral("QD 200 Nova na porta ")));
    list->setCurrentIndex(chosen);
    const QByteArray untouched = run.panel(0)->fileBytes();
    const QString largest = largestSample();
    if (!largest.isEmpty()) {
        run.typeFile(largest);
        QTRY_VERIFY(!QGuiApplication::overrideCursor());
    }

    bool provoked = false;
    auto *install = qobject_cast<InstallPage *>(run.wizard().page(BootloaderWizard::Page_Install));
    connect(install, &InstallPage::updated, this, [&](int value) {
        if (provoked || value <= 0)
            return;
        provoked = true;
        QTest::mouseClick(run.button(QWizard::CancelButton), Qt::LeftButton);
        QTest::keyClick(&run.wizard(), Qt::Key_Escape);
        run.wizard().close();
    });
    QVERIFY(run.commit(m_small));
    QVERIFY(!run.enabled(QWizard::CommitButton));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 30000));
    heartbeat.stop();
    qDebug().noquote() << heartbeat.summary();
    QVERIFY2(heartbeat.longestGapMs() <= 250, qPrintable(heartbeat.summary()));
    QVERIFY(provoked && run.wizard().isVisible());
    for (const char *refused : {"Cancel was refused", "Escape was refused", "The window's close was refused"})
        QVERIFY2(log.containsPrefix(QString::fromLatin1(refused)), refused);
    QCOMPARE(flashMismatch(*run.panel(1), m_smallText), QString());
    QVERIFY(run.panel(0)->fileBytes() == untouched && run.panel(0)->pageErases() == 0);
    QVERIFY(log.contains(QStringLiteral("InstallPage::start() <- \"%1\"").arg(found.at(chosen))));
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
