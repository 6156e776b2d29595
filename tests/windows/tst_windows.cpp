// The Windows program under wine, as a technician's Windows sees it: virtual
// panels on pseudo-terminals listed as COM ports by the prefix's registry,
// beside a port that never answers (an idle UART, which wine leaves hanging
// in QSerialPort's open). The wizard, in a real window, and the bench tool
// update panels there; the run log and the file dialog use the Windows
// folders.
#include "sim/pseudoterminal.h"
#include "sim/virtualpanel.h"
#include "support/fixtures.h"
#include "support/flashcheck.h"
#include "support/intelhex.h"
#include "support/wine.h"

#include <QtTest>

#include <memory>
#include <thread>

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void theWizardUpdatesThePanelOnItsComPort();
    void aWriteFaultEndsOnMessage5();
    void atOneAndAHalfTimesTheWindowIsOneAndAHalfTimesItsSize();
    void aPortAnotherProgramHoldsIsNamed();
    void theWindowStaysLiveThroughTheWholeUpdate();
    void theBenchToolUpdatesTwoPanelsAtOnce();

private:
    Wine::Result program(const QString &name, const QStringList &arguments);
    // Back in the bootloader with no fault, once a started panel took its wake-up packet.
    void rearm(VirtualPanel &panel);

    std::unique_ptr<Wine> m_wine;
    std::unique_ptr<VirtualPanel> m_panel12, m_panel13, m_paced;
    PseudoTerminal m_idle, m_silent;
    const QByteArray m_sample = sampleText();
    const QString m_samplePath = samplePath();
    QTemporaryDir m_dir;
};

void TestWindows::initTestCase()
{
    if (QStringLiteral(WIZARD_WINDOWS_PROGRAM_DIR).isEmpty())
        QSKIP("no Windows program: " WIZARD_WINDOWS_SKIPPED);
    if (!Wine::missing().isEmpty())
        QSKIP(qPrintable(Wine::missing()));
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("no display: the wizard needs a window (ctest runs this test under xvfb-run)");
    m_wine = std::make_unique<Wine>(QStringLiteral(WIZARD_WINE_PREFIX));
    QVERIFY(m_wine->prepare());
    PanelOptions fast;
    fast.paced = false;
    m_panel12 = std::make_unique<VirtualPanel>(fast);
    m_panel13 = std::make_unique<VirtualPanel>(fast);
    m_paced = std::make_unique<VirtualPanel>(PanelOptions());
    QVERIFY(m_panel12->start() && m_panel13->start() && m_paced->start() && m_idle.open() && m_silent.open());
    // Plugin paths that other Qt software left system-wide, with its own
    // platform plugin, which cannot make ours: the programs must not take them.
    const QString otherQt = Wine::windowsPath(QStringLiteral(WIZARD_WINDOWS_PROGRAM_DIR "/bin/otherqt"));
    QVERIFY(QFile::exists(WIZARD_WINDOWS_PROGRAM_DIR "/bin/otherqt/platforms/qwindows.dll"));
    QVERIFY(m_wine->mapPorts({{"COM9", m_idle.slavePath()},
                              {"COM12", m_panel12->devicePath()},
                              {"COM13", m_panel13->devicePath()},
                              {"COM14", m_silent.slavePath()},
                              {"COM15", m_paced->devicePath()}},
                             {{"QT_PLUGIN_PATH", otherQt}, {"QT_QPA_PLATFORM_PLUGIN_PATH", otherQt + "\\platforms"}}));
    m_wine->setEnvironment("LD_PRELOAD", QStringLiteral(WIZARD_UART_SHIM));
    m_wine->setEnvironment("UARTSHIM_PATHS", m_idle.slavePath());
}

Wine::Result TestWindows::program(const QString &name, const QStringList &arguments)
{
    const Wine::Result result = m_wine->run(QStringLiteral(WIZARD_WINDOWS_PROGRAM_DIR "/testbundle/") + name,
                                            arguments, 90000);
    qDebug().noquote() << name << arguments.join(' ') << "->" << result.status << "in" << result.ms << "ms\n"
                       << result.out << result.err.right(3000);
    return result;
}

void TestWindows::rearm(VirtualPanel &panel)
{
    QTRY_VERIFY(!panel.inBootloader());
    panel.setFaults(PanelFaults());
    panel.resetBootloader();
}

// The search gives the idle port up and goes on to the panel on COM12; the
// file dialog would open in the user's profile; the pictures are the README's.
void TestWindows::theWizardUpdatesThePanelOnItsComPort()
{
    const QString shots = m_dir.filePath("shots");
    const Wine::Result run = program("wizard-demo.exe", {"--autopilot", "--pace", "150", "--port", "COM9", "--port",
                                                         "COM12", "--firmware", Wine::windowsPath(m_samplePath),
                                                         "--shots", Wine::windowsPath(shots)});
    QCOMPARE(run.status, 0);
    QVERIFY(run.err.contains("Port \"COM9\" (\\\\.\\COM9) could not be opened: not responding."));
    QVERIFY(run.err.contains("Inserted [ \"COM12\" ] to list."));
    const QString profile = "C:\\users\\" + QFileInfo(m_wine->userFolder()).fileName();
    QVERIFY(run.out.contains("wizard-demo: the file dialog opens in " + profile + "\n"));
    QCOMPARE(flashMismatch(*m_panel12, m_sample), QString());
    QVERIFY(QImage(shots + "/setup.png").size() == QSize(640, 430));
    QVERIFY(QImage(shots + "/success.png").size() == QSize(640, 430));
    if (qEnvironmentVariableIsSet("WINDOWS_SHOTS"))  // where the README's pictures are made
        for (const char *page : {"setup", "success"})
            QFile::copy(shots + "/" + page + ".png", qEnvironmentVariable("WINDOWS_SHOTS") + "/windows-" + page + ".png");
    rearm(*m_panel12);
}

// A display at 144 DPI (Windows' 150 %, the default of a 14" full-HD
// laptop): the wizard scales as a whole, at 1.5, not 2.
void TestWindows::atOneAndAHalfTimesTheWindowIsOneAndAHalfTimesItsSize()
{
    const QByteArray desktop = "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n\"LogPixels\"=dword:";
    QVERIFY(m_wine->importRegistry(desktop + "00000090\r\n"));
    const QString shots = m_dir.filePath("shots150");
    const Wine::Result run = program("wizard-demo.exe", {"--autopilot", "--pace", "150", "--port", "COM12", "--firmware",
                                                         Wine::windowsPath(m_samplePath), "--shots", Wine::windowsPath(shots)});
    QVERIFY(m_wine->importRegistry(desktop + "00000060\r\n"));
    QCOMPARE(run.status, 0);
    QCOMPARE(QImage(shots + "/setup.png").size(), QSize(960, 645));
    if (qEnvironmentVariableIsSet("WINDOWS_SHOTS"))  // where the README's pictures are made
        QFile::copy(shots + "/setup.png", qEnvironmentVariable("WINDOWS_SHOTS") + "/windows-setup-150.png");
    rearm(*m_panel12);
}

// Windows gives "access denied" for a port another program holds: the
// error page names the port and what to do, and the log gives Windows' fix.
void TestWindows::aPortAnotherProgramHoldsIsNamed()
{
    const Wine::Result run = program("wizard-demo.exe", {"--autopilot", "--pace", "50", "--port", "COM12",
                                                         "--deny-port", "COM12"});
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.contains("wizard-demo: the error page shows error 1: "));
    QVERIFY(run.out.contains("and under it: A porta COM12 está em uso por outro programa. Feche-o e clique em Anterior"));
    QVERIFY(run.err.contains("Windows lets one program at a time open a COM port"));
    QVERIFY(!run.err.contains("ModemManager"));
}

void TestWindows::aWriteFaultEndsOnMessage5()
{
    PanelFaults fault;
    fault.writeNoReplyAtRow = m_panel12->rowWrites() + 40;
    m_panel12->setFaults(fault);
    const Wine::Result run = program("wizard-demo.exe", {"--autopilot", "--pace", "50", "--port", "COM12",
                                                         "--firmware", Wine::windowsPath(m_samplePath)});
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.contains("wizard-demo: the error page shows error 5: Erro ao tentar escrever no dispositivo.\n"));
    QVERIFY(m_panel12->inBootloader());
    m_panel12->setFaults(PanelFaults());
}

// Windows calls a window hung once its thread has left its messages for
// 5 s; wine never does. A beat every 100 ms on the window's thread, through
// a search past a hung and a silent port and a paced update, must never
// wait much longer than one period; Cancel, Escape and the close box during
// the write change nothing.
void TestWindows::theWindowStaysLiveThroughTheWholeUpdate()
{
    const Wine::Result run = program("wizard-demo.exe", {"--autopilot", "--pace", "100", "--heartbeat", "--provoke",
                                                         "--port", "COM9", "--port", "COM14", "--port", "COM15",
                                                         "--firmware", Wine::windowsPath(m_samplePath)});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.contains("wizard-demo: clicked Cancel, pressed Escape and closed the window during the write"));
    const QRegularExpressionMatch gap = QRegularExpression("longest gap between heartbeats (\\d+) ms").match(run.out);
    QVERIFY(gap.hasMatch());
    QVERIFY2(gap.captured(1).toInt() <= 250, qPrintable(gap.captured(0)));
    QVERIFY(run.err.contains("refused"));
    QCOMPARE(flashMismatch(*m_paced, m_sample), QString());
}

// Two panels at once, one named by its slot; a damaged file sends nothing;
// the ports are named as the Device Manager names them; the run log lands in
// %LOCALAPPDATA%; while panels are written the system is kept awake and a
// shutdown waits, and a click in the console holds nothing.
void TestWindows::theBenchToolUpdatesTwoPanelsAtOnce()
{
    const Wine::Result list = program("bootloader-cli.exe", {"list", "--port", "COM9", "--port", "COM12"});
    QVERIFY(list.out.contains(QRegularExpression("COM9 +\\\\\\\\.\\\\COM9 +not responding\n")));
    QVERIFY(list.out.contains(QRegularExpression("COM12 +\\\\\\\\.\\\\COM12 +KR 210 Nova\n")));

    QByteArray damaged = m_sample;
    damaged.replace(damaged.indexOf("\n:10") + 5, 1, "G");
    const QString damagedPath = m_dir.filePath("damaged.hex");
    QVERIFY(intelhex::writeFile(damagedPath, damaged));
    m_panel12->clearPackets();
    QCOMPARE(program("bootloader-cli.exe", {"update", Wine::windowsPath(damagedPath), "--port", "COM12"}).status, 2);
    QVERIFY(m_panel12->packets().isEmpty());

    // COM13's bridge named by where it is plugged in; in a console with
    // Quick Edit on, as Windows 10 opens one.
    const QString slot = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)";
    QVERIFY(m_wine->plugIn("COM13", slot));
    PseudoTerminal console;
    QVERIFY(console.open());
    m_wine->setStandardInput(console.slavePath());
    const QString record = m_dir.filePath("records.jsonl");
    const Wine::Result update = program("bootloader-cli.exe", {"update", Wine::windowsPath(m_samplePath), "--port",
                                                               "COM12", "--port", slot, "--record", Wine::windowsPath(record)});
    m_wine->setStandardInput(QString());
    QCOMPARE(update.status, 0);
    const QByteArray lines = contents(record);  // one whole line a panel, appended as Windows appends
    QVERIFY(lines.count("\"result\":\"ok\"") == 2 && lines.contains("\"port\":\"COM13\""));
    QVERIFY(lines.contains("\"slot\":\"" + slot.toLatin1() + "\""));
    QCOMPARE(flashMismatch(*m_panel12, m_sample), QString());
    QCOMPARE(flashMismatch(*m_panel13, m_sample), QString());
    rearm(*m_panel12);
    rearm(*m_panel13);

    QDir logs(m_wine->userFolder() + "/AppData/Local/BootloaderWizard/logs");
    const QByteArray text = contents(logs.filePath(logs.entryList({"run-*.log"}, QDir::Files, QDir::Time).value(0)));
    QVERIFY2(text.contains("bootloader-cli update Z:") && text.contains("bootloader-cli exits with status 0"),
             text.constData());
    // Awake while both panels were written; Quick Edit (0x40) off through
    // the run, as the console read it back, and then as it was.
    const int awake = text.indexOf("The system is kept awake while 2 panels are written.");
    QVERIFY(awake > 0 && text.indexOf("The system may sleep again.", awake) > awake);
    const QRegularExpressionMatch mode = QRegularExpression("input mode 0x(\\w+), now 0x(\\w+)\\.").match(text);
    QVERIFY2(mode.hasMatch() && text.contains("The console's input mode is back to 0x" + mode.captured(1).toLatin1()),
             text.constData());
    QVERIFY((mode.captured(1).toUInt(nullptr, 16) & 0x40) && !(mode.captured(2).toUInt(nullptr, 16) & 0x40));

    // Windows ending the session during a write is told to wait, and the
    // panel is written to the end.
    rearm(*m_paced);
    const int rows = m_paced->rowWrites();
    Wine::Result paced;
    std::thread writing([&] { paced = program("bootloader-cli.exe", {"update", Wine::windowsPath(m_samplePath),
                                                                      "--port", "COM15"}); });
    QTRY_VERIFY_WITH_TIMEOUT(m_paced->rowWrites() > rows + 5, 30000);
    const int endSession = m_wine->run("wineboot", {"--end-session"}).status;
    writing.join();
    QCOMPARE(endSession, 1);
    QCOMPARE(paced.status, 0);
    QCOMPARE(flashMismatch(*m_paced, m_sample), QString());
    QVERIFY(contents(logs.filePath(logs.entryList({"run-*.log"}, QDir::Files, QDir::Time).value(0)))
                .contains("Windows asked to end the session while 1 panel is written: refused."));
}

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"
