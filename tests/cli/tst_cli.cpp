// bootloader-cli in-process against virtual panels: panels updated at once
// with a fault on one, the read-update-verify round trip, JSON output, and a
// file that does not load.
#include "cli/cli.h"
#include "device/timings.h"
#include "sim/virtualpanel.h"
#include "support/flashcheck.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cstdio>
#include <memory>

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aFaultOnOnePanelLeavesTheOtherUpdated();
    void readUpdateVerifyRoundTrips();
    void aFileThatDoesNotLoadErasesNothing();

private:
    // Runs the command; its output, line by line.
    QStringList run(const QStringList &arguments, int *status);
    VirtualPanel *panel(const PanelFaults &faults = PanelFaults());

    std::vector<std::unique_ptr<VirtualPanel>> m_panels;
    QTemporaryDir m_dir;
    QByteArray m_sample;
};

void TestCli::initTestCase()
{
    Timings &t = Timings::current();
    t.answerMs = 300;
    t.linkTimeoutMs = 150;
    t.eraseMsPerPage = 0;
    t.wakeUpPauseMs = 0;
    QFile sample(QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    m_sample = sample.readAll();
}

QStringList TestCli::run(const QStringList &arguments, int *status)
{
    std::FILE *out = std::tmpfile();
    *status = Cli::run(arguments, out, out);
    std::rewind(out);
    QByteArray text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        text.append(buffer, int(n));
    std::fclose(out);
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

VirtualPanel *TestCli::panel(const PanelFaults &faults)
{
    PanelOptions options;
    options.paced = false;
    options.faults = faults;
    m_panels.push_back(std::make_unique<VirtualPanel>(options));
    return m_panels.back()->start() ? m_panels.back().get() : nullptr;
}

// The failed panel's summary names the error and the first block that
// failed; it stays in its bootloader, the other is started.
void TestCli::aFaultOnOnePanelLeavesTheOtherUpdated()
{
    PanelFaults fault;
    fault.writeNoReplyAtRow = 3;
    VirtualPanel *good = panel(), *bad = panel(fault);
    QVERIFY(good && bad);
    const QString sample = QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex");
    int status = -1;
    const QStringList lines = run({"update", sample, "--port", good->devicePath(), "--port", bad->devicePath(),
                                   "--json"}, &status);
    QCOMPARE(status, 1);
    QCOMPARE(flashMismatch(*good, m_sample), QString());
    QTRY_VERIFY(!good->inBootloader());
    QVERIFY(bad->inBootloader());
    QStringList results;
    for (const QString &line : lines) {
        const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
        QVERIFY2(!event.isEmpty(), qPrintable(line));
        if (event.value("event") == "result")
            results << QStringLiteral("%1 %2 %3 %4").arg(event.value("port").toString()).arg(event.value("ok").toBool())
                           .arg(event.value("code").toInt()).arg(event.value("failedAt").toInt(-1));
    }
    const QString goodName = good->devicePath().mid(5), badName = bad->devicePath().mid(5);  // "pts/N"
    QCOMPARE(results, QStringList({goodName + " 1 0 -1", badName + " 0 5 256"}));  // the third row, at 0x100
}

void TestCli::readUpdateVerifyRoundTrips()
{
    VirtualPanel *source = panel(), *target = panel();
    QVERIFY(source && target);
    int status = -1;
    run({"update", QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex"), "--port", source->devicePath()},
        &status);
    QCOMPARE(status, 0);
    // The wake-up packet has no answer: the panel is back in its bootloader
    // only once it has taken it.
    QTRY_VERIFY(!source->inBootloader());
    source->resetBootloader();
    const QString saved = m_dir.filePath(QStringLiteral("saved.hex"));
    run({"read", "--port", source->devicePath(), saved}, &status);
    QCOMPARE(status, 0);
    const QStringList updated = run({"update", saved, "--port", target->devicePath()}, &status);
    QCOMPARE(status, 0);
    QVERIFY2(updated.last().endsWith(QLatin1String("updated and verified")), qPrintable(updated.join('\n')));
    QTRY_VERIFY(!target->inBootloader());
    target->resetBootloader();
    run({"verify", saved, "--port", target->devicePath()}, &status);
    QCOMPARE(status, 0);
    const int writable = int(VirtualPanel::kProtectedStart * 2);
    QVERIFY(target->fileBytes().left(writable) == source->fileBytes().left(writable));
    // A panel that differs does not verify.
    target->fillFlash(0x00);
    run({"verify", saved, "--port", target->devicePath()}, &status);
    QCOMPARE(status, 1);
}

void TestCli::aFileThatDoesNotLoadErasesNothing()
{
    VirtualPanel *p = panel();
    QVERIFY(p);
    const QString broken = m_dir.filePath(QStringLiteral("broken.hex"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(m_sample.left(m_sample.size() / 2)) > 0);
    file.close();
    int status = -1;
    for (const QStringList &arguments : {QStringList{"update", broken, "--port", p->devicePath()},
                                         QStringList{"update", "--port", p->devicePath()},
                                         QStringList{"update", broken}, QStringList{"flash", broken}}) {
        run(arguments, &status);
        QCOMPARE(status, 2);
    }
    QCOMPARE(p->pageErases() + p->idRequests(), 0);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
