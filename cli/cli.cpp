#include "cli/cli.h"

#include "cli/interrupt.h"
#include "cli/panelrun.h"
#include "cli/benchguard.h"
#include "cli/progress.h"
#include "cli/terminal.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/errorcodes.h"
#include "device/picboot.h"
#include "device/portlister.h"
#include "device/systemreport.h"
#include "device/timings.h"
#include "device/recordbook.h"
#include "device/updaterecord.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"
#include "firmware/intelhexdump.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int kUsage = 2;

// What the command line asked for, checked.
struct Request
{
    QString command;
    QString file;  // the firmware (update, verify) or the output (read, "-" standard output)
    QList<SerialPortEntry> ports;
    bool all = false;
    bool json = false;
    UpdateEngine::Ending ending = UpdateEngine::StayInBootloader;
    UpdateEngine::Check check = UpdateEngine::WrittenBlocks;
    bool watch = false;
    std::shared_ptr<RecordBook> record;  // every attempt is appended to it, one JSON line each
    QStringList names;                   // the ports named with --port
};

using Runs = std::vector<std::unique_ptr<PanelRun>>;

// Where the run's words go: text on the error stream, or, with --json, one
// JSON object a line on the output like every other outcome.
struct Said
{
    std::FILE *out;
    std::FILE *err;
    bool json;
    QString command;
    Progress *progress = nullptr;  // once the run's output is open, everything goes through it

    int error(int status, const QString &message, QJsonObject object = QJsonObject()) const
    {
        if (json) {
            object.insert(QStringLiteral("event"), QStringLiteral("error"));
            object.insert(QStringLiteral("command"), command);
            object.insert(QStringLiteral("status"), status);
            object.insert(QStringLiteral("message"), message);
            if (progress)
                progress->line(object);
            else
                Progress(Progress::Json, out).line(object);
        } else {
            if (progress)
                progress->flush();
            std::fprintf(err, "bootloader-cli: %s\n", qUtf8Printable(message));
            std::fflush(err);
        }
        return status;
    }
    int usage(const QString &why) const
    {
        if (!json)
            std::fprintf(err, "bootloader-cli: %s\nRun \"bootloader-cli --help\" for the commands.\n", qUtf8Printable(why));
        return json ? error(kUsage, why) : kUsage;
    }
};

// The image to write or compare with, checked as the wizard checks it;
// null, with the reason said, when the file does not load.
std::unique_ptr<FirmwareImage> loadImage(const QString &path, const Said &said)
{
    FirmwareImage::Check check = FirmwareImage::Loaded;
    qint64 at = 0;
    const int idleMs = Timings::current().fileIdleMs;
    std::unique_ptr<FirmwareImage> image = FirmwareImage::load(path, DeviceProfile::supported(), idleMs, &check, &at);
    QString why;
    switch (check) {
    case FirmwareImage::Loaded: return image;
    case FirmwareImage::Missing: why = QStringLiteral("not found or not readable"); break;
    case FirmwareImage::IsDirectory: why = QStringLiteral("is a directory"); break;
    case FirmwareImage::TooLarge: why = QStringLiteral("larger than 16 MiB"); break;
    case FirmwareImage::Silent: why = QStringLiteral("nothing came from it for %1 s").arg(idleMs / 1000.0); break;
    case FirmwareImage::Damaged: why = QStringLiteral("damaged at line %1").arg(at); break;
    case FirmwareImage::OutsideChip: why = QStringLiteral("data past the program memory (address 0x%1)").arg(at, 0, 16); break;
    case FirmwareImage::ProtectedPage: why = QStringLiteral("data in the bootloader's page (address 0x%1)").arg(at, 0, 16); break;
    case FirmwareImage::NothingToWrite: why = QStringLiteral("no data to write"); break;
    case FirmwareImage::NoResetVector:
        why = QStringLiteral("no reset jump at address 0 (the panel would have nothing to start)");
        break;
    case FirmwareImage::OtherPart:
        why = QStringLiteral("built for another PIC24: configuration words of a %1 KB part at 0x%2")
                  .arg(DeviceProfile::smallerPartAt(at)).arg(at, 0, 16);
        break;
    }
    said.error(kUsage, QStringLiteral("%1: %2; nothing was erased.").arg(Progress::printable(path), why),
               QJsonObject{{"file", path}});
    qDebug().noquote() << "Run ended: the file" << path << "does not load:" << why;
    return nullptr;
}

// The ports a request names, or every port the system lists: one a device,
// however often and by whichever name it was given, each named as the
// system names it, with its slot and the adaptor's serial number where the
// system tells. A name may be a slot. With `present`, only those there now
// (a bench's by-path link exists while its slot is in use).
QList<SerialPortEntry> portsFor(const QStringList &names, bool present)
{
    const QList<SerialPortEntry> listed = PortLister::availablePorts();
    QList<SerialPortEntry> ports;
    QSet<QString> seen;
    const auto add = [&](SerialPortEntry port) {
        const QString id = DevicePath::identity(port.systemLocation);
        const bool link = QFileInfo(port.systemLocation).isSymLink();
        bool isListed = false;
        for (const SerialPortEntry &known : listed) {
            if (DevicePath::identity(known.systemLocation) != id)
                continue;
            isListed = true;
            if (!link)
                port = known;
            port.serialNumber = known.serialNumber;
        }
        if (seen.contains(id) || (present && !isListed && !QFileInfo::exists(port.systemLocation)))
            return;
        seen.insert(id);
        if (link)
            port.portName = DevicePath::nameFromLocation(id);
        if (port.slot.isEmpty())
            port.slot = PortLister::slotOf(port.systemLocation);
        ports.append(port);
    };
    for (const SerialPortEntry &port : names.isEmpty() ? listed : QList<SerialPortEntry>())
        add(port);
    for (const QString &name : names) {
        const QString bySlot = PortLister::locationOfSlot(name);
        const QString location = bySlot.isEmpty() ? DevicePath::locationFromArgument(name) : bySlot;
        add({DevicePath::nameFromLocation(location), location});
    }
    return ports;
}

UpdateJob::Options jobOptions(UpdateJob::Kind kind, const Request &request,
                              const std::shared_ptr<const FirmwareImage> &image)
{
    UpdateJob::Options options;
    options.kind = kind;
    options.image = image;
    options.ending = request.ending;
    options.check = request.check;
    options.stop = &Interrupt::requested();
    options.tool = QStringLiteral("bootloader-cli ") + QCoreApplication::applicationVersion();
    // A read's line waits for its file to be saved.
    if (kind != UpdateJob::Read && kind != UpdateJob::Identify)
        options.record = request.record;
    return options;
}

QString seconds(qint64 ms)
{
    return QString::number(ms / 1000.0, 'f', 1);
}

// The time each phase took, as "erase 1.7 s, write 8.4 s".
QString phaseTimes(const UpdateEngine::Outcome &outcome)
{
    QStringList times;
    for (int phase = UpdateEngine::Erase; phase < UpdateEngine::PhaseCount; ++phase)
        if (outcome.phaseMs[phase] >= 0)
            times << UpdateEngine::phaseName(UpdateEngine::Phase(phase)) + QLatin1Char(' ') + seconds(outcome.phaseMs[phase])
                         + QStringLiteral(" s");
    return times.join(QStringLiteral(", "));
}

QString summaryLine(const SerialPortEntry &where, const QString &model, const UpdateEngine::Outcome &o,
                    const QString &command, const QString &success)
{
    const QString port = Progress::printable(Progress::place(where.portName, where.slot));
    QString times = phaseTimes(o);
    if (!times.isEmpty())
        times = QStringLiteral(" (%1)").arg(times);
    if (o.interrupted)
        return QStringLiteral("%1: %2; the panel stays in its bootloader, run %3 again").arg(port, o.failure, command);
    // What the panel was left in, where one answered.
    const QString left = o.phase == UpdateEngine::Identify && !o.ok ? QString()
                         : o.started ? QStringLiteral("; started") : QStringLiteral("; left in its bootloader");
    if (o.ok)
        return QStringLiteral("%1: %2: %3%4%5").arg(port, model, success, left.mid(1).prepend(QLatin1Char(',')), times);
    const QString what = o.code == NoError ? o.failure
                                           : QStringLiteral("error %1, %2 (%3)").arg(o.code)
                                                 .arg(QString(errorMessages[o.code]).replace('\n', ' '), o.failure);
    return QStringLiteral("%1: FAILED: %2%3%4").arg(port, what, left, times);
}

// One run of the bench tool: its output, its record and its count of
// panels. Everything here runs on the main thread.
class Bench
{
public:
    Bench(const Request &request, Progress &progress, const Said &said, const QString &success)
        : m_request(request), m_progress(progress), m_said(said), m_success(success)
    {
        m_clock.start();
    }

    // A panel's summary line, in the log too, and its line in the record
    // where the job does not keep it itself; the count.
    void report(PanelRun &run, const UpdateJob::Result &result)
    {
        const UpdateRecord record = run.job().record(result);
        if (m_request.json) {
            QJsonObject object = record.toJson();
            object.insert(QStringLiteral("event"), QStringLiteral("result"));
            m_progress.line(object);
        }
        const QString line = summaryLine(run.port(), result.model, result.outcome, m_request.command, m_success);
        if (!m_request.json)
            m_progress.line(line);
        qDebug().noquote() << "Run ended on" << run.port().systemLocation << ":" << line;
        QString why = result.recordError;
        // The job keeps its own line as it ends; a read's, and a job given
        // up in flight, are kept here.
        if (m_request.record)
            m_request.record->append(record.line(), &why, &run.job().recordClaim());
        if (!why.isEmpty()) {
            m_said.error(1, QStringLiteral("the record %1 could not be written: %2; the line is kept and tried again")
                                .arg(Progress::printable(m_request.record->path()), why));
        }
        const UpdateEngine::Outcome &o = result.outcome;
        (o.ok ? m_updated : o.interrupted ? m_interrupted : m_failed) += 1;
    }

    // A second signal: the panels in flight are given up as interrupted,
    // recorded as such, and the program ends now without waiting for them.
    [[noreturn]] void endNow(Runs &runs)
    {
        for (auto &run : runs)
            if (run)
                report(*run, run->done() ? run->result() : run->givenUp());
        const int status = summary();
        // A job that took its line's turn has it on disk once the record is ours.
        QString why;
        if (m_request.record)
            m_request.record->append(QByteArray(), &why);
        qDebug() << "bootloader-cli exits with status" << status << "after a second signal, without waiting for the panels";
        qDebug().noquote() << "Run ended: interrupted.";
        m_progress.flush();
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }

    // The totals, in one shape for every command, and the exit status.
    int summary()
    {
        int status = Interrupt::exitStatus() ? Interrupt::exitStatus() : m_failed + m_interrupted > 0 ? 1 : 0;
        QString unwritten;
        const QList<QByteArray> lines = m_request.record ? m_request.record->unwritten() : QList<QByteArray>();
        m_unrecorded = lines.size();
        for (const QByteArray &line : lines)
            unwritten += QString::fromUtf8(line);
        if (!unwritten.isEmpty()) {
            // Not kept anywhere else: the operator copies them from here.
            m_progress.flush();
            std::fprintf(m_said.err, "%s", qUtf8Printable(unwritten));
            std::fflush(m_said.err);
            status = 1;
        }
        const QString totals = QStringLiteral("%1 panels %2, %3 failed, %4 interrupted in %5 s%6")
                                   .arg(m_updated).arg(m_success.section(QLatin1Char(' '), 0, 0)).arg(m_failed)
                                   .arg(m_interrupted).arg(seconds(m_clock.elapsed()))
                                   .arg(m_unrecorded ? QStringLiteral(", %1 not recorded").arg(m_unrecorded) : QString());
        if (m_request.json)
            m_progress.line(QJsonObject{{"event", "summary"}, {"updated", m_updated}, {"failed", m_failed},
                                        {"interrupted", m_interrupted}, {"unrecorded", m_unrecorded},
                                        {"seconds", m_clock.elapsed() / 1000.0}, {"status", status}});
        else
            m_progress.line(totals);
        qDebug().noquote() << totals;
        return status;
    }

private:
    const Request &m_request;
    Progress &m_progress;
    const Said &m_said;
    QString m_success;
    QElapsedTimer m_clock;
    int m_updated = 0, m_failed = 0, m_interrupted = 0, m_unrecorded = 0;
};

// Runs one job a port, all at once, until they are all done or a second
// signal ends the run. The system is kept awake while panels are written.
Runs runAll(UpdateJob::Kind kind, const Request &request, const QList<SerialPortEntry> &ports,
            const std::shared_ptr<const FirmwareImage> &image, Progress &progress, Bench *bench)
{
    Runs runs;
    const UpdateJob::Options options = jobOptions(kind, request, image);
    for (const SerialPortEntry &port : ports)
        runs.push_back(std::make_unique<PanelRun>(options, port, &progress));
    BenchGuard guard;
    for (auto &run : runs)
        run->start();
    for (;;) {
        const int running = int(std::count_if(runs.begin(), runs.end(), [](const auto &run) { return !run->done(); }));
        guard.setPanelsWriting(kind == UpdateJob::Update ? running : 0);
        if (running == 0)
            return runs;
        if (bench && Interrupt::forced())
            bench->endNow(runs);
        QThread::msleep(20);
    }
}

Runs identifyAll(const Request &request)
{
    Progress silent(Progress::Plain, nullptr);
    return runAll(UpdateJob::Identify, request, request.ports, nullptr, silent, nullptr);
}

// Every port and what answers on it.
int listPorts(const Request &request, Progress &progress)
{
    for (const auto &run : identifyAll(request)) {
        const SerialPortEntry &p = run->port();
        const UpdateJob::Result &r = run->result();
        const QString found = r.outcome.ok ? r.model : r.outcome.failure;
        if (request.json)
            progress.line(QJsonObject{{"event", "port"}, {"port", p.portName}, {"slot", p.slot},
                                      {"location", p.systemLocation}, {r.outcome.ok ? "model" : "problem", found}});
        else
            progress.line(QStringLiteral("%1  %2  %3").arg(Progress::printable(p.portName), -14)
                              .arg(Progress::printable(p.systemLocation), -20).arg(found));
    }
    return 0;
}

// Writes all of `bytes` to `path` ("-": the output), every write and the
// final flush and close checked. A regular file, or a new one, is written
// through a temporary file renamed into place, so that a failed save leaves
// the old file whole; a device or a pipe is written as it is.
bool save(const QString &path, const QByteArray &bytes, std::FILE *out, QString *why)
{
    if (path == QLatin1String("-")) {
        const bool ok = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out) == size_t(bytes.size())
                        && std::fflush(out) == 0;
        *why = ok ? QString() : QString::fromLocal8Bit(std::strerror(errno));
        return ok;
    }
    const QFileInfo info(path);
    if (!info.exists() || info.isFile()) {
        QSaveFile file(path);
        const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
        *why = file.errorString();
        return ok;
    }
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    file.close();
    *why = file.errorString();
    return ok && file.error() == QFileDevice::NoError;
}

// Updates every panel that appears, each as soon as it answers, until
// Ctrl-C or SIGTERM, then says the totals. A port is tried once something
// is plugged in on it and then left alone until it goes away and comes back
// (the next panel plugged in): a panel just updated runs its application,
// one that failed stays in its bootloader until it is plugged in again, and
// what is no panel to update is said once. Ports there at the start are
// only taken with --all. A port whose open fails because its device is gone
// counts as gone. While the record cannot be written no new panel is taken.
int watchPanels(const Request &request, const std::shared_ptr<const FirmwareImage> &image, Progress &progress,
                const Said &said)
{
    enum State { Waiting, Busy, Done };
    QHash<QString, State> ports;
    std::map<QString, std::unique_ptr<PanelRun>> runs;
    QStringList leftAlone;
    if (!request.all)
        for (const SerialPortEntry &port : portsFor(request.names, true)) {
            ports.insert(DevicePath::identity(port.systemLocation), Done);
            leftAlone << Progress::printable(Progress::place(port.portName, port.slot));
        }
    const QString watched = request.names.isEmpty() ? QStringLiteral("every serial port")
                                                    : Progress::printable(request.names.join(QStringLiteral(", ")));
    if (request.json)
        progress.line(QJsonObject{{"event", "watching"}, {"ports", QJsonArray::fromStringList(request.names)},
                                  {"leftAlone", QJsonArray::fromStringList(leftAlone)}});
    else
        progress.line(QStringLiteral("Watching %1 for panels to update%2; Ctrl-C ends the watch.")
                          .arg(watched, leftAlone.isEmpty() ? QString()
                                                            : QStringLiteral(" (left alone, there at the start: %1; "
                                                                             "--all takes them)").arg(leftAlone.join(", "))));
    Bench bench(request, progress, said, QStringLiteral("updated and verified"));
    UpdateJob::Options options = jobOptions(UpdateJob::Update, request, image);
    options.recordsNoPanel = false;  // a plug that is no panel to update is said, not recorded
    BenchGuard guard;
    QString recordBlocked;  // why the record cannot be written, while it cannot
    QSet<QString> toldBlocked;
    const auto say = [&](const SerialPortEntry &port, const QString &problem, const QString &until) {
        const QString where = Progress::printable(Progress::place(port.portName, port.slot));
        if (request.json)
            progress.line(QJsonObject{{"event", "skipped"}, {"port", port.portName}, {"slot", port.slot},
                                      {"problem", problem}});
        else
            progress.line(QStringLiteral("%1: %2; %3").arg(where, problem, until));
    };
    const auto reap = [&](bool all) {
        for (auto it = runs.begin(); it != runs.end();) {
            PanelRun &run = *it->second;
            if (!all && !run.done()) {
                ++it;
                continue;
            }
            run.wait();
            const UpdateJob::Result &r = run.result();
            State next = Done;
            if (!r.foundNoPanel()) {
                bench.report(run, r);
                if (!r.recordError.isEmpty())
                    recordBlocked = r.recordError;
            } else if (r.portProblem == PortAccess::Missing || r.portProblem == PortAccess::OtherFailure) {
                // Its device is gone (Windows lists a port a while longer, and
                // opening it fails): what comes back on it is a new plug.
                next = Waiting;
            } else {
                say(run.port(), QStringLiteral("not a panel to update: %1").arg(r.outcome.failure),
                    QStringLiteral("left alone until it goes away"));
            }
            for (const QString &id : {it->first, DevicePath::identity(run.port().systemLocation)})
                if (ports.contains(id))
                    ports[id] = next;
            it = runs.erase(it);
        }
    };
    while (!Interrupt::requested()) {
        if (!recordBlocked.isEmpty() && request.record->append(QByteArray(), &recordBlocked))
            recordBlocked.clear();
        QHash<QString, State> now;
        for (const SerialPortEntry &port : portsFor(request.names, true)) {
            const QString id = DevicePath::identity(port.systemLocation);
            now.insert(id, ports.value(id, Waiting));
            // A run keeps the id its port had when it began: a name that was
            // a listed port with no device, then a link to one, is the same.
            const bool running = std::any_of(runs.begin(), runs.end(), [&](const auto &run) {
                return DevicePath::identity(run.second->port().systemLocation) == id;
            });
            if (now.value(id) != Waiting || running)
                continue;
            if (!recordBlocked.isEmpty()) {
                if (!toldBlocked.contains(id))
                    say(port, QStringLiteral("not updated: the record %1 cannot be written (%2)")
                                  .arg(request.record->path(), recordBlocked),
                        QStringLiteral("taken once it can"));
                toldBlocked.insert(id);
                continue;
            }
            toldBlocked.remove(id);
            auto &run = runs[id] = std::make_unique<PanelRun>(options, port, &progress, true);
            run->start();
            now[id] = Busy;
        }
        // A port that went away while its panel was worked on stays busy to the end.
        for (const auto &run : runs)
            now.insert(run.first, Busy);
        for (auto it = toldBlocked.begin(); it != toldBlocked.end();)
            it = now.contains(*it) ? std::next(it) : toldBlocked.erase(it);
        ports = now;
        reap(false);
        guard.setPanelsWriting(int(runs.size()));
        for (int ms = 0; ms < Timings::current().watchPollMs && !Interrupt::requested(); ms += 20)
            QThread::msleep(20);
    }
    // Asked to stop: the panels in flight stop at their next block; a second
    // signal ends the run without waiting for them.
    while (std::any_of(runs.begin(), runs.end(), [](const auto &run) { return !run.second->done(); })) {
        if (Interrupt::forced()) {
            Runs left;
            for (auto &run : runs)
                left.push_back(std::move(run.second));
            bench.endNow(left);
        }
        QThread::msleep(20);
    }
    reap(true);
    return bench.summary();
}

int execute(const Request &request, const std::shared_ptr<const FirmwareImage> &image, Progress &progress,
            const Said &said)
{
    if (request.command == QLatin1String("list"))
        return listPorts(request, progress);
    if (request.watch)
        return watchPanels(request, image, progress, said);
    QList<SerialPortEntry> ports = request.ports;
    if (request.all) {
        ports.clear();
        for (const auto &run : identifyAll(request))
            if (run->result().outcome.ok)
                ports.append(run->port());
        if (ports.isEmpty())
            return said.error(1, QStringLiteral("no panel answered on any serial port"));
    }
    const UpdateJob::Kind job = request.command == QLatin1String("update") ? UpdateJob::Update
                                : request.command == QLatin1String("verify") ? UpdateJob::Verify : UpdateJob::Read;
    const QString success = job == UpdateJob::Update ? QStringLiteral("updated and verified")
                            : job == UpdateJob::Verify ? QStringLiteral("verified")
                                                       : QStringLiteral("saved to ") + Progress::printable(request.file);
    Bench bench(request, progress, said, success);
    Runs runs = runAll(job, request, ports, image, progress, &bench);
    if (job == UpdateJob::Read && runs.front()->result().outcome.ok) {
        QString why;
        const QByteArray hex = IntelHexDump::fromProgram(runs.front()->result().program, DeviceProfile::supported());
        if (!save(request.file, hex, said.out, &why)) {
            UpdateEngine::Outcome &outcome = runs.front()->job().result().outcome;
            outcome.ok = false;
            outcome.phase = UpdateEngine::Read;
            outcome.failure = QStringLiteral("could not write %1: %2").arg(Progress::printable(request.file), why);
        }
    }
    for (auto &run : runs)
        bench.report(*run, run->result());
    return bench.summary();
}

} // namespace

QString Cli::help()
{
    Q_INIT_RESOURCE(cli);
    QFile file(QStringLiteral(":/cli/help.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int Cli::run(const QStringList &arguments, std::FILE *out, std::FILE *err, const std::function<void()> &beginRun)
{
    Said said{out, err, arguments.contains(QStringLiteral("--json")), QString(), nullptr};
    QCommandLineParser parser;
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("port"));
    const QCommandLineOption afterOption(QStringLiteral("after"), QString(), QStringLiteral("run|stay"));
    const QCommandLineOption recordOption(QStringLiteral("record"), QString(), QStringLiteral("file"));
    const QCommandLineOption verifyAll(QStringLiteral("verify-all"));
    const QCommandLineOption all(QStringLiteral("all")), json(QStringLiteral("json")), watch(QStringLiteral("watch")),
        verbose(QStringLiteral("verbose")), helpOption(QStringLiteral("help")), version(QStringLiteral("version"));
    parser.addOptions({portOption, afterOption, recordOption, all, json, watch, verbose, helpOption, version, verifyAll});
    if (!parser.parse(QStringList{QStringLiteral("bootloader-cli")} + arguments))
        return said.usage(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(version)) {
        const QString text = parser.isSet(helpOption) ? help() : SystemReport::lines(PortLister::availablePorts()).join('\n') + '\n';
        std::fprintf(out, "%s", qUtf8Printable(text));
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    Request request;
    request.command = args.value(0);
    request.file = args.value(1);
    request.all = parser.isSet(all);
    request.json = said.json;
    request.watch = parser.isSet(watch);
    request.check = parser.isSet(verifyAll) ? UpdateEngine::WholeMemory : UpdateEngine::WrittenBlocks;
    const QString recordPath = parser.value(recordOption);
    if (!recordPath.isEmpty())
        request.record = std::make_shared<RecordBook>(recordPath);
    request.names = parser.values(portOption);
    const QString &command = request.command;
    const QStringList &names = request.names;
    const int wanted = command == QLatin1String("list") ? 1 : 2;
    const QString after = parser.value(afterOption);
    if (!QStringList{"list", "update", "verify", "read"}.contains(command))
        return said.usage(command.isEmpty() ? QStringLiteral("no command") : "unknown command " + Progress::printable(command));
    if (args.size() != wanted)
        return said.usage(QStringLiteral("%1 takes %2").arg(command, wanted == 1 ? "no file" : "one file"));
    if (request.all && !names.isEmpty() && !request.watch)
        return said.usage(QStringLiteral("--all and --port were both given: name the ports, or ask for all of them"));
    if (command == QLatin1String("update") && names.isEmpty() && !request.all && !request.watch)
        return said.usage(QStringLiteral("update needs --port PORT (one or more), --all or --watch"));
    if (request.watch && command != QLatin1String("update"))
        return said.usage(QStringLiteral("--watch goes with update"));
    if (parser.isSet(verifyAll) && command != QLatin1String("update"))
        return said.usage(QStringLiteral("--verify-all goes with update (verify always checks the whole memory)"));
    said.command = command;
    if (parser.isSet(recordOption) && (command == QLatin1String("list") || recordPath.isEmpty()))
        return said.usage(QStringLiteral("--record takes a file, for update, verify or read"));
    if ((command == QLatin1String("verify") && names.isEmpty()) || (command == QLatin1String("read") && names.size() != 1))
        return said.usage(command + (command == QLatin1String("read") ? " needs one --port PORT" : " needs --port PORT"));
    if (!after.isEmpty() && after != QLatin1String("run") && after != QLatin1String("stay"))
        return said.usage(QStringLiteral("--after takes run or stay"));
    if (command == QLatin1String("read") && request.file == QLatin1String("-") && request.json)
        return said.usage(QStringLiteral("read to standard output (-) cannot go with --json"));
    if (after == QLatin1String("run") || (after.isEmpty() && command == QLatin1String("update")))
        request.ending = UpdateEngine::StartApplication;

    if (beginRun)
        beginRun();
    Interrupt::watch();
    qDebug().noquote() << "bootloader-cli" << arguments.join(QLatin1Char(' '));
    std::shared_ptr<const FirmwareImage> image;
    int status = 1;
    QString why;
    if (request.record && !request.record->check(&why)) {
        // Found before any panel is touched, not after the first was written.
        status = said.error(kUsage, QStringLiteral("the record %1 cannot be written: %2")
                                        .arg(Progress::printable(recordPath), why));
    } else if ((command == QLatin1String("update") || command == QLatin1String("verify"))
               && !(image = loadImage(request.file, said))) {
        status = kUsage;
    } else if (!ConnectionFactory::start()) {
        said.error(1, QStringLiteral("the bootloader library (%1) is missing").arg(PicBoot::libraryPath()));
    } else {
        request.ports = portsFor(names, false);
        // Progress and summaries go where the saved file does not.
        std::FILE *shown = request.file == QLatin1String("-") && command == QLatin1String("read") ? err : out;
        Progress progress(request.json ? Progress::Json
                          : outputIsTerminal() && shown == stdout ? Progress::Terminal : Progress::Plain,
                          shown, command);
        said.progress = &progress;
        status = execute(request, image, progress, said);
        said.progress = nullptr;
    }
    qDebug() << "bootloader-cli exits with status" << status;
    qDebug().noquote() << (Interrupt::exitStatus() ? QStringLiteral("Run ended: interrupted.")
                                                   : QStringLiteral("Run ended: status %1.").arg(status));
    return status;
}
