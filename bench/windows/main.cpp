// Is the Windows program as fast as the Linux one? The same update of one
// virtual panel, paced at 115200 baud with modelled flash times, through
// bootloader-cli on Linux and through bootloader-cli.exe under wine (the
// panel mapped to COM12, the wine server kept running as Windows has none to
// start), three times
// each; prints the medians and their ratio (the goal: at most 1.05). A
// Windows read that waited out its time-out instead of taking the bytes
// already there would show here.
#include "sim/virtualpanel.h"
#include "support/wine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Back in its bootloader once the started panel took its wake-up packet.
void rearm(VirtualPanel &panel)
{
    for (int i = 0; i < 300 && panel.inBootloader(); ++i)
        QThread::msleep(10);
    panel.resetBootloader();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex");
    const QString windowsCli = QStringLiteral(WIZARD_WINDOWS_PROGRAM_DIR "/bundle/BootloaderWizard/bootloader-cli.exe");
    if (!Wine::missing().isEmpty() || !QFile::exists(windowsCli)) {
        std::printf("needs wine and the Windows program (%s)\n", qPrintable(windowsCli));
        return 2;
    }
    VirtualPanel panel;
    Wine wine(QStringLiteral(WIZARD_BINARY_DIR "/wineprefix-bench"));
    if (!panel.start() || !wine.prepare() || !wine.mapPorts({{QStringLiteral("COM12"), panel.devicePath()}})
        || !wine.keepServer() || wine.run(windowsCli, {QStringLiteral("--version")}).status != 0)
        return 1;
    std::vector<double> linux, windows;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer clock;
        clock.start();
        QProcess native;
        native.setStandardOutputFile(QProcess::nullDevice());
        native.start(QStringLiteral(WIZARD_BINARY_DIR "/bin/bootloader-cli"),
                     {QStringLiteral("update"), file, QStringLiteral("--port"), panel.devicePath()});
        const int status = native.waitForFinished(120000) ? native.exitCode() : -1;
        linux.push_back(clock.elapsed() / 1000.0);
        rearm(panel);
        const Wine::Result run = wine.run(windowsCli, {QStringLiteral("update"), Wine::windowsPath(file),
                                                       QStringLiteral("--port"), QStringLiteral("COM12")});
        windows.push_back(run.ms / 1000.0);
        rearm(panel);
        if (status != 0 || run.status != 0) {
            std::printf("an update failed\n");
            return 1;
        }
        std::printf("run %d: Linux %.2f s, Windows under wine %.2f s\n", i + 1, linux.back(), windows.back());
    }
    const double ratio = median(windows) / median(linux);
    std::printf("medians: Linux %.2f s, Windows under wine %.2f s, ratio %.3f (goal <= 1.05)\n", median(linux),
                median(windows), ratio);
    return ratio <= 1.05 ? 0 : 1;
}
