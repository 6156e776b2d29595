#include "cli/cli.h"

#include "app/errorcodes.h"
#include "cli/panelrun.h"
#include "cli/progress.h"
#include "cli/terminal.h"
#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/picboot.h"
#include "device/portlister.h"
#include "library/library.h"

#include <QCommandLineParser>
#include <QDebug>
#include <QFileInfo>

#include <memory>
#include <vector>

namespace {

constexpr int kUsage = 2;

int usage(std::FILE *err, const QString &why)
{
    std::fprintf(err, "bootloader-cli: %s\nRun \"bootloader-cli --help\" for the commands.\n", qUtf8Printable(why));
    return kUsage;
}

// The image to write or compare with, checked as the wizard checks it;
// null, with the reason said, when the file does not load.
std::unique_ptr<QVector<QByteArray>> loadImage(const QString &path, std::FILE *err)
{
    int failedLine = 0;
    std::unique_ptr<QVector<QByteArray>> image(Connection::parseHexFile(path, &failedLine));
    qint64 at = 0;
    QString why;
    if (!image || failedLine < 0)
        why = QStringLiteral("not found or not readable");
    else if (failedLine > 0)
        why = QStringLiteral("damaged at line %1").arg(failedLine);
    else
        switch (Library::checkImage(*image, &at)) {
        case Library::Loaded: return image;
        case Library::OutsideChip: why = QStringLiteral("data past the program memory (address 0x%1)").arg(at, 0, 16); break;
        case Library::ProtectedPage: why = QStringLiteral("data in the bootloader's page (address 0x%1)").arg(at, 0, 16); break;
        default: why = QStringLiteral("no data to write"); break;
        }
    std::fprintf(err, "bootloader-cli: %s: %s; nothing was erased.\n", qUtf8Printable(path), qUtf8Printable(why));
    qDebug().noquote() << "Run ended: the file" << path << "does not load:" << why;
    return nullptr;
}

QList<SerialPortEntry> namedPorts(const QStringList &names)
{
    QList<SerialPortEntry> ports;
    for (const QString &name : names) {
        const QString location = name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
                                     ? name : DevicePath::locationFromName(name);
        ports.append({DevicePath::nameFromLocation(location), location});
    }
    return ports;
}

// Runs one job a port, all at once, and waits for them all.
std::vector<std::unique_ptr<PanelRun>> runAll(PanelRun::Job job, const QList<SerialPortEntry> &ports,
                                              const QVector<QByteArray> *image, const QString &output,
                                              Progress &progress)
{
    std::vector<std::unique_ptr<PanelRun>> runs;
    for (const SerialPortEntry &port : ports)
        runs.push_back(std::make_unique<PanelRun>(job, port.systemLocation, image, output, &progress));
    for (auto &run : runs)
        run->start();
    for (auto &run : runs)
        run->wait();
    return runs;
}

QString summaryObject(const PanelRun &run)
{
    const PanelRun::Result &r = run.result();
    QString object = QStringLiteral("{\"event\":\"result\",\"port\":%1,\"model\":%2,\"ok\":%3")
                         .arg(Progress::quoted(DevicePath::nameFromLocation(run.location())),
                              Progress::quoted(r.model), r.ok ? QStringLiteral("true") : QStringLiteral("false"));
    if (!r.ok)
        object += QStringLiteral(",\"code\":%1,\"message\":%2,\"failure\":%3")
                      .arg(r.code)
                      .arg(Progress::quoted(errorMessages[r.code]), Progress::quoted(r.failure));
    if (r.failedAt >= 0)
        object += QStringLiteral(",\"failedAt\":%1").arg(r.failedAt);
    return object + QLatin1Char('}');
}

QString summaryLine(const PanelRun &run, const QString &success)
{
    const PanelRun::Result &r = run.result();
    const QString port = DevicePath::nameFromLocation(run.location());
    if (r.ok)
        return QStringLiteral("%1: %2: %3").arg(port, r.model, success);
    QString line = QStringLiteral("%1: FAILED: error %2, %3 (%4)")
                       .arg(port).arg(r.code).arg(QString(errorMessages[r.code]).replace('\n', ' '), r.failure);
    return line;
}

} // namespace

QString Cli::help()
{
    return QStringLiteral(
        "Usage: bootloader-cli COMMAND [options]\n"
        "Updates the firmware of the Central de alarme on every panel named, all at once.\n"
        "\n"
        "Commands:\n"
        "  list [--json]                          every serial port and what answers on it\n"
        "  update FILE (--port PORT... | --all)   erase, write and verify each panel, then start it\n"
        "  verify FILE --port PORT...             read back and compare, writing nothing\n"
        "  read --port PORT OUT.hex               save the panel's program memory as Intel HEX\n"
        "\n"
        "Options:\n"
        "  --port PORT   a port by name (ttyUSB0, COM3) or path; may be given again\n"
        "  --all         every port on which a known panel answers\n"
        "  --json        one JSON object a line instead of text\n"
        "  --verbose     the debug lines on standard error too\n"
        "  --help        this text\n"
        "  --version     the program, system, Qt, bootloader library and serial ports\n"
        "\n"
        "A panel is started again (the wake-up packet) only when every block verified;\n"
        "one that failed stays in its bootloader, where the next run finds it.\n"
        "Exit status: 0 every panel done and verified; 1 any failed (a summary line\n"
        "a panel names what failed); 2 a usage error or a file that does not load.\n"
        "\n"
        "Example:\n"
        "  bootloader-cli update firmware.hex --port ttyUSB0 --port ttyUSB1\n");
}

int Cli::run(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("port"));
    const QCommandLineOption all(QStringLiteral("all")), json(QStringLiteral("json")),
        verbose(QStringLiteral("verbose")), helpOption(QStringLiteral("help"));
    parser.addOptions({portOption, all, json, verbose, helpOption});
    if (!parser.parse(QStringList{QStringLiteral("bootloader-cli")} + arguments))
        return usage(err, parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fprintf(out, "%s", qUtf8Printable(help()));
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    const QStringList names = parser.values(portOption);
    const int wanted = command == QLatin1String("list") ? 1 : 2;
    if (!QStringList{"list", "update", "verify", "read"}.contains(command))
        return usage(err, command.isEmpty() ? QStringLiteral("no command") : "unknown command " + command);
    if (args.size() != wanted)
        return usage(err, QStringLiteral("%1 takes %2").arg(command, wanted == 1 ? "no file" : "one file"));
    if (command == QLatin1String("update") && names.isEmpty() == !parser.isSet(all))
        return usage(err, QStringLiteral("update needs --port PORT (one or more) or --all"));
    if ((command == QLatin1String("verify") && names.isEmpty()) || (command == QLatin1String("read") && names.size() != 1))
        return usage(err, command + (command == QLatin1String("read") ? " needs one --port PORT" : " needs --port PORT"));

    qDebug().noquote() << "bootloader-cli" << arguments.join(QLatin1Char(' '));
    std::unique_ptr<QVector<QByteArray>> image;
    if (command == QLatin1String("update") || command == QLatin1String("verify")) {
        image = loadImage(args.at(1), err);
        if (!image)
            return kUsage;
    }
    if (!ConnectionFactory::start()) {
        std::fprintf(err, "bootloader-cli: the bootloader library (%s) is missing\n", qUtf8Printable(PicBoot::libraryPath()));
        return 1;
    }
    if (!names.isEmpty())
        PortLister::setOverride(namedPorts(names));
    const QList<SerialPortEntry> ports = PortLister::availablePorts();
    Progress progress(parser.isSet(json) ? Progress::Json : outputIsTerminal() && out == stdout ? Progress::Terminal
                                                                                                 : Progress::Plain,
                      out);
    if (names.isEmpty())
        PortLister::setOverride(ports);  // the same list for every thread

    std::vector<std::unique_ptr<PanelRun>> runs;
    const bool listing = command == QLatin1String("list");
    Progress silent(Progress::Plain, nullptr);
    QList<SerialPortEntry> targets = ports;
    if (listing || parser.isSet(all)) {
        // Every port is asked what it is; update goes on with the panels.
        runs = runAll(PanelRun::Identify, ports, nullptr, QString(), silent);
        targets.clear();
        for (size_t i = 0; i < runs.size(); ++i) {
            const PanelRun::Result &r = runs[i]->result();
            if (listing) {
                const SerialPortEntry &p = ports.at(int(i));
                if (parser.isSet(json))
                    progress.line(QStringLiteral("{\"port\":%1,\"location\":%2,%3}")
                                      .arg(Progress::quoted(p.portName), Progress::quoted(p.systemLocation),
                                           r.ok ? "\"model\":" + Progress::quoted(r.model)
                                                : "\"problem\":" + Progress::quoted(r.failure)));
                else
                    progress.line(QStringLiteral("%1  %2  %3").arg(p.portName, -14).arg(p.systemLocation, -20)
                                      .arg(r.ok ? r.model : r.failure));
            } else if (r.ok) {
                targets.append(ports.at(int(i)));
            }
        }
        if (listing) {
            PortLister::clearOverride();
            return 0;
        }
        if (targets.isEmpty()) {
            std::fprintf(err, "bootloader-cli: no panel answered on any serial port\n");
            PortLister::clearOverride();
            return 1;
        }
    }
    const PanelRun::Job job = command == QLatin1String("update") ? PanelRun::Update
                              : command == QLatin1String("verify") ? PanelRun::Verify : PanelRun::Read;
    runs = runAll(job, targets, image.get(), command == QLatin1String("read") ? args.at(1) : QString(), progress);
    PortLister::clearOverride();

    bool allOk = true;
    const QString success = job == PanelRun::Update ? QStringLiteral("updated and verified")
                            : job == PanelRun::Verify ? QStringLiteral("verified")
                                                      : QStringLiteral("saved to ") + args.at(1);
    for (const auto &run : runs) {
        allOk = allOk && run->result().ok;
        progress.line(parser.isSet(json) ? summaryObject(*run) : summaryLine(*run, success));
        qDebug().noquote() << "Run ended on" << run->location() << ":" << summaryLine(*run, success);
    }
    return allOk ? 0 : 1;
}
