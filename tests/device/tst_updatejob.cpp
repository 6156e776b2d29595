#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/updatejob.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"
#include "sim/virtualpanel.h"
#include "support/fixtures.h"
#include "support/flashcheck.h"

#include <QJsonObject>
#include <QtTest>

#include <memory>

// The update job as both programs run it, against the virtual panel: one
// table of panel faults and endings, each with the outcome it gives, the
// record line it leaves and what the panel is left in.
class TestUpdateJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void faults_data();
    void faults();
};

namespace {

enum class Flash { Any, File, Untouched };

struct Row
{
    PanelFaults faults;
    UpdateJob::Kind kind = UpdateJob::Update;
    UpdateEngine::Ending ending = UpdateEngine::StartApplication;
    int model = 1;
    bool stopAtOnce = false;
    // Expected:
    QString phase;            // empty: ok
    int code = NoError;
    QString failure = {};     // the failure's words hold this
    QString left = "bootloader";
    Flash flash = Flash::Any;
};

} // namespace

Q_DECLARE_METATYPE(Row)

void TestUpdateJob::initTestCase()
{
    Timings &t = Timings::current();
    t.answerMs = 300;
    t.linkTimeoutMs = 150;
    t.eraseMsPerPage = 0;
    QVERIFY(ConnectionFactory::start());
}

void TestUpdateJob::faults_data()
{
    QTest::addColumn<Row>("row");
    using F = PanelFaults &;
    const auto stay = UpdateEngine::StayInBootloader;
    QTest::newRow("healthy: started") << Row{{}, UpdateJob::Update, {}, 1, false, {}, NoError, {}, "application", Flash::File};
    QTest::newRow("healthy, asked to stay: verified, not started")
        << Row{{}, UpdateJob::Update, stay, 1, false, {}, NoError, {}, "bootloader", Flash::File};
    QTest::newRow("a stray byte before every reply, the probe's too")
        << Row{with([](F f) { f.noiseBeforeEveryReply = true; }), UpdateJob::Update, {}, 1, false, {}, NoError, {},
               "application", Flash::File};
    QTest::newRow("noise with 0x55 before every reply") << Row{with([](F f) { f.noiseBytes = 1000; }), UpdateJob::Update,
                                                              {}, 1, false, {}, NoError, {}, "application", Flash::File};
    QTest::newRow("silent after the search: one erase")
        << Row{with([](F f) { f.silentAfterId = true; }), UpdateJob::Update, {}, 1, false, "erase", EraseFailed,
               "the erase failed: the panel did not answer", "bootloader", Flash::Untouched};
    QTest::newRow("no answer at the third row")
        << Row{with([](F f) { f.writeNoReplyAtRow = 3; }), UpdateJob::Update, {}, 1, false, "write", WriteFailed,
               "the block at 0x100 did not write: the panel did not answer"};
    QTest::newRow("unplugged mid-write")
        << Row{with([](F f) { f.dropLineAtRow = 3; }), UpdateJob::Update, {}, 1, false, "write", WriteFailed,
               "did not write: the port went away"};
    QTest::newRow("a word reads back wrong: the update fails in its verify")
        << Row{with([](F f) { f.corruptReadAddress = 0x1010; }), UpdateJob::Update, {}, 1, false, "verify",
               WriteFailed, "differs from the file at 0x1010", "bootloader", Flash::File};
    QTest::newRow("a verify of a panel that holds something else names the address")
        << Row{{}, UpdateJob::Verify, stay, 1, false, "verify", NoError, "the block at 0x0 differs from the file at 0x4",
               "bootloader", Flash::Untouched};
    QTest::newRow("a verify of a silent panel fails as a read, not as a difference")
        << Row{with([](F f) { f.silentAfterId = true; }), UpdateJob::Verify, stay, 1, false, "verify", ConnectionFailed,
               "could not be read back: the panel did not answer"};
    QTest::newRow("an unknown model is not touched")
        << Row{{}, UpdateJob::Update, {}, 3, false, "identify", DeviceNotFound, "unknown panel model 3", "", Flash::Untouched};
    QTest::newRow("no model byte: not a panel") << Row{with([](F f) { f.idMissing = true; }), UpdateJob::Update, {}, 1,
                                                       false, "identify", DeviceNotFound, "not a panel (no model byte)",
                                                       "", Flash::Untouched};
    QTest::newRow("asked to stop before it began") << Row{{}, UpdateJob::Update, {}, 1, true, "erase", NoError,
                                                          "interrupted before the erase", "bootloader", Flash::Untouched};
}

void TestUpdateJob::faults()
{
    QFETCH(Row, row);
    PanelOptions options;
    options.paced = false;
    options.modelByte = row.model;
    VirtualPanel panel(options);
    QVERIFY(panel.start());
    panel.fillFlash(0x00);
    const QByteArray before = panel.fileBytes();
    panel.setFaults(row.faults);

    FirmwareImage::Check check;
    qint64 at = 0;
    UpdateJob::Options job;
    job.kind = row.kind;
    job.ending = row.ending;
    job.image = FirmwareImage::load(samplePath(), DeviceProfile::supported(), 1000, &check, &at);
    QVERIFY(job.image);
    std::atomic<bool> stop{row.stopAtOnce};
    job.stop = &stop;
    job.tool = QStringLiteral("test 1");
    const SerialPortEntry port(DevicePath::nameFromLocation(panel.devicePath()), panel.devicePath());
    UpdateJob update(job, port);
    update.start();
    QVERIFY(QTest::qWaitFor([&] { return update.done(); }, 20000));

    const UpdateEngine::Outcome &o = update.result().outcome;
    QCOMPARE(o.ok, row.phase.isEmpty());
    QVERIFY2(o.failure.contains(row.failure), qPrintable(o.failure));
    const QJsonObject line = update.record().toJson();
    QVERIFY(line.value("command") == UpdateJob::commandName(row.kind) && line.value("port") == port.portName
            && line.value("tool") == "test 1" && line.value("fileSha256").toString().size() == 64);
    QCOMPARE(line.value("result").toString(), o.ok ? "ok" : row.stopAtOnce ? "interrupted" : "failed");
    QCOMPARE(line.value("left").toString(), row.left);
    QCOMPARE(line.value("phase").toString(), row.phase);
    QCOMPARE(line.value("code").toInt(), row.code);
    QCOMPARE(line.value("model").toString(), row.phase == "identify" ? QString() : DeviceProfile::modelName(row.model));
    if (!panel.lineDropped())
        QCOMPARE(panel.inBootloader(), row.left != QLatin1String("application"));
    // A read-back that differs is the write's time: the verify phase never ran.
    if (row.phase == QLatin1String("verify") && row.kind == UpdateJob::Update)
        QVERIFY(!line.value("seconds").toObject().contains("verify") && line.value("seconds").toObject().contains("write"));
    QVERIFY(row.flash != Flash::File || flashMismatch(panel, sampleText()).isEmpty());
    QVERIFY(row.flash != Flash::Untouched || panel.fileBytes() == before);
    // One erase, not six, for a panel gone silent.
    QVERIFY(!row.faults.silentAfterId || row.kind != UpdateJob::Update || panel.pageErases() == 0);
}

QTEST_GUILESS_MAIN(TestUpdateJob)
#include "tst_updatejob.moc"
