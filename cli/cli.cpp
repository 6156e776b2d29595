#include "cli/cli.h"

#include "cli/panelrun.h"
#include "cli/progress.h"
#include "cli/terminal.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/errorcodes.h"
#include "device/picboot.h"
#include "device/portlister.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"
#include "firmware/intelhexdump.h"

#include <QCommandLineParser>
#include <QDebug>
#include <QFile>
#include <QSaveFile>

#include <memory>
#include <vector>

namespace {

constexpr int kUsage = 2;

// What the command line asked for, checked.
struct Request
{
    QString command;
    QString file;            // the firmware (update, verify) or the output (read)
    QList<SerialPortEntry> ports;
    bool all = false;
    bool json = false;
};

using Runs = std::vector<std::unique_ptr<PanelRun>>;

int usage(std::FILE *err, const QString &why)
{
    std::fprintf(err, "bootloader-cli: %s\nRun \"bootloader-cli --help\" for the commands.\n", qUtf8Printable(why));
    return kUsage;
}

// The image to write or compare with, checked as the wizard checks it;
// null, with the reason said, when the file does not load.
std::unique_ptr<FirmwareImage> loadImage(const QString &path, std::FILE *err)
{
    FirmwareImage::Check check = FirmwareImage::Loaded;
    qint64 at = 0;
    std::unique_ptr<FirmwareImage> image = FirmwareImage::load(path, DeviceProfile(), &check, &at);
    QString why;
    switch (check) {
    case FirmwareImage::Loaded: return image;
    case FirmwareImage::Missing: why = QStringLiteral("not found or not readable"); break;
    case FirmwareImage::Damaged: why = QStringLiteral("damaged at line %1").arg(at); break;
    case FirmwareImage::OutsideChip: why = QStringLiteral("data past the program memory (address 0x%1)").arg(at, 0, 16); break;
    case FirmwareImage::ProtectedPage: why = QStringLiteral("data in the bootloader's page (address 0x%1)").arg(at, 0, 16); break;
    case FirmwareImage::NothingToWrite: why = QStringLiteral("no data to write"); break;
    }
    std::fprintf(err, "bootloader-cli: %s: %s; nothing was erased.\n", qUtf8Printable(path), qUtf8Printable(why));
    qDebug().noquote() << "Run ended: the file" << path << "does not load:" << why;
    return nullptr;
}

// Runs one job a port, all at once, and waits for them all.
Runs runAll(PanelRun::Job job, const QList<SerialPortEntry> &ports, const FirmwareImage *image, Progress &progress)
{
    Runs runs;
    for (const SerialPortEntry &port : ports)
        runs.push_back(std::make_unique<PanelRun>(job, port, image, &progress));
    for (auto &run : runs)
        run->start();
    for (auto &run : runs)
        run->wait();
    return runs;
}

QJsonObject summaryObject(const PanelRun &run)
{
    const PanelRun::Result &r = run.result();
    QJsonObject object{{"event", "result"}, {"port", run.port().portName}, {"model", r.model}, {"ok", r.outcome.ok}};
    if (!r.outcome.ok) {
        object.insert(QStringLiteral("code"), r.outcome.code);
        object.insert(QStringLiteral("message"), errorMessages[r.outcome.code]);
        object.insert(QStringLiteral("failure"), r.outcome.failure);
    }
    if (r.outcome.failedAt >= 0)
        object.insert(QStringLiteral("failedAt"), r.outcome.failedAt);
    return object;
}

QString summaryLine(const PanelRun &run, const QString &success)
{
    const PanelRun::Result &r = run.result();
    if (r.outcome.ok)
        return QStringLiteral("%1: %2: %3").arg(run.port().portName, r.model, success);
    return QStringLiteral("%1: FAILED: error %2, %3 (%4)")
        .arg(run.port().portName)
        .arg(r.outcome.code)
        .arg(QString(errorMessages[r.outcome.code]).replace('\n', ' '), r.outcome.failure);
}

// Every port and what answers on it.
int listPorts(const Request &request, Progress &progress)
{
    Progress silent(Progress::Plain, nullptr);
    for (const auto &run : runAll(PanelRun::Identify, request.ports, nullptr, silent)) {
        const SerialPortEntry &p = run->port();
        const PanelRun::Result &r = run->result();
        if (request.json)
            progress.line(QJsonObject{{"port", p.portName}, {"location", p.systemLocation},
                                      {r.outcome.ok ? "model" : "problem", r.outcome.ok ? r.model : r.outcome.failure}});
        else
            progress.line(QStringLiteral("%1  %2  %3").arg(p.portName, -14).arg(p.systemLocation, -20)
                              .arg(r.outcome.ok ? r.model : r.outcome.failure));
    }
    return 0;
}

// The ports on which a known panel answers; empty, said, when none does.
QList<SerialPortEntry> panelsFound(const QList<SerialPortEntry> &ports, std::FILE *err)
{
    Progress silent(Progress::Plain, nullptr);
    QList<SerialPortEntry> found;
    for (const auto &run : runAll(PanelRun::Identify, ports, nullptr, silent))
        if (run->result().outcome.ok)
            found.append(run->port());
    if (found.isEmpty())
        std::fprintf(err, "bootloader-cli: no panel answered on any serial port\n");
    return found;
}

// One summary line a panel, each in the log too; 0 when all did what was asked.
int summarize(const Runs &runs, const QString &success, bool json, Progress &progress)
{
    bool allOk = true;
    for (const auto &run : runs) {
        allOk = allOk && run->result().outcome.ok;
        if (json)
            progress.line(summaryObject(*run));
        else
            progress.line(summaryLine(*run, success));
        qDebug().noquote() << "Run ended on" << run->port().systemLocation << ":" << summaryLine(*run, success);
    }
    return allOk ? 0 : 1;
}

int updatePanels(const Request &request, const FirmwareImage &image, Progress &progress, std::FILE *err)
{
    const QList<SerialPortEntry> ports = request.all ? panelsFound(request.ports, err) : request.ports;
    if (ports.isEmpty())
        return 1;
    return summarize(runAll(PanelRun::Update, ports, &image, progress), QStringLiteral("updated and verified"),
                     request.json, progress);
}

int verifyPanels(const Request &request, const FirmwareImage &image, Progress &progress)
{
    return summarize(runAll(PanelRun::Verify, request.ports, &image, progress), QStringLiteral("verified"),
                     request.json, progress);
}

// The program memory below the protected page, as the Intel HEX that update
// accepts again.
int readPanel(const Request &request, Progress &progress)
{
    Runs runs = runAll(PanelRun::Read, request.ports, nullptr, progress);
    PanelRun &run = *runs.front();
    if (run.result().outcome.ok) {
        QSaveFile file(request.file);
        const QByteArray hex = IntelHexDump::fromProgram(run.programBytes(), DeviceProfile());
        if (!file.open(QIODevice::WriteOnly) || file.write(hex) != hex.size() || !file.commit()) {
            UpdateEngine::Outcome &outcome = run.result().outcome;
            outcome.ok = false;
            outcome.code = FileAccessFailed;
            outcome.failure = QStringLiteral("%1 could not be written").arg(request.file);
        }
    }
    return summarize(runs, QStringLiteral("saved to ") + request.file, request.json, progress);
}

} // namespace

QString Cli::help()
{
    Q_INIT_RESOURCE(cli);
    QFile file(QStringLiteral(":/cli/help.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
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
    Request request{args.value(0), args.value(1), {}, parser.isSet(all), parser.isSet(json)};
    const QString &command = request.command;
    const QStringList names = parser.values(portOption);
    const int wanted = command == QLatin1String("list") ? 1 : 2;
    if (!QStringList{"list", "update", "verify", "read"}.contains(command))
        return usage(err, command.isEmpty() ? QStringLiteral("no command") : "unknown command " + command);
    if (args.size() != wanted)
        return usage(err, QStringLiteral("%1 takes %2").arg(command, wanted == 1 ? "no file" : "one file"));
    if (command == QLatin1String("update") && names.isEmpty() == !request.all)
        return usage(err, QStringLiteral("update needs --port PORT (one or more) or --all"));
    if ((command == QLatin1String("verify") && names.isEmpty()) || (command == QLatin1String("read") && names.size() != 1))
        return usage(err, command + (command == QLatin1String("read") ? " needs one --port PORT" : " needs --port PORT"));

    qDebug().noquote() << "bootloader-cli" << arguments.join(QLatin1Char(' '));
    std::unique_ptr<FirmwareImage> image;
    if (command == QLatin1String("update") || command == QLatin1String("verify")) {
        image = loadImage(request.file, err);
        if (!image)
            return kUsage;
    }
    if (!ConnectionFactory::start()) {
        std::fprintf(err, "bootloader-cli: the bootloader library (%s) is missing\n", qUtf8Printable(PicBoot::libraryPath()));
        return 1;
    }
    if (names.isEmpty())
        request.ports = PortLister::availablePorts();
    for (const QString &name : names) {
        const QString location = DevicePath::locationFromArgument(name);
        request.ports.append({DevicePath::nameFromLocation(location), location});
    }
    Progress progress(request.json ? Progress::Json : outputIsTerminal() && out == stdout ? Progress::Terminal
                                                                                           : Progress::Plain,
                      out);
    if (command == QLatin1String("list"))
        return listPorts(request, progress);
    if (command == QLatin1String("update"))
        return updatePanels(request, *image, progress, err);
    if (command == QLatin1String("verify"))
        return verifyPanels(request, *image, progress);
    return readPanel(request, progress);
}
