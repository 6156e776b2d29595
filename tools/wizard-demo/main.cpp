// wizard-demo: the real wizard (the same window, pages and library as
// bootloader-wizard) against virtual panels on pseudo-terminals, which the
// wizard sees as the machine's only serial ports. The panels answer at
// 115200 baud and take a real flash's time to erase and write, so the
// search and the progress bar move as they do with a real panel.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <memory>

#include "app/bootloaderwizard.h"
#include "app/programstart.h"
#include "app/singleinstance.h"
#include "autopilot.h"
#include "demopanels.h"
#include "device/devicepath.h"
#include "device/portlister.h"
#include "device/portprobe.h"
#include "device/serialportentry.h"

namespace {

// Help needs no display: it is printed before any window system is reached.
bool wantsHelp(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    ProgramStart::ignoreOutsidePluginPaths();
    ProgramStart::scaleWithTheScreen();
    std::unique_ptr<QCoreApplication> application;
    if (wantsHelp(argc, argv))
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication &app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("wizard-demo"));

    const QString sample = QDir(QStringLiteral(WIZARD_EXAMPLES_DIR)).filePath(QStringLiteral("alarm-panel-demo.hex"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The firmware update wizard against virtual panels. Pick the firmware\n%1\n"
                       "on the setup page.\n\nFaults:\n%2")
            .arg(QDir::toNativeSeparators(sample), DemoPanels::faultHelp()));
    parser.addHelpOption();
    const QCommandLineOption fast(QStringLiteral("fast"), QStringLiteral("Panels answer at once (no line or flash times)."));
    const QCommandLineOption panels(QStringLiteral("panels"), QStringLiteral("Number of panels, 0 to 4 (default 1)."), QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption model(QStringLiteral("model"), QStringLiteral("Model byte of the first panel: 1 KR 210 Nova, 2 QD 200 Nova (default 1)."), QStringLiteral("byte"), QStringLiteral("1"));
    const QCommandLineOption fault(QStringLiteral("fault"), QStringLiteral("A fault the panels show (see above)."), QStringLiteral("name"), QStringLiteral("none"));
    const QCommandLineOption autopilot(QStringLiteral("autopilot"), QStringLiteral("Walk through the wizard by itself, then quit."));
    const QCommandLineOption firmware(QStringLiteral("firmware"), QStringLiteral("The file the autopilot picks (default the sample)."), QStringLiteral("file"), sample);
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QStringLiteral("With --autopilot: save the install page mid-write to this PNG."), QStringLiteral("file"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Use this outside serial port (a USB adaptor, another emulator's pseudo-terminal; COMn on Windows) instead of the virtual panels; may be given again."), QStringLiteral("port"));
    const QCommandLineOption shots(QStringLiteral("shots"), QStringLiteral("With --autopilot: save the setup page and the last page to setup.png and success.png (or error.png) in this folder."), QStringLiteral("folder"));
    const QCommandLineOption pace(QStringLiteral("pace"), QStringLiteral("With --autopilot: milliseconds each page stays on screen (default 600)."), QStringLiteral("ms"), QStringLiteral("600"));
    const QCommandLineOption silent(QStringLiteral("silent-ports"), QStringLiteral("Ports on which nothing answers, listed before the panels (default 0)."), QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption hung(QStringLiteral("hung-ports"), QStringLiteral("Ports whose driver never returns from opening them, listed before the panels (default 0)."), QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption deny(QStringLiteral("deny-port"), QStringLiteral("The system refuses to open this port, as it refuses one that another program holds; may be given again."), QStringLiteral("port"));
    const QCommandLineOption oneWizard(QStringLiteral("one-wizard"), QStringLiteral("As the program: end at once, searching nothing, when another wizard of this user runs."));
    const QCommandLineOption heartbeat(QStringLiteral("heartbeat"), QStringLiteral("With --autopilot: say how long the window's thread was kept from its events, page by page."));
    const QCommandLineOption provoke(QStringLiteral("provoke"), QStringLiteral("With --autopilot: click Cancel, press Escape and close the window during the write."));
    parser.addOptions({fast, panels, model, fault, autopilot, firmware, screenshot, shots, port, pace, silent, hung,
                       heartbeat, provoke, deny, oneWizard});
    parser.process(app);

    bool raised = false;
    if (parser.isSet(oneWizard) && !SingleInstance::claim(&raised)) {
        std::printf("wizard-demo: another wizard runs%s; nothing was searched\n", raised ? ", brought to the front" : "");
        return 3;
    }
    bool countOk = false;
    bool modelOk = false;
    const int count = parser.value(panels).toInt(&countOk);
    const int silentCount = qBound(0, parser.value(silent).toInt(), 64);
    const int hungCount = qBound(0, parser.value(hung).toInt(), 64);
    const int modelByte = parser.value(model).toInt(&modelOk, 0);
    PanelOptions options;
    options.paced = !parser.isSet(fast);
    options.modelByte = modelByte;
    if (!countOk || count < 0 || count > 4 || !modelOk || modelByte < 0 || modelByte > 255
        || !DemoPanels::applyFault(parser.value(fault), &options)) {
        std::fprintf(stderr, "wizard-demo: bad option; see --help\n");
        return 2;
    }

    if (parser.isSet(port)) {
        QList<SerialPortEntry> ports;
        for (const QString &name : parser.values(port)) {
            const QString location = DevicePath::locationFromArgument(name);
            ports.append({DevicePath::nameFromLocation(location), location});
        }
        PortLister::setOverride(ports);
        std::printf("wizard-demo: the serial ports are %s\n", qPrintable(parser.values(port).join(QStringLiteral(", "))));
    } else {
        QString why;
        if (!DemoPanels::start(count, options, silentCount, hungCount, &why)) {
            std::fprintf(stderr, "wizard-demo: %s\n", qPrintable(why));
            return 2;
        }
        std::printf("wizard-demo: virtual panel%s on %s (%s)\n", count > 1 ? "s" : "",
                    qPrintable(DemoPanels::devicePaths().join(QStringLiteral(", "))),
                    options.paced ? "115200 baud" : "no pacing");
    }
    QStringList refused;
    for (const QString &name : parser.values(deny))
        refused << DevicePath::locationFromArgument(name);
    PortProbe::setRefusedForTests(refused);
    std::printf("wizard-demo: on the setup page pick %s\n", qPrintable(QDir::toNativeSeparators(sample)));
    std::fflush(stdout);

    BootloaderWizard wizard;
    wizard.show();

    std::unique_ptr<Autopilot> pilot;
    if (parser.isSet(autopilot)) {
        const QString file = QFileInfo(parser.value(firmware)).absoluteFilePath();
        pilot = std::make_unique<Autopilot>(wizard, file, parser.value(screenshot), parser.value(shots),
                                            qBound(0, parser.value(pace).toInt(), 60000));
        if (parser.isSet(heartbeat))
            pilot->listenToHeartbeat();
        if (parser.isSet(provoke))
            pilot->provokeDuringWrite();
        pilot->start();
    }
    return app.exec();
}
