#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "device/devicepath.h"
#include "device/errorcodes.h"
#include "device/picboot.h"
#include "device/timings.h"
#include "library/library.h"
#include "support/intelhex.h"
#include "support/logcapture.h"
#include "wizardrun.h"

// The search for panels and the choice of a file: where each leads, what
// stepping back does, and what the technician is told about a refused file.
class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void searchesThatFindNothing_data();
    void searchesThatFindNothing();
    void aFastSearchStaysOnScreenAndBackSearchesAnew();
    void aPortAnotherProgramHoldsIsNamedAndFoundOnceFreed();
    void steppingBackDuringASearchMovesNothing_data();
    void steppingBackDuringASearchMovesNothing();
    void filesAreJudgedAsTyped();
    void theFileDialog();
};

Q_DECLARE_METATYPE(QList<PanelOptions>)

namespace {

const QString kFeedback = QStringLiteral("Scanning was too fast. Wait for a little while as feedback.");
const QString kScanStarted = QStringLiteral("ScanPage::scan started.");

// A panel whose identification takes a while.
PanelOptions slowToAnswer(int pauseMs)
{
    PanelOptions options = WizardRun::quickPanel();
    options.faults.probeSplit = true;
    options.faults.probeSplitPauseMs = pauseMs;
    return options;
}

bool ticked(const WizardRun &run)
{
    return run.child<QCheckBox>(BootloaderWizard::Page_Setup, "HEXCheckBox")->isChecked();
}

// An Intel HEX text without its record at address 0.
QByteArray withoutResetRecord(QByteArray text)
{
    const int at = text.indexOf(":08000000");
    return text.remove(at, text.indexOf('\n', at) - at + 1);
}

bool parsing()
{
    return QGuiApplication::overrideCursor() != nullptr;
}

} // namespace

void TestSearch::searchesThatFindNothing_data()
{
    QTest::addColumn<bool>("library");
    QTest::addColumn<bool>("silentPort");
    QTest::addColumn<int>("code");
    QTest::newRow("no bootloader library: no search at all") << false << false << int(FileAccessFailed);
    QTest::newRow("a port on which nothing answers") << true << true << int(DeviceNotFound);
    QTest::newRow("no serial port at all") << true << false << int(DeviceNotFound);
}

void TestSearch::searchesThatFindNothing()
{
    QFETCH(bool, library);
    QFETCH(bool, silentPort);
    QFETCH(int, code);
    QTemporaryDir empty;
    struct Restore { ~Restore() { PicBoot::setLibraryFolder(QString()); } } restore;
    if (!library)
        PicBoot::setLibraryFolder(empty.path());
    LogCapture log;
    WizardRun run;
    QVERIFY(!silentPort || run.addSilentPort());
    QVERIFY(run.startSearch(library ? QList<PanelOptions>() : QList<PanelOptions>{WizardRun::quickPanel()}));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Error, 3000));
    QCOMPARE(run.shownError(), errorMessages[code]);
    QCOMPARE(log.count(QStringLiteral("ScanPage::scanFinished() called.")), 1);
    QCOMPARE(log.countPrefix(QStringLiteral("ScanPage::runConcurrentScan() on [")), silentPort ? 1 : 0);
    QCOMPARE(log.count(kScanStarted), library ? 1 : 0);
}

// A quick search stays on screen for the display time; stepping back from
// the setup page closes the links and searches anew.
void TestSearch::aFastSearchStaysOnScreenAndBackSearchesAnew()
{
    LogCapture log;
    WizardRun run;
    Timings::current().scanDisplayMs = 400;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(run.startSearch());
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(kScanStarted), 1000);
    QVERIFY(!run.enabled(QWizard::NextButton));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 3000));
    QVERIFY2(clock.elapsed() >= 390, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(log.count(kFeedback), 1);
    run.click(QWizard::BackButton);
    QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Scan));
    QVERIFY(log.contains(QStringLiteral("backButtonPressed(int) called.")));
    QVERIFY(library.foundPorts().isEmpty());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 3000));
    QCOMPARE(log.count(kScanStarted), 2);
    QCOMPARE(run.panel(0)->idRequests(), 2);
    QCOMPARE(run.child<QComboBox>(BootloaderWizard::Page_Setup, "comboBox")->count(), 1);
}

// The bench tool reading a panel stands for the other program: the search
// names the port it holds, not a driver to reinstall, and finds the panel
// once the port is free.
void TestSearch::aPortAnotherProgramHoldsIsNamedAndFoundOnceFreed()
{
    LogCapture log;
    WizardRun run;
    PanelOptions paced = WizardRun::quickPanel();
    paced.paced = true;  // its whole memory takes the bench tool some 17 s to read
    VirtualPanel *panel = run.addPanel(paced);
    QVERIFY(panel);
    QTemporaryDir home;
    QProcess bench;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
    bench.setProcessEnvironment(env);
    bench.start(QStringLiteral(WIZARD_CLI), {"read", "--port", panel->devicePath(), "/dev/null"});
    QTRY_VERIFY_WITH_TIMEOUT(panel->packets().size() > 2, 10000);
    run.listPorts();
    QVERIFY(run.walkToScan());
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Error, 5000));
    QCOMPARE(run.shownError(), errorMessages[DeviceNotFound]);
    const QString port = DevicePath::nameFromLocation(panel->devicePath());
    QCOMPARE(run.child<QLabel>(BootloaderWizard::Page_Error, "errorDetail")->text(),
             QStringLiteral("A porta %1 está em uso por outro programa. Feche-o e clique em Anterior para procurar "
                            "novamente.").arg(port));
    QVERIFY(log.containsPrefix(QStringLiteral("Port \"%1\" (%2) could not be opened: held by bootloader-cli (pid ")
                                   .arg(port, panel->devicePath())));
    bench.kill();
    QVERIFY(bench.waitForFinished(5000));
    run.click(QWizard::BackButton);
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 5000));
}

void TestSearch::steppingBackDuringASearchMovesNothing_data()
{
    QTest::addColumn<QList<PanelOptions>>("panels");
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("forthAtOnce");
    // One panel found at once, the other still being asked.
    const QList<PanelOptions> two = {WizardRun::quickPanel(), slowToAnswer(200)};
    QTest::newRow("mid-search") << two << QStringLiteral("Inserted [") << false;
    QTest::newRow("mid-search, forward at once") << two << QStringLiteral("Inserted [") << true;
    QTest::newRow("during the feedback wait") << QList<PanelOptions>{WizardRun::quickPanel()} << kFeedback << false;
}

void TestSearch::steppingBackDuringASearchMovesNothing()
{
    QFETCH(QList<PanelOptions>, panels);
    QFETCH(QString, when);
    QFETCH(bool, forthAtOnce);
    LogCapture log;
    WizardRun run;
    // Longer than the search, so that the old search ends in its feedback wait.
    Timings::current().scanDisplayMs = 300;
    QPair<int, int> whenMovedOn(-1, -1);  // searches started, panels found
    connect(&run.wizard(), &QWizard::currentIdChanged, this, [&](int id) {
        if (id == BootloaderWizard::Page_Setup && whenMovedOn.first < 0)
            whenMovedOn = {log.count(kScanStarted), library.foundPorts().size()};
    });
    QVERIFY(run.startSearch(panels));
    QTRY_VERIFY_WITH_TIMEOUT(log.containsPrefix(when), 2000);
    run.click(QWizard::BackButton);
    if (forthAtOnce) {
        run.click(QWizard::NextButton);
    } else {
        QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Preparations4));
        // The old scanners report and a feedback wait would end: the wizard
        // stays where the technician took it.
        QTest::qWait(400);
        QCOMPARE(run.currentId(), int(BootloaderWizard::Page_Preparations4));
        run.click(QWizard::NextButton);
    }
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Setup, 5000));
    QCOMPARE(whenMovedOn, qMakePair(2, panels.size()));
    for (int i = 0; i < panels.size(); ++i)
        QCOMPARE(run.panel(i)->idRequests(), 2);
}

// A refused file keeps Next disabled and says why in the cross's tool tip;
// only the last path typed counts; Enter then a real click on Próximo goes on
// at the first click. Nothing reaches the panel before the commit.
void TestSearch::filesAreJudgedAsTyped()
{
    QTemporaryDir dir;
    auto file = [&](const QString &name, const QByteArray &content) {
        const QString path = dir.filePath(name);
        return content.isNull() || intelhex::writeFile(path, content) ? path : QString();
    };
    using namespace intelhex;
    const QByteArray word = bytes({0x11, 0x22, 0x33, 0});
    QList<QPair<QString, QString>> refused = {
        {file("none.hex", QByteArray()), QStringLiteral("Arquivo não encontrado ou ilegível.")},
        {file("cut.hex", data(0x2000, word) + '\n'), QStringLiteral("Arquivo danificado na linha 1.")},
        // Erased values and the configuration words alone: nothing for the panel.
        {file("empty.hex", intelhex::lines({data(0x2000, QByteArray(16, '\xFF')), linear(2), data(0xAFF4, QByteArray(12, 1)),
                                 endOfFile()})), QStringLiteral("O arquivo não tem dados para gravar.")},
        {file("protected.hex", intelhex::lines({linear(2), data(0xA800, word), endOfFile()})),
         QStringLiteral("Dados na página protegida do bootloader (endereço 0x15400).")},
        // A line that starts on the last word and runs past it.
        {file("outside.hex", intelhex::lines({linear(2), data(0xAFF8, QByteArray(16, 1)), endOfFile()})),
         QStringLiteral("Dados fora da memória do controlador (endereço 0x15800).")},
        // The sample without its reset record: nothing for the panel to start.
        {file("noreset.hex", withoutResetRecord(sampleText())),
         QStringLiteral("O arquivo não tem o salto de reset no endereço 0: a central não teria o que executar.")},
    };
    // A real application built for a 64 KB PIC24, with that part's
    // configuration words as its last data.
    const QString smaller = QStringLiteral(WIZARD_SAMPLES_DIR "/pic24fj64ga004-app.hex");
    if (QFile::exists(smaller))
        refused.append({smaller, QStringLiteral("Arquivo feito para outro PIC24: palavras de configuração de uma peça de "
                                                "64 KB no endereço 0xabfc.")});
    LogCapture log;
    WizardRun run;
    QVERIFY(run.reachSetup());
    const QString good = samplePath();
    for (const auto &row : refused) {
        run.typeFile(good);
        QTRY_VERIFY(run.enabled(QWizard::NextButton));
        // An edit disables Next at once, before its parse has run.
        run.typeFile(row.first);
        QVERIFY(!run.enabled(QWizard::NextButton));
        QTRY_VERIFY(!parsing());
        QVERIFY2(!ticked(run) && !run.enabled(QWizard::NextButton), qPrintable(row.first));
        QCOMPARE(run.child<QCheckBox>(BootloaderWizard::Page_Setup, "HEXCheckBox")->toolTip(), row.second);
    }
    // Two paths in a row, the second before the first was parsed.
    log.clear();
    run.typeFile(refused.at(2).first);
    run.typeFile(good);
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    QTest::qWait(50);
    QVERIFY(run.enabled(QWizard::NextButton) && ticked(run));
    QCOMPARE(run.wizard().property("hex").toString(), good);
    QCOMPARE(run.panel(0)->pageErases() + run.panel(0)->rowWrites(), 0);

    // Leaving the field with the same text parses nothing again.
    auto *field = run.child<QLineEdit>(BootloaderWizard::Page_Setup, "hexLineEdit");
    run.wizard().activateWindow();
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClick(field, Qt::Key_Return);
    QTest::mouseClick(run.button(QWizard::NextButton), Qt::LeftButton);
    QTRY_COMPARE(run.currentId(), int(BootloaderWizard::Page_Install));
    QCOMPARE(log.countPrefix(QStringLiteral("Library::load(): hex =")), 1);
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 30000));
}

void TestSearch::theFileDialog()
{
    WizardRun run;
    QVERIFY(run.reachSetup());
    const QString firmware = samplePath();
    QFileDialog *seen = nullptr;
    // Answers the dialog once it is up; one that will not close is rejected,
    // so that a fault fails the test instead of hanging it.
    auto answer = [&](bool choose) {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&, poll, choose] {
            for (QWidget *widget : QApplication::topLevelWidgets())
                if (auto *dialog = qobject_cast<QFileDialog *>(widget); dialog && dialog->isVisible())
                    seen = dialog;
            if (!seen || !seen->isVisible())
                return;
            poll->deleteLater();
            poll->stop();
            QCOMPARE(seen->windowTitle(), QStringLiteral("Open Hex File"));
            QCOMPARE(seen->nameFilters(), QStringList({"Hex files (*.hex)", "All files (*.*)"}));
            if (choose) {
                seen->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(firmware);
                static_cast<QDialog *>(seen)->accept();
            }
            if (seen->isVisible())
                seen->reject();
        });
        poll->start(20);
    };
    auto *find = run.child<QPushButton>(BootloaderWizard::Page_Setup, "qt_wizard_find");
    auto *field = run.child<QLineEdit>(BootloaderWizard::Page_Setup, "hexLineEdit");
    answer(true);
    find->click();
    QVERIFY(seen);
    QCOMPARE(field->text(), QDir::toNativeSeparators(firmware));
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    QCOMPARE(run.wizard().property("hex").toString(), firmware);
    // Cancelled: the field is emptied and Next disabled.
    answer(false);
    find->click();
    QVERIFY(field->text().isEmpty() && !run.enabled(QWizard::NextButton));
    // Chosen again, Return means Próximo, not Procurar once more.
    answer(true);
    find->click();
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    find->setFocus();
    QTest::keyClick(find, Qt::Key_Return);
    QTRY_COMPARE(run.currentId(), int(BootloaderWizard::Page_Install));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 30000));
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
