// The cost of update --verify-all: bootloader-cli updates one virtual panel,
// paced at 115200 baud with modelled flash times, checking the blocks it
// writes, then the whole memory, for the sample and for a file that fills the
// whole writable memory (the largest a panel takes). Same panel, side by side.
#include "cli/cli.h"
#include "sim/virtualpanel.h"
#include "support/bootframe.h"
#include "support/intelhex.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double updateSeconds(VirtualPanel &panel, const QString &file, bool wholeMemory)
{
    QStringList arguments{"update", file, "--port", panel.devicePath(), "--after", "stay"};
    if (wholeMemory)
        arguments << "--verify-all";
    std::FILE *sink = std::fopen("/dev/null", "w");
    QElapsedTimer clock;
    clock.start();
    const int status = Cli::run(arguments, sink, sink);
    std::fclose(sink);
    return status == 0 ? clock.elapsed() / 1000.0 : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir dir;
    const QString full = dir.filePath("full.hex");
    // Every row below the protected page, the reset jump first.
    if (!intelhex::writeFile(full, intelhex::file(intelhex::split(0, BootFrame::pattern(0x15400 / 2, 3)))))
        return 1;
    const QStringList files{argc > 1 ? QString::fromLocal8Bit(argv[1])
                                     : QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex"),
                            full};
    VirtualPanel panel;
    if (!panel.start())
        return 1;
    for (const QString &file : files) {
        const double written = updateSeconds(panel, file, false);
        const double all = updateSeconds(panel, file, true);
        if (written < 0 || all < 0) {
            std::printf("an update of %s failed\n", qPrintable(file));
            return 1;
        }
        std::printf("%s: written blocks checked %.1f s, whole memory checked %.1f s (+%.1f s)\n",
                    qPrintable(file == full ? QStringLiteral("a file filling the memory") : file), written, all,
                    all - written);
    }
    return 0;
}
