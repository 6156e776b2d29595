#include "library/library.h"

#include "device/picboot.h"
#include "panelrack.h"
#include "support/logcapture.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString sample(const QString &name)
{
    return QStringLiteral(WIZARD_SAMPLES_DIR "/") + name;
}

// The bytes the panel holds after `records` were written, in its own layout.
QByteArray expectedFlash(const intelhex::Records &records)
{
    QByteArray bytes;
    for (const auto &r : records)
        bytes += r.second;
    return bytes;
}

} // namespace

class TestLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void scanKeepsKnownPanelsInCodeUnitOrder();
    void loadTakesOnlyFirmwareForThisController();
    void writeOnlyWhatWasLoadedThenWake();
    void failedWritesAreFailures();
    void closePortAndUnknownNames();

private:
    QString hexFile(const QString &name, const intelhex::Records &records)
    {
        const QString path = m_files.filePath(name);
        return intelhex::writeFile(path, intelhex::file(records)) ? path : QString();
    }

    QTemporaryDir m_files;
    QString m_goodHex;
    intelhex::Records m_goodRecords;
};

void TestLibrary::initTestCase()
{
    QVERIFY(Library::start());
    QVERIFY(m_files.isValid());
    // One 256-byte block at device address 0x800.
    m_goodRecords = programRecords(0x1000, 16);
    m_goodHex = hexFile(QStringLiteral("good.hex"), m_goodRecords);
    QVERIFY(!m_goodHex.isEmpty());
}

void TestLibrary::cleanup()
{
    // Closes every link a test left open, also after a failed check.
    library.reset();
}

void TestLibrary::scanKeepsKnownPanelsInCodeUnitOrder()
{
    PanelRack rack;
    PanelOptions options = PanelRack::unpaced();
    QVERIFY(rack.add(QStringLiteral("port10"), options));
    options.modelByte = 2;
    QVERIFY(rack.add(QStringLiteral("port3"), options));
    options.modelByte = 3;
    VirtualPanel *p7 = rack.add(QStringLiteral("port7"), options);
    options.modelByte = 0;
    VirtualPanel *p8 = rack.add(QStringLiteral("port8"), options);
    QVERIFY(p7 && p8);
    rack.publish({rack.path(QStringLiteral("port5"))});
    const int held7 = openDescriptors(p7->devicePath());
    const int held8 = openDescriptors(p8->devicePath());

    LogCapture log;
    library.reset();
    QVERIFY(library.addPort(rack.path(QStringLiteral("port3"))));
    QVERIFY(!library.addPort(rack.path(QStringLiteral("port7"))));
    QVERIFY(library.addPort(rack.path(QStringLiteral("port10"))));
    QVERIFY(!library.addPort(rack.path(QStringLiteral("port8"))));
    QVERIFY(!library.addPort(rack.path(QStringLiteral("port5"))));

    // "…10" sorts before "…3": code units, not numbers.
    const QList<QString> expected{rack.path(QStringLiteral("port10")), rack.path(QStringLiteral("port3"))};
    QCOMPARE(library.foundPorts(), expected);
    QCOMPARE(library.deviceDescriptions(),
             (QList<QString>{QStringLiteral("KR 210 Nova na porta ") + expected[0],
                             QStringLiteral("QD 200 Nova na porta ") + expected[1]}));
    for (const QString &port : expected)
        QCOMPARE(log.count(QStringLiteral("Inserted [ \"%1\" ] to list.").arg(port)), 1);
    QCOMPARE(log.countPrefix(QStringLiteral("Inserted [")), 2);

    // Panels of an unknown model are left out, their links closed again.
    QCOMPARE(log.countPrefix(QStringLiteral("Library::addPort(): the panel on")), 2);
    QVERIFY(log.containsPrefix(QStringLiteral("Library::addPort(): the panel on \"%1\" reports the unknown model 3")
                                   .arg(rack.path(QStringLiteral("port7")))));
    QCOMPARE(openDescriptors(p7->devicePath()), held7);
    QCOMPARE(openDescriptors(p8->devicePath()), held8);
    QCOMPARE(library.lastError(), 0);

    // The dropped port is free: once the panel reports a known model, it is found.
    p7->setModelByte(1);
    QVERIFY(library.addPort(rack.path(QStringLiteral("port7"))));
    QCOMPARE(library.foundPorts().size(), 3);
    QCOMPARE(library.deviceDescriptions().size(), 3);
    QVERIFY(openDescriptors(p7->devicePath()) > held7);

    // reset() closes the links it forgets, so the next scan finds the same
    // panels on the same ports.
    const QList<QString> found = library.foundPorts();
    QVERIFY(!library.write(QStringLiteral("nowhere")));
    QVERIFY(library.lastError() != 0);
    library.reset();
    QVERIFY(library.foundPorts().isEmpty());
    QVERIFY(library.deviceDescriptions().isEmpty());
    QCOMPARE(library.lastError(), 0);
    QCOMPARE(openDescriptors(p7->devicePath()), held7);
    QVERIFY(rack.scan({QStringLiteral("port10"), QStringLiteral("port3"), QStringLiteral("port7")}));
    QCOMPARE(library.foundPorts(), found);
}

void TestLibrary::loadTakesOnlyFirmwareForThisController()
{
    {
        LogCapture log;
        QVERIFY(library.load(m_goodHex));
        QStringList own;
        for (const QString &line : log.lines())
            if (line.startsWith(QLatin1String("Library::")))
                own.append(line);
        QCOMPARE(own, (QStringList{QStringLiteral("Library::load(): hex = \"%1\"").arg(m_goodHex),
                                   QStringLiteral("Library::load(): Parse successful")}));
    }

    // The last program address, 0x157FF, is file byte 0x2AFFF. The last
    // page holds the bootloader: only its configuration words (0x157FA to
    // 0x157FF, file bytes 0x2AFF4 on) may stand there, and they are not
    // written. A file must give the writable memory something.
    const QByteArray config = QByteArray::fromHex("ffff7f00ffff3f00ffff7f00");
    const QByteArray blankRow = QByteArray::fromHex("ffffff00").repeated(4);
    struct Row
    {
        const char *name;
        intelhex::Records records;
        Library::LoadFailure failure;
        qint64 at;
        const char *log;
    };
    const QList<Row> rows = {
        {"code and the configuration words", m_goodRecords + intelhex::Records{{0x2AFF4, config}}, Library::Loaded, 0,
         "Library::load(): Parse successful"},
        {"one byte past the end", m_goodRecords + programRecords(0x2AFF4, 1), Library::OutsideChip, 0x15800,
         "Library::load(): data at device address 0x15800 lies past the program memory, which ends at 0x157ff: "
         "not firmware for this device."},
        {"code in the protected page", m_goodRecords + programRecords(0x2A800, 1), Library::ProtectedPage, 0x15400,
         "Library::load(): data at device address 0x15400 lies in the protected page 0x15400-0x157ff, which is "
         "never written."},
        {"just below the configuration words", m_goodRecords + programRecords(0x2AFF0, 1), Library::ProtectedPage,
         0x157f8, nullptr},
        {"only the end record", {}, Library::NothingToWrite, 0,
         "Library::load(): the file holds no data for the writable program memory: nothing to write."},
        {"only the configuration words", {{0x2AFF4, config}}, Library::NothingToWrite, 0, nullptr},
        {"only blank records", {{0x1000, blankRow}, {0x1010, blankRow}}, Library::NothingToWrite, 0, nullptr},
    };
    for (const Row &row : rows) {
        LogCapture log;
        const bool loaded = library.load(hexFile(QStringLiteral("case.hex"), row.records));
        QVERIFY2(loaded == (row.failure == Library::Loaded), row.name);
        QVERIFY2(library.loadFailure() == row.failure, row.name);
        if (row.at)
            QVERIFY2(library.loadFailureAt() == row.at, row.name);
        QVERIFY2(!row.log || log.contains(QString::fromLatin1(row.log)), row.name);
    }

    if (!QFileInfo::exists(QStringLiteral(WIZARD_SAMPLES_DIR)))
        QSKIP("firmware samples not available");
    // A 64 KB part's application fits this controller's memory.
    QVERIFY(library.load(sample(QStringLiteral("pic24fj64ga004-app.hex"))));
    // Other parts' configuration words lie beyond it.
    for (const QString &other : {QStringLiteral("pic24fj256gb110-test.hex"), QStringLiteral("pic24f16ka301-blink.hex")}) {
        LogCapture log;
        QVERIFY2(!library.load(sample(other)), qPrintable(other));
        QVERIFY(log.containsPrefix(QStringLiteral("Library::load(): data at device address")));
        QVERIFY(log.contains(QStringLiteral("Library::load(): Parse failed")));
    }
}

void TestLibrary::writeOnlyWhatWasLoadedThenWake()
{
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("ttyUSB0"));
    QVERIFY(panel);
    QVERIFY(rack.scan({QStringLiteral("ttyUSB0")}));
    const QString port = rack.path(QStringLiteral("ttyUSB0"));
    panel->fillFlash(0x77);

    // A failed load, whether the file is missing or holds firmware for
    // another device, must not leave the good image before it behind.
    const QString missing = m_files.filePath(QStringLiteral("missing.hex"));
    for (const QString &bad : {missing, hexFile(QStringLiteral("foreign.hex"), programRecords(0x2B000, 16))}) {
        QVERIFY(library.load(m_goodHex));
        LogCapture log;
        QVERIFY(!library.load(bad));
        QVERIFY(log.contains(QStringLiteral("Library::load(): hex = \"%1\"").arg(bad)));
        QVERIFY(log.contains(QStringLiteral("Library::load(): Parse failed")));
        panel->clearPackets();
        library.clearLastError();
        QVERIFY(!library.write(port));
        QCOMPARE(library.lastError(), 4);
        QVERIFY(log.contains(QStringLiteral("Library::write() called with port = \"%1\"").arg(port)));
        QVERIFY(panel->packets().isEmpty());
        QVERIFY(panel->inBootloader());
    }

    // A good erase leaves the failed write's code alone.
    QVERIFY(library.load(m_goodHex));
    QVERIFY(library.erase(port));
    QCOMPARE(library.lastError(), 4);
    QCOMPARE(panel->pageErases(), 85);

    QList<int> progress;
    library.setCallback(port, [&progress](int value) { progress.append(value); });
    library.clearLastError();
    QVERIFY(library.write(port));
    QCOMPARE(library.lastError(), 0);
    QCOMPARE(panel->readFlash(0x800, 64), expectedFlash(m_goodRecords));
    QCOMPARE(panel->rowWrites(), 1);
    QCOMPARE(progress.last(), -1);
    QVERIFY(!progress.contains(-2) && !progress.contains(-3));
    // The wake-up packet sent the panel back to its application.
    QTRY_VERIFY(!panel->inBootloader());
}

void TestLibrary::failedWritesAreFailures()
{
    PanelOptions dropping = PanelRack::unpaced();
    dropping.faults.dropLineAtRow = 1;
    PanelRack rack;
    VirtualPanel *blockFails = rack.add(QStringLiteral("a"), dropping);
    VirtualPanel *wakeFails = rack.add(QStringLiteral("b"));
    VirtualPanel *eraseFails = rack.add(QStringLiteral("c"));
    QVERIFY(blockFails && wakeFails && eraseFails);
    QVERIFY(rack.scan({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QVERIFY(library.load(m_goodHex));

    // A block that cannot be written: the write is a failure, not a success
    // that only the progress callback knew about.
    QList<int> progress;
    library.setCallback(rack.path(QStringLiteral("a")), [&progress](int value) { progress.append(value); });
    QVERIFY(library.erase(rack.path(QStringLiteral("a"))));
    library.clearLastError();
    QVERIFY(!library.write(rack.path(QStringLiteral("a"))));
    QCOMPARE(library.lastError(), 5);
    QVERIFY(progress.contains(-2));

    // Every block written, then the line drops before the wake-up packet.
    library.setCallback(rack.path(QStringLiteral("b")), [wakeFails](int value) {
        if (value == -1)
            wakeFails->stop();
    });
    QVERIFY(library.erase(rack.path(QStringLiteral("b"))));
    library.clearLastError();
    {
        LogCapture log;
        QVERIFY(!library.write(rack.path(QStringLiteral("b"))));
        QCOMPARE(library.lastError(), 5);
        QVERIFY(log.contains(QStringLiteral("picboot::wakeUp() returned false")));
    }
    QCOMPARE(wakeFails->readFlash(0x800, 64), expectedFlash(m_goodRecords));

    eraseFails->stop();
    library.clearLastError();
    QVERIFY(!library.erase(rack.path(QStringLiteral("c"))));
    QCOMPARE(library.lastError(), 3);
}

void TestLibrary::closePortAndUnknownNames()
{
    PanelRack rack;
    VirtualPanel *a = rack.add(QStringLiteral("a"));
    QVERIFY(a && rack.add(QStringLiteral("b")));
    const int heldA = openDescriptors(a->devicePath());
    QVERIFY(rack.scan({QStringLiteral("a")}));

    // Names the table does not hold fail cleanly and add nothing.
    QVERIFY(library.load(m_goodHex));
    LogCapture log;
    QVERIFY(!library.erase(QStringLiteral("COM99")));
    QVERIFY(!library.write(QStringLiteral("COM99")));
    QVERIFY(!library.closePort(QStringLiteral("COM99")));
    for (const char *operation : {"erase", "write", "closePort"})
        QVERIFY(log.contains(QStringLiteral("Library::%1(): no panel was found on port \"COM99\"").arg(operation)));
    library.setCallback(QStringLiteral("COM99"), [](int) {});
    QCOMPARE(library.foundPorts(), QList<QString>{rack.path(QStringLiteral("a"))});

    library.clearLastError();
    QVERIFY(library.closePort(rack.path(QStringLiteral("a"))));
    QVERIFY(library.foundPorts().isEmpty());
    QCOMPARE(openDescriptors(a->devicePath()), heldA);
    QCOMPARE(library.lastError(), 0);

    // With b's link the only one open, closing every handle the bootloader
    // library knows closes it behind the Library's back: its own close then fails.
    QVERIFY(library.addPort(rack.path(QStringLiteral("b"))));
    int closed = 0;
    for (int handle = 0; handle < 2000; ++handle)
        closed += PicBoot::ClosePIC(handle) != 0 ? 1 : 0;
    QCOMPARE(closed, 1);
    QVERIFY(!library.closePort(rack.path(QStringLiteral("b"))));
    QCOMPARE(library.lastError(), 2);
    QVERIFY(library.foundPorts().isEmpty());
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
