// Does updating eight panels at once cost more than updating one? Runs
// bootloader-cli's update on one virtual panel, then on eight, each paced at
// 115200 baud with modelled flash times, and prints both wall times and their
// ratio (the goal: at most 1.1).
#include "cli/cli.h"
#include "sim/virtualpanel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Wall seconds of one update of `count` fresh panels; negative on a failure.
double updateSeconds(const QString &file, int count)
{
    std::vector<std::unique_ptr<VirtualPanel>> panels;
    QStringList arguments{QStringLiteral("update"), file};
    for (int i = 0; i < count; ++i) {
        panels.push_back(std::make_unique<VirtualPanel>());
        if (!panels.back()->start())
            return -1;
        arguments << QStringLiteral("--port") << panels.back()->devicePath();
    }
    std::FILE *sink = std::fopen("/dev/null", "w");
    QElapsedTimer clock;
    clock.start();
    const int status = Cli::run(arguments, sink, sink);
    const double seconds = clock.elapsed() / 1000.0;
    std::fclose(sink);
    return status == 0 ? seconds : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex");
    const double one = updateSeconds(file, 1);
    const double eight = updateSeconds(file, 8);
    if (one <= 0 || eight <= 0) {
        std::printf("an update failed\n");
        return 1;
    }
    std::printf("one panel: %.2f s, eight panels at once: %.2f s, ratio %.3f (goal <= 1.1)\n", one, eight, eight / one);
    return eight / one <= 1.1 ? 0 : 1;
}
