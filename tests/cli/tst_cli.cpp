// bootloader-cli against virtual panels: one table of runs (the panels'
// faults, the arguments, the exit status, what the output and the run log
// must and must not say, and what becomes of each panel), then the
// read-update-verify round trip, and the program as a process for what only
// a process shows: a signal, and a reader that goes away.
#include "cli/cli.h"
#include "device/debuglog.h"
#include "device/devicepath.h"
#include "device/portlister.h"
#include "device/timings.h"
#include "device/recordbook.h"
#include "device/updaterecord.h"
#include "firmware/crc32.h"
#include "sim/pseudoterminal.h"
#include "sim/virtualpanel.h"
#include "support/bootframe.h"
#include "support/fixtures.h"
#include "support/flashcheck.h"
#include "support/intelhex.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

// Each panel's state afterwards, one letter a panel: S started with the
// file's flash, F the file's flash but still in its bootloader, B in its
// bootloader, N nothing reached it, - not looked at.
struct Case
{
    QVector<PanelFaults> panels;
    QStringList arguments;  // %1, %2: the panels' paths; %n1: the first one's name; %file: the sample; %dir: a scratch folder
    int status;
    QStringList says;       // the output (or, after "log:", the run log) holds each
    QStringList never = {}; // ...and none of these
    QString after = {};
    bool logs = true;       // a run log was opened
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();
    void readUpdateVerifyRoundTrips();
    void anEraseThatMissesACellTheFileLeavesBlank();
    void aFullDiskTearsNoRecord();
    void signalsStopThePanelsAndKeepTheirRecords();
    void aReaderThatGoesAwayStopsNothing();
    void aBenchWatchesItsSlotsAndRecordsEveryPanel();
    void theWatchSaysWhatItSeesOnce();
    void twoProgramsRecordingAtOnceTearNoLine();
    void cleanupTestCase();

private:
    QString run(const QStringList &arguments, int *status, QString *log = nullptr);
    VirtualPanel *panel(const PanelFaults &faults = PanelFaults(), bool paced = false);
    // Through a pipe into `reader` when given (bash, with pipefail: the status is the program's).
    QProcess *program(const QStringList &arguments, const QString &reader = QString());

    std::vector<std::unique_ptr<VirtualPanel>> m_panels;
    QTemporaryDir m_dir;
    const QByteArray m_sample = sampleText();
    const QString m_samplePath = samplePath();
};

namespace {
// The record's lines, without the empty one after the last.
QByteArrayList records(const QString &path)
{
    QByteArrayList lines = contents(path).split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

// Every JSON line the runs show, events and records alike, for the schema's test.
void keepJson(const QByteArray &text)
{
    QFile lines(QStringLiteral(WIZARD_JSON_LINES));
    if (!lines.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith('{'))
            lines.write(line + '\n');
}
} // namespace

void TestCli::initTestCase()
{
    QFile::remove(QStringLiteral(WIZARD_JSON_LINES));
    Timings &t = Timings::current();
    t.answerMs = 300;
    t.linkTimeoutMs = 150;
    t.eraseMsPerPage = 0;
    t.wakeUpPauseMs = 0;
    t.keepAliveAnswerMs = 50;
    t.fileIdleMs = 200;
    t.watchPollMs = 30;
    QVERIFY(!m_sample.isEmpty());
}

// The output and error streams together, and the run log it opened.
QString TestCli::run(const QStringList &arguments, int *status, QString *log)
{
    std::FILE *out = std::tmpfile();
    QString logPath;
    *status = Cli::run(arguments, out, out, [&] { logPath = DebugLog::install(m_dir.filePath("logs"), 1000); });
    DebugLog::uninstall();
    std::rewind(out);
    QByteArray text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        text.append(buffer, int(n));
    std::fclose(out);
    keepJson(text);
    if (log)
        *log = logPath.isEmpty() ? QString() : QString::fromUtf8(contents(logPath));
    return QString::fromUtf8(text);
}

VirtualPanel *TestCli::panel(const PanelFaults &faults, bool paced)
{
    PanelOptions options;
    options.paced = paced;
    options.faults = faults;
    m_panels.push_back(std::make_unique<VirtualPanel>(options));
    return m_panels.back()->start() ? m_panels.back().get() : nullptr;
}

void TestCli::runs_data()
{
    QTest::addColumn<Case>("c");
    const PanelFaults healthy;
    const QString update = QStringLiteral("update"), file = QStringLiteral("%file");
    QTest::newRow("two panels, a write fault on one; each log line names its panel")
        << Case{{healthy, with([](PanelFaults &f) { f.writeNoReplyAtRow = 3; })},
                {update, file, "--port", "%1", "--port", "%2", "--json"}, 1,
                {"\"code\":5", "\"failedAt\":256", "\"left\":\"application\"", "\"left\":\"bootloader\"",
                 "\"event\":\"summary\"", "log:%n2: PicBoot:writePic() got error"},
                {"log:%n1: PicBoot:writePic() got error"}, "SB"};
    QTest::newRow("the summary: a line a panel with its phases' times, then the totals")
        << Case{{healthy}, {update, file, "--port", "%1"}, 0,
                {"%n1: KR 210 Nova: updated and verified, started (erase ", ", write ",
                 "\n1 panels updated, 0 failed, 0 interrupted in ", "log:Run ended: status 0."}, {}, "S"};
    QTest::newRow("--after stay leaves the updated panel in its bootloader")
        << Case{{healthy}, {update, file, "--port", "%1", "--after", "stay"}, 0,
                {"updated and verified, left in its bootloader"}, {}, "F"};
    QTest::newRow("a panel unplugged mid-write")
        << Case{{with([](PanelFaults &f) { f.dropLineAtRow = 3; })}, {update, file, "--port", "%1"}, 1,
                {"FAILED: error 5, Erro ao tentar escrever no dispositivo. (the block at 0x100 did not write: the port "
                 "went away (the cable pulled out?))"}, {}, "-"};
    QTest::newRow("the same panel by name, path and link is updated once")
        << Case{{healthy}, {update, file, "--port", "%n1", "--port", "%1", "--port", "%dir/link1"}, 0,
                {"\n1 panels updated, 0 failed"}, {}, "S"};
    QTest::newRow("read to a full disk is no success, nor a reinstall")
        << Case{{healthy}, {"read", "--port", "%1", "/dev/full", "--json"}, 1,
                {"could not write /dev/full: No space left on device", "\"ok\":false"}, {"Instale", "\"ok\":true"}, "B"};
    QTest::newRow("a port name with a line break forges no line")
        << Case{{}, {"list", "--port", "%dir/x\nfoo: KR 210 Nova: updated and verified"}, 0, {"x\\x0afoo"},
                {"\nfoo:"}, ""};
    QTest::newRow("list in JSON") << Case{{healthy}, {"list", "--port", "%1", "--json"}, 0,
                                          {"\"event\":\"port\"", "\"model\":\"KR 210 Nova\""}, {}, "B"};
    QTest::newRow("--version") << Case{{}, {"--version"}, 0, {"Bootloader library: "}, {}, "", false};
    QTest::newRow("--help opens no run log") << Case{{}, {"--help"}, 0, {"--after"}, {}, "", false};
    // Refused before any panel is asked anything: exit 2, in words or in JSON.
    // A file refused opens the run log; a usage error does not.
    QList<QPair<QStringList, QString>> refusals{
             {{update, "%dir/broken.hex", "--port", "%1"}, "damaged at line"},
             {{update, "%dir", "--port", "%1"}, "is a directory"},
             {{update, "%dir/silent.hex", "--port", "%1"}, "nothing came from it for 0.2 s"},
             {{update, "/dev/zero", "--port", "%1", "--json"}, "larger than 16 MiB"},
             {{update, "%dir/noreset.hex", "--port", "%1"}, "no reset jump at address 0 (the panel would have nothing to start)"},
             // A record that cannot be written is found before any panel is touched.
             {{update, file, "--port", "%1", "--record", "%dir/none/r.jsonl"}, "cannot be written: No such file or directory"},
             {{update, file, "--port", "%1", "--record", "%dir"}, "cannot be written: Is a directory"},
             {{update, "--port", "%1", "--json"}, "update takes one file"},
             {{update, file}, "update needs --port PORT"},
             {{update, file, "--all", "--port", "%1"}, "--all and --port were both given"},
             {{"verify", file, "--port", "%1", "--after", "later"}, "--after takes run or stay"},
             {{"verify", file, "--port", "%1", "--verify-all"}, "--verify-all goes with update"},
             {{"flash", file}, "unknown command flash"}};
    // A real application for a 64 KB PIC24, ending in that part's configuration words.
    if (QFile::exists(WIZARD_SAMPLES_DIR "/pic24fj64ga004-app.hex"))
        refusals.append({{update, WIZARD_SAMPLES_DIR "/pic24fj64ga004-app.hex", "--port", "%1"},
                         "built for another PIC24: configuration words of a 64 KB part at 0xabfc"});
    for (const auto &refused : refusals)
        QTest::newRow(qPrintable("refused: " + refused.second))
            << Case{{healthy}, refused.first, 2, {refused.second}, {}, "N",
                    !QRegularExpression("^(update takes|update needs|--all and|--after|--verify-all|unknown)").match(refused.second).hasMatch()};
}

void TestCli::runs()
{
    QFETCH(Case, c);
    QStringList paths, names;
    for (const PanelFaults &faults : c.panels) {
        VirtualPanel *p = panel(faults);
        QVERIFY(p);
        paths << p->devicePath();
        names << p->devicePath().mid(5);  // "pts/N"
    }
    QFile::remove(m_dir.filePath("link1"));
    if (!paths.isEmpty())
        QVERIFY(QFile::link(paths[0], m_dir.filePath("link1")));
    QVERIFY(intelhex::writeFile(m_dir.filePath("broken.hex"), m_sample.left(m_sample.size() / 2)));
    ::mkfifo(QFile::encodeName(m_dir.filePath("silent.hex")).constData(), 0600);
    QByteArray noReset = m_sample;
    const int reset = noReset.indexOf(":08000000");
    QVERIFY(reset > 0 && intelhex::writeFile(m_dir.filePath("noreset.hex"), noReset.remove(reset, noReset.indexOf('\n', reset) - reset + 1)));
    const auto fill = [&](QString text) {
        for (int i = paths.size(); i >= 1; --i)
            text.replace(QStringLiteral("%n%1").arg(i), names[i - 1]).replace(QStringLiteral("%%1").arg(i), paths[i - 1]);
        return text.replace("%file", m_samplePath).replace("%dir", m_dir.path());
    };
    QStringList arguments;
    for (const QString &argument : c.arguments)
        arguments << fill(argument);
    int status = -1;
    QString log;
    const QString output = run(arguments, &status, &log);
    QVERIFY2(status == c.status, qPrintable(QString::number(status) + '\n' + output));
    QCOMPARE(!log.isEmpty(), c.logs);
    for (const QString &said : c.says) {
        const bool inLog = said.startsWith("log:");
        QVERIFY2((inLog ? log : output).contains(fill(inLog ? said.mid(4) : said)), qPrintable(said + " in:\n" + output + log));
    }
    for (const QString &said : c.never) {
        const bool inLog = said.startsWith("log:");
        QVERIFY2(!(inLog ? log : output).contains(fill(inLog ? said.mid(4) : said)), qPrintable(said + " in:\n" + output));
    }
    // With --json every line, whatever the outcome, is one JSON object.
    if (arguments.contains("--json"))
        for (const QString &line : output.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(QJsonDocument::fromJson(line.toUtf8()).object().contains("event"), qPrintable(line));
    for (int i = 0; i < c.after.size(); ++i) {
        VirtualPanel &p = *m_panels[m_panels.size() - c.panels.size() + i];
        const QChar want = c.after[i];
        if (want == 'S' || want == 'F')
            QCOMPARE(flashMismatch(p, m_sample), QString());
        if (want == 'S')
            QTRY_VERIFY(!p.inBootloader());
        if (want == 'F' || want == 'B')
            QVERIFY(p.inBootloader());
        if (want == 'N')
            QCOMPARE(p.packets().size() + p.idRequests(), 0);
    }
}

// What read saves, update writes to another panel, and verify finds equal;
// progress into a pipe comes a line each tenth, each with the time left.
void TestCli::readUpdateVerifyRoundTrips()
{
    VirtualPanel *source = panel(), *target = panel();
    QVERIFY(source && target);
    int status = -1;
    run({"update", m_samplePath, "--port", source->devicePath(), "--after", "stay"}, &status);
    QCOMPARE(status, 0);
    const QString saved = m_dir.filePath(QStringLiteral("saved.hex")), record = m_dir.filePath("read.jsonl");
    run({"read", "--port", source->devicePath(), saved, "--record", record}, &status);
    QCOMPARE(status, 0);
    // The read's CRC is of what the panel returned, over the rows an update
    // of the saved file writes: that update's own CRC, where the panels hold the same.
    const QString updated = run({"update", saved, "--port", target->devicePath(), "--record", record}, &status);
    QCOMPARE(status, 0);
    const QByteArrayList lines = records(record);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(lines[0]).object().value("readBackCrc32"),
             QJsonDocument::fromJson(lines[1]).object().value("readBackCrc32"));
    QVERIFY(updated.count(QRegularExpression(" write +\\d+% +0:\\d\\d left\n")) <= 11);
    QTRY_VERIFY(!target->inBootloader());
    target->resetBootloader();
    // In JSON, at most one progress event a panel and percent.
    const QString json = run({"verify", saved, "--port", target->devicePath(), "--after", "run", "--json"}, &status);
    QVERIFY(status == 0 && json.count("\"phase\":\"verify\"") <= 102);
    const int writable = int(VirtualPanel::kProtectedStart * 2);
    QVERIFY(target->fileBytes().left(writable) == source->fileBytes().left(writable));
    QTRY_VERIFY(!target->inBootloader());
}

// Old code left at 0x9000, where the sample gives nothing: an update that
// checks what it wrote passes and says so in its record (its file named in
// full, though given relative); verify and an update
// that checks the whole memory name the address, and the panel is not started.
void TestCli::anEraseThatMissesACellTheFileLeavesBlank()
{
    PanelFaults faults;
    faults.eraseMissAddress = 0x9000;
    VirtualPanel *p = panel(faults);
    QVERIFY(p);
    p->fillFlash(0x00);
    const QString record = m_dir.filePath("gap.jsonl");
    QFile::remove(record);
    int status = -1;
    run({"update", QDir::current().relativeFilePath(m_samplePath), "--port", p->devicePath(), "--after", "stay", "--record", record}, &status);
    QCOMPARE(status, 0);
    const QJsonObject first = QJsonDocument::fromJson(records(record).value(0)).object();
    QVERIFY(first.value("verified") == "written" && first.value("file") == QFileInfo(m_samplePath).absoluteFilePath());
    const QString notErased = QStringLiteral("the flash at 0x9000 is not erased: expected erased");
    QVERIFY(run({"verify", m_samplePath, "--port", p->devicePath()}, &status).contains(notErased));
    QCOMPARE(status, 1);
    QVERIFY(run({"update", m_samplePath, "--port", p->devicePath(), "--verify-all"}, &status).contains(notErased));
    QCOMPARE(status, 1);
    QTest::qWait(50);
    QVERIFY(p->inBootloader());
    // Without the fault the whole check passes, and the record says so.
    p->setFaults(PanelFaults());
    run({"update", m_samplePath, "--port", p->devicePath(), "--verify-all", "--after", "stay", "--record", record}, &status);
    QCOMPARE(status, 0);
    QCOMPARE(QJsonDocument::fromJson(records(record).value(1)).object().value("verified").toString(), QStringLiteral("all"));
}

// A record whose disk fills part-way through a line: the line is undone, the
// file as it was, and the line shown on the error stream; the next append
// starts on a fresh line whatever the file ended with. On a small tmpfs
// where the machine allows one, else with the space a test may set.
void TestCli::aFullDiskTearsNoRecord()
{
    const QString small = m_dir.filePath("small");
    QDir().mkpath(small);
    const bool mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs", small}) == 0;
    const QString record = small + "/full.rec";
    const QByteArray torn = QByteArray(3900, 'x').prepend("{\"torn\":\"");
    QVERIFY(intelhex::writeFile(record, torn));
    if (!mounted)
        RecordBook::setSpaceForTests(torn.size() + 100);
    VirtualPanel *p = panel();
    QVERIFY(p);
    int status = -1;
    const QString output = run({"update", m_samplePath, "--port", p->devicePath(), "--after", "stay", "--record", record}, &status);
    QCOMPARE(status, 1);
    QVERIFY2(output.contains("could not be written: No space left on device") && output.contains("\n{\"blocksVerified\""),
             qPrintable(output));
    QCOMPARE(contents(record), torn);
    RecordBook::setSpaceForTests(-1);
    if (mounted)
        QVERIFY(QProcess::execute("umount", {small}) == 0 && intelhex::writeFile(record, torn));
    run({"update", m_samplePath, "--port", p->devicePath(), "--record", record}, &status);
    QCOMPARE(status, 0);
    const QByteArrayList lines = contents(record).split('\n');
    QVERIFY(lines.size() == 3 && lines[0] == torn && QJsonDocument::fromJson(lines[1]).object().value("result") == "ok");
}

QProcess *TestCli::program(const QStringList &arguments, const QString &reader)
{
    auto *process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", m_dir.filePath("home"));
    process->setProcessEnvironment(env);
    const QString binary = QStringLiteral(WIZARD_BINARY_DIR "/bin/bootloader-cli");
    if (reader.isEmpty())
        process->start(binary, arguments);
    else
        process->start("bash", QStringList{"-c", "set -o pipefail; \"$0\" \"$@\" | " + reader, binary} + arguments);
    return process;
}

// Signals and the record: one SIGTERM mid-write stops every panel at its
// next block, in its bootloader, and records it; a second signal, with one
// panel done and one in flight, ends the run at once with both recorded; a
// kill after one panel has ended loses nothing of its line. The log ends as
// an interrupted run does.
void TestCli::signalsStopThePanelsAndKeepTheirRecords()
{
    for (int sent : {1, 2, 9}) {
        VirtualPanel *done = panel(), *busy = panel(PanelFaults(), true);
        QVERIFY(done && busy);
        const QString record = m_dir.filePath(QStringLiteral("signal%1.jsonl").arg(sent));
        QStringList arguments{"update", m_samplePath, "--port", busy->devicePath(), "--record", record};
        if (sent > 1)
            arguments << "--port" << done->devicePath();
        QProcess *cli = program(arguments);
        QTRY_VERIFY_WITH_TIMEOUT(busy->rowWrites() >= 3, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(records(record).size(), sent > 1 ? 1 : 0, 10000);  // the quick panel's whole line
        QElapsedTimer clock;
        if (sent == 9) {
            cli->kill();
        } else {
            // Two of a kind still pending are one; the lower number comes first.
            ::kill(pid_t(cli->processId()), sent == 1 ? SIGTERM : SIGINT);
            if (sent == 2)
                ::kill(pid_t(cli->processId()), SIGTERM);
            clock.start();
        }
        QVERIFY(cli->waitForFinished(10000));
        QVERIFY2(sent != 2 || clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(contents(record).endsWith('\n'));  // whole lines only
        const QByteArrayList kept = records(record);
        QCOMPARE(kept.size(), sent == 9 ? 1 : sent);
        for (const QByteArray &line : kept)
            QVERIFY(QJsonDocument::fromJson(line).object().value("result") == (line == kept.last() && sent != 9 ? "interrupted" : "ok"));
        if (sent == 9)
            continue;
        QVERIFY(cli->exitCode() == 143 || (sent == 2 && cli->exitCode() == 130));  // two threads may take one each
        const QString output = QString::fromUtf8(cli->readAllStandardOutput());
        QVERIFY2(output.contains(QRegularExpression("interrupted during write(| at 0x[0-9a-f]*[08]0)( by a second signal)?; the panel "
                                                    "stays in its bootloader, run update again\n")), qPrintable(output));
        QVERIFY(busy->inBootloader());
        QDir logs(m_dir.filePath("home/BootloaderWizard/logs"));
        const QByteArray text = contents(logs.filePath(logs.entryList({"run-*.log"}, QDir::Files, QDir::Time).value(0)));
        QVERIFY(text.trimmed().endsWith(" Run ended: interrupted.") && text.contains("after a second signal") == (sent == 2));
    }
}

// Into "| head -1", as a dropped session too: the update, at the line's
// pace, goes on to its end after the reader has gone.
void TestCli::aReaderThatGoesAwayStopsNothing()
{
    VirtualPanel *p = panel(PanelFaults(), true);
    QVERIFY(p);
    // As a terminal's shell starts it: SIGPIPE not already ignored, which the
    // shell and the program would inherit.
    const auto inherited = std::signal(SIGPIPE, SIG_DFL);
    QProcess *cli = program({"update", m_samplePath, "--port", p->devicePath()}, "head -1");
    QVERIFY(cli->waitForStarted(10000));
    std::signal(SIGPIPE, inherited);
    QVERIFY(cli->waitForFinished(20000));
    QCOMPARE(cli->exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli->exitCode(), 0);
    QCOMPARE(flashMismatch(*p, m_sample), QString());
    QTRY_VERIFY(!p->inBootloader());
}

// Three slots, as a bench's by-path links, filled one after another (the
// first before the watch starts, taken with --all); the panel in the second
// fails, is unplugged and plugged in again. Each attempt
// leaves one record line with the file's SHA-256 and the CRC-32 of what the
// panel returned when read back; Ctrl-C ends the watch with the totals.
void TestCli::aBenchWatchesItsSlotsAndRecordsEveryPanel()
{
    const QString record = m_dir.filePath("watch.jsonl");
    QStringList arguments{"update", m_samplePath, "--watch", "--all", "--record", record, "--json"};
    for (int slot = 1; slot <= 3; ++slot) {
        QFile::remove(m_dir.filePath(QStringLiteral("slot%1").arg(slot)));
        arguments << "--port" << m_dir.filePath(QStringLiteral("slot%1").arg(slot));
    }
    PanelFaults fault;
    fault.writeNoReplyAtRow = 3;
    const QVector<VirtualPanel *> panels{panel(), panel(fault), panel()};
    QVERIFY(QFile::link(panels[0]->devicePath(), m_dir.filePath("slot1")));
    int status = -1;
    QString output;
    std::thread watching([&] { output = run(arguments, &status); });
    QThread::msleep(300);  // the watch has taken stock of the ports there at its start
    for (int slot = 1; slot <= 4; ++slot) {
        VirtualPanel *p = panels[slot == 4 ? 1 : slot - 1];
        const QString link = m_dir.filePath(QStringLiteral("slot%1").arg(slot == 4 ? 2 : slot));
        if (slot == 4) {  // plugged in again, with the fault gone
            QFile::remove(link);
            QThread::msleep(200);
            p->setFaults(PanelFaults());
            p->clearPackets();
        }
        QVERIFY(slot == 1 || QFile::link(p->devicePath(), link));
        QTRY_COMPARE_WITH_TIMEOUT(records(record).size(), slot, 10000);
    }
    QThread::msleep(200);  // nothing is tried twice
    QCOMPARE(records(record).size(), 4);
    // The record cannot be written for a while: the panel that ends then
    // keeps its line for later, and the next plug is not taken until it can.
    const auto writable = [&](bool yes) {
        return ::geteuid() == 0 ? QProcess::execute("chattr", {yes ? "-i" : "+i", record}) == 0
                                : QFile::setPermissions(record, yes ? QFile::ReadOwner | QFile::WriteOwner : QFile::ReadOwner);
    };
    QVERIFY(writable(false));
    for (int slot : {1, 3}) {  // plugged in again: the first while the record fails, the second after
        QFile::remove(m_dir.filePath(QStringLiteral("slot%1").arg(slot)));
        QThread::msleep(200);
        panels[slot - 1]->resetBootloader();
        QVERIFY(QFile::link(panels[slot - 1]->devicePath(), m_dir.filePath(QStringLiteral("slot%1").arg(slot))));
        QTRY_VERIFY_WITH_TIMEOUT(!panels[0]->inBootloader(), 10000);
    }
    QThread::msleep(300);
    QVERIFY(writable(true) && panels[2]->inBootloader());
    QTRY_COMPARE_WITH_TIMEOUT(records(record).size(), 6, 10000);
    std::raise(SIGINT);
    watching.join();
    QCOMPARE(status, 130);
    QVERIFY2(output.contains("\"event\":\"watching\"") && output.contains("\"failed\":1")
             && output.contains("\"updated\":5") && output.count("not updated: the record") == 1, qPrintable(output));
    const QString sha = QCryptographicHash::hash(m_sample, QCryptographicHash::Sha256).toHex();
    // What the replugged panel's own flash holds where each read of its one
    // attempt asked, in turn; the same file on the same model reads the same.
    const VirtualPanel &replugged = *panels[1];
    quint32 crc = 0;
    for (const QByteArray &r : replugged.packets())
        if (r[0] == 1 && quint8(r[4]) != 0xFF)
            crc = crc32(replugged.readFlash(quint8(r[2]) | quint8(r[3]) << 8 | quint32(quint8(r[4])) << 16, quint8(r[1])), crc);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const QJsonObject line = QJsonDocument::fromJson(records(record).at(attempt)).object();
        QCOMPARE(line.value("slot").toString(), QStringLiteral("slot%1").arg(attempt == 3 ? 2 : attempt + 1));
        QCOMPARE(line.value("result").toString(), attempt == 1 ? "failed" : "ok");
        QCOMPARE(line.value("fileSha256").toString(), sha);
        QVERIFY(QDateTime::fromString(line.value("start").toString(), Qt::ISODateWithMs).isValid());
        if (attempt == 1) {
            QCOMPARE(line.value("failedAt").toInt(), 0x100);
            continue;
        }
        QCOMPARE(line.value("readBackCrc32").toString(), QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')));
    }
}

// What is plugged in that is no panel to update is said once, with a line
// and an event, and not asked again until it goes away; a port there at the
// start is said to be left alone; a listed port whose device is absent says
// nothing until its panel comes.
void TestCli::theWatchSaysWhatItSeesOnce()
{
    const auto reply = [](const QByteArray &bytes) { PanelFaults f; f.probeReplyOverride = bytes; return f; };
    const QByteArray otherController = BootFrame::frame(BootFrame::readRequest(0xFF0000, 1) + intelhex::bytes({0x47, 0x40, 0, 0}));
    const QVector<VirtualPanel *> panels{panel(), panel(reply("not a bootloader")), panel(reply(otherController)), panel(),
                                         panel(), panel()};
    panels[3]->setModelByte(3);
    QStringList arguments{"update", m_samplePath, "--watch", "--json"};
    for (const char *name : {"w1", "w2", "w3", "w4", "w5", "w6", "w7"}) {
        QFile::remove(m_dir.filePath(name));
        arguments << "--port" << m_dir.filePath(name);
    }
    PseudoTerminal silent;
    QVERIFY(silent.open() && QFile::link(panels[0]->devicePath(), m_dir.filePath("w1")));
    const int held = ::open(QFile::encodeName(panels[4]->devicePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);  // another program's open of it
    int status = -1;
    QString output, log;
    std::thread watching([&] { output = run(arguments, &status, &log); });
    QThread::msleep(300);
    PortLister::setOverride({{"w7", m_dir.filePath("w7")}});  // listed, its device not there
    const QStringList targets{silent.slavePath(), panels[1]->devicePath(), panels[3]->devicePath(),
                              panels[2]->devicePath(), panels[4]->devicePath()};
    for (int i = 0; i < targets.size(); ++i)
        QVERIFY(QFile::link(targets[i], m_dir.filePath(QStringLiteral("w%1").arg(i + 2))));
    QThread::msleep(800);
    QVERIFY(QFile::link(panels[5]->devicePath(), m_dir.filePath("w7")));
    QTRY_VERIFY_WITH_TIMEOUT(!panels[5]->inBootloader(), 10000);
    QThread::msleep(300);  // nothing is asked twice
    std::raise(SIGINT);
    watching.join();
    ::close(held);
    PortLister::clearOverride();
    QCOMPARE(status, 130);
    QVERIFY2(output.startsWith(QStringLiteral("{\"command\":\"update\",\"event\":\"watching\",\"leftAlone\":[\"w1 %1\"]")
                                   .arg(DevicePath::nameFromLocation(panels[0]->devicePath()))), qPrintable(output));
    const QStringList said{"no reply", "not a panel", "unknown panel model 3", "another controller (device ID 0x4047)",
                           "held by this program"};
    for (int i = 0; i < said.size(); ++i)
        QVERIFY2(output.count(QRegularExpression(QStringLiteral("\"problem\":\"not a panel to update: %1[^\"]*\",\"slot\":\"w%2\"")
                                                     .arg(QRegularExpression::escape(said[i])).arg(i + 2))) == 1, qPrintable(said[i] + "\n" + output));
    QVERIFY2(output.count("\"event\":\"skipped\"") == said.size(), qPrintable(output));
    QCOMPARE(output.count("\"event\":\"result\""), 1);
    QCOMPARE(log.count("[ \"" + DevicePath::nameFromLocation(silent.slavePath()) + "\" ]: wrote 9 bytes"), 1);
    for (VirtualPanel *p : {panels[1], panels[2], panels[3]})
        QVERIFY(p->packets().size() + p->idRequests() <= 2);
}

// Two programs append 500 long lines each to one record at once, each
// through its own book and file handle, as two processes would: every line
// comes out whole.
void TestCli::twoProgramsRecordingAtOnceTearNoLine()
{
    const QString record = m_dir.filePath("shared.jsonl");
    UpdateRecord line;
    line.command = QStringLiteral("update");
    line.start = line.end = QDateTime::currentDateTimeUtc();
    line.port.portName = QString(600, QLatin1Char('x'));
    std::atomic<int> written{0};
    const auto writer = [&] {
        RecordBook book(record);
        QString why;
        for (int i = 0; i < 500; ++i)
            written += book.append(line.line(), &why) ? 1 : 0;
    };
    std::thread first(writer), second(writer);
    first.join();
    second.join();
    QCOMPARE(written.load(), 1000);
    const QByteArrayList lines = records(record);
    QCOMPARE(lines.size(), 1000);
    for (const QByteArray &each : lines)
        QVERIFY2(QJsonDocument::fromJson(each).object().value("port").toString().size() == 600, each.left(80));
}

// The records the runs left, for the schema's test.
void TestCli::cleanupTestCase()
{
    for (const QFileInfo &record : QDir(m_dir.path()).entryInfoList({"*.jsonl"}, QDir::Files))
        keepJson(contents(record.filePath()));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
