// Erase, write and verify through the bootloader library against the
// virtual panel: what ends up in the panel's flash, the requests on the line,
// the progress values and the debug lines.
#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/portlister.h"
#include "device/timings.h"
#include "support/intelhex.h"
#include "support/logcapture.h"
#include "sim/virtualpanel.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
using intelhex::imageLine;
using intelhex::Records;

constexpr quint32 kProtectedByte = VirtualPanel::kProtectedStart * 2;

// n contiguous 16-byte lines from byte address `from`, no byte 0xFF.
QVector<QByteArray> contiguousLines(int n, quint32 from = 0x400)
{
    QVector<QByteArray> lines;
    for (int i = 0; i < n; ++i) {
        QByteArray bytes;
        for (int k = 0; k < 16; ++k)
            bytes.append(char((i * 16 + k) % 0xF0));
        lines << imageLine(from + quint32(16 * i), bytes);
    }
    return lines;
}

bool isIgnoredWord(quint32 byteAddress)
{
    const quint32 word = byteAddress / 4 * 2;
    return word == 0 || word == 2 || word == 0x100 || word == 0x102;
}
} // namespace

Q_DECLARE_METATYPE(PanelFaults)

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void eraseIsOneRequestForAllButTheLastPage();
    void imagesLandByteForByte_data();
    void imagesLandByteForByte();
    void contiguousImageSendsTheKnownRequestsAndProgress();
    void faultsDuringTheWrite_data();
    void faultsDuringTheWrite();
    void badOrConflictingImageWritesNothing();
    void writeFileTakesLongLines();
    void wakeUpAndClose();

private:
    bool connectPanel(const PanelOptions &options = PanelOptions());
    // Erases, writes `hexPath` through the program's reader, checks the flash.
    void writeAndCompare(const QString &hexPath);

    std::unique_ptr<VirtualPanel> m_panel;
    std::unique_ptr<Connection> m_connection;
    QList<int> m_progress;
};

void TestConnection::initTestCase()
{
    // Short enough that a reply 250 ms late is past it, an erase included.
    Timings::current().linkTimeoutMs = 100;
    Timings::current().eraseMsPerPage = 0;
    QVERIFY(ConnectionFactory::start());
}

void TestConnection::init()
{
    m_progress.clear();
    QVERIFY(connectPanel());
}

void TestConnection::cleanup()
{
    if (m_connection)
        m_connection->close();
    m_connection.reset();
    m_panel.reset();
    PortLister::clearOverride();
}

bool TestConnection::connectPanel(const PanelOptions &given)
{
    if (m_connection)
        m_connection->close();
    m_connection.reset();
    PanelOptions options = given;
    options.paced = false;
    // Faults start once the link is open, so that the identification sees a
    // healthy panel.
    options.faults = PanelFaults();
    m_panel = std::make_unique<VirtualPanel>(options);
    if (!m_panel->start())
        return false;
    const QString location = m_panel->devicePath();
    PortLister::setOverride({{DevicePath::nameFromLocation(location), location}});
    ConnectionFactory factory;
    m_connection.reset(factory.getConnection(location));
    if (!m_connection)
        return false;
    m_connection->setCallback([this](int value) { m_progress << value; });
    m_panel->setFaults(given.faults);
    m_panel->clearPackets();
    return true;
}

void TestConnection::writeAndCompare(const QString &hexPath)
{
    QFile file(hexPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QMap<quint32, quint8> given = intelhex::decode(file.readAll());
    QVERIFY(!given.isEmpty());
    m_panel->fillFlash(0x00);
    const QByteArray before = m_panel->fileBytes();
    std::unique_ptr<QVector<QByteArray>> image(Connection::parseHexFile(hexPath));
    QVERIFY(!image->isEmpty());

    QVERIFY(m_connection->erase());
    QVERIFY(m_connection->write(*image));
    QCOMPARE(m_progress.last(), -1);
    QVERIFY2(!m_progress.contains(-3), "a healthy write failed verification");

    const QByteArray flash = m_panel->fileBytes();
    for (quint32 a = 0; a < kProtectedByte; ++a) {
        if ((a & 3) == 3 || isIgnoredWord(a))
            continue;
        const quint8 want = given.value(a, 0xFF);
        if (quint8(flash[int(a)]) != want)
            QFAIL(qPrintable(QString("byte address 0x%1 holds %2, the file gives %3")
                                 .arg(a, 0, 16)
                                 .arg(quint8(flash[int(a)]))
                                 .arg(want)));
    }
    QCOMPARE(flash.mid(int(kProtectedByte)), before.mid(int(kProtectedByte)));
}

void TestConnection::eraseIsOneRequestForAllButTheLastPage()
{
    m_panel->fillFlash(0x00);
    LogCapture log;
    QVERIFY(m_connection->erase());
    // 85 pages: 0x55, which travels escaped.
    QCOMPARE(m_panel->packets(), (QList<QByteArray>{QByteArray::fromHex("0355000000")}));
    QCOMPARE(m_panel->pageErases(), 85);
    QCOMPARE(log.lines(), QStringList{"Erasing from 0x 0 to 0x 15400 returned 85"});
    const QByteArray flash = m_panel->fileBytes();
    QCOMPARE(quint8(flash[0x2A7FC]), quint8(0xFF));
    QCOMPARE(quint8(flash[0x2A800]), quint8(0x00));

    // Five retries: six tries in all.
    for (int badReplies : {5, 6}) {
        PanelOptions options;
        options.faults.badChecksumReplies = badReplies;
        QVERIFY(connectPanel(options));
        log.clear();
        QCOMPARE(m_connection->erase(), badReplies == 5);
        QCOMPARE(m_panel->packets().size(), 6);
        QCOMPARE(log.countPrefix("Erasing from 0x 0 to 0x 15400 returned -"), badReplies == 5 ? 0 : 1);
    }
}

void TestConnection::imagesLandByteForByte_data()
{
    QTest::addColumn<Records>("records");  // none: the real firmware sample
    QTest::newRow("64 KB sample") << Records();
    QRandomGenerator random(20240605);
    auto bytes = [&random](int n) {
        QByteArray b(n, 0);
        for (int i = 0; i < n; ++i)
            b[i] = char(random.bounded(256));
        return b;
    };

    Records compiler;
    compiler << qMakePair(0x0u, QByteArray::fromHex("0002040000000000"));
    for (quint32 a = 0x8; a < 0x100; a += 4)
        compiler << qMakePair(a, QByteArray::fromHex("a8020000"));
    compiler << qMakePair(0x208u, bytes(16)) << qMakePair(0x218u, bytes(16)) << qMakePair(0x228u, bytes(12));
    for (quint32 a = 0x404; a < 0x2000; a += 16)
        compiler << qMakePair(a, bytes(16));
    compiler << qMakePair(0x157F8u, QByteArray::fromHex("ffff7f00ff3f0000"));
    QTest::newRow("compiler layout") << compiler;

    Records odd;
    quint32 a = 0x300;
    while (a < 0x6000) {
        const int n = 1 + random.bounded(31);
        odd << qMakePair(a, bytes(n));
        a += quint32(n) + (random.bounded(4) == 0 ? quint32(random.bounded(700)) : 0);
    }
    QTest::newRow("odd lengths and gaps") << odd;

    // The top of program memory, with the configuration words of this part
    // in the page the write must leave alone.
    Records top;
    top << qMakePair(0x2A700u, bytes(16)) << qMakePair(0x2A7F0u, bytes(16))
        << qMakePair(0x2A800u, bytes(16)) << qMakePair(0x2AFF4u, QByteArray::fromHex("ffff7f00ff3f0000ff9f0000"));
    QTest::newRow("last page left alone") << top;
}

void TestConnection::imagesLandByteForByte()
{
    QFETCH(Records, records);
    QTemporaryDir dir;
    QString path = dir.filePath("made-up.hex");
    if (records.isEmpty()) {
        path = QStringLiteral(WIZARD_SAMPLES_DIR "/pic24fj64ga004-app.hex");
        if (!QFile::exists(path))
            QSKIP("firmware samples not present");
    } else {
        QVERIFY(intelhex::writeFile(path, intelhex::file(records)));
    }
    LogCapture log;
    writeAndCompare(path);
    if (QTest::currentDataTag() == QLatin1String("last page left alone"))
        QVERIFY(log.contains("Connection::write() skipped the protected block at 0x 15400"));
}

void TestConnection::contiguousImageSendsTheKnownRequestsAndProgress()
{
    LogCapture log;
    QVERIFY(m_connection->write(contiguousLines(32)));
    QCOMPARE(m_progress, (QList<int>{46, 96, -1}));
    const QList<QByteArray> packets = m_panel->packets();
    QCOMPARE(packets.size(), 4);
    QCOMPARE(packets[0].left(5), QByteArray::fromHex("0201000200"));
    QCOMPARE(packets[0].size(), 5 + 256);
    QCOMPARE(packets[1], QByteArray::fromHex("0140000200"));
    QCOMPARE(packets[2].left(5), QByteArray::fromHex("0201800200"));
    QCOMPARE(packets[3], QByteArray::fromHex("0140800200"));
    QCOMPARE(log.lines().mid(0, 3), (QStringList{"BootAddress: 512 0", "PicBoot:writePic() OK",
                                                 "PicBoot:readPic() got: 256"}));

    // An empty image reports only the end.
    m_progress.clear();
    m_panel->clearPackets();
    QVERIFY(m_connection->write({}));
    QCOMPARE(m_progress, QList<int>{-1});
    QVERIFY(m_panel->packets().isEmpty());

    // No callback: the blocks are still written and read back.
    m_connection->setCallback(Connection::Callback());
    m_panel->clearPackets();
    QVERIFY(m_connection->write(contiguousLines(20, 0x2000)));
    QCOMPARE(m_panel->packets().size(), 4);
}

void TestConnection::faultsDuringTheWrite_data()
{
    QTest::addColumn<PanelFaults>("faults");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<QString>("logLine");  // the one line that tells, if any

    // A mismatch is reported, the write goes on and ends as failed, except
    // at 0 and 2, where the bootloader keeps its own jump. At 0x100/0x102
    // it keeps the file's reset jump, which must be there.
    PanelFaults faults;
    for (int wrong : {0x104, 0x100, 0x102}) {
        faults.corruptReadAddress = wrong;
        QTest::addRow("read-back wrong at %x", wrong)
            << faults << 48 << false << QList<int>{31, 64, 97, -3, -1}
            << QStringLiteral("Connection::write(): verification failed; the first address that differed is 0x%1.")
                   .arg(wrong, 0, 16);
    }
    faults = PanelFaults();
    faults.stuckAddress = 0x100;
    QTest::newRow("reset jump never taken") << faults << 48 << false << QList<int>{31, 64, 97, -3, -1}
                                            << "verifyWrite() got a mismatch at 100 : ";
    for (int ignored : {0, 2}) {
        faults = PanelFaults();
        faults.corruptReadAddress = ignored;
        QTest::addRow("read-back wrong at %x", ignored) << faults << 48 << true << QList<int>{31, 64, 97, -1}
                                                        << QString();
    }
    // One late or doubled reply costs a retry at most; an erase reply that
    // comes after the retry went out is not taken for the first write's.
    for (int command : {1, 2, 3}) {
        for (bool doubled : {false, true}) {
            faults = PanelFaults();
            faults.oddReplyCommand = command;
            faults.oddReplyOccurrence = command == 3 ? 1 : 2;
            faults.lateReplyMs = doubled ? 0 : 250;
            faults.doubledReply = doubled;
            QTest::addRow("%s %s reply", doubled ? "doubled" : "late",
                          command == 1 ? "read-back" : command == 2 ? "write" : "erase")
                << faults << 48 << true << QList<int>{31, 64, 97, -1} << QString();
        }
    }
    // A failed block stops the write at once, without the end report, and
    // a dead line does not hang it.
    faults = PanelFaults();
    faults.writeNoReplyAtRow = 2;
    QTest::newRow("no reply at block 2") << faults << 48 << false << QList<int>{31, -2}
                                            << "PicBoot:writePic() got error";
    faults = PanelFaults();
    faults.dropLineAtRow = 3;
    QTest::newRow("line dropped at block 3") << faults << 96 << false << QList<int>{15, 32, -2} << QString();
}

void TestConnection::faultsDuringTheWrite()
{
    QFETCH(PanelFaults, faults);
    QFETCH(int, lines);
    QFETCH(bool, ok);
    QFETCH(QList<int>, progress);
    QFETCH(QString, logLine);
    PanelOptions options;
    options.faults = faults;
    QVERIFY(connectPanel(options));
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    if (faults.oddReplyCommand == 3)
        QVERIFY(m_connection->erase());
    QCOMPARE(m_connection->write(contiguousLines(lines, 0)), ok);
    // Generous: only a hang on a dead line must fail here.
    QVERIFY2(clock.elapsed() < 60000, "the write hung on a dead line");
    QCOMPARE(m_progress, progress);
    QCOMPARE(log.countPrefix("verifyWrite() got a mismatch at"), progress.contains(-3) ? 1 : 0);
    QVERIFY2(logLine.isEmpty() || log.containsPrefix(logLine), qPrintable(log.lines().join('\n')));
    if (ok) {
        // Every byte of the file went in; file bytes 0x200..0x207 (device
        // 0x100/0x102) hold the reset jump the file gave at 0 and 2.
        const QByteArray flash = m_panel->fileBytes();
        for (int address = 8; address < 16 * lines; ++address) {
            const int given = address >= 0x200 && address < 0x208 ? address - 0x200 : address;
            if (address % 4 != 3)
                QCOMPARE(quint8(flash.at(address)), quint8(given % 0xF0));
        }
    }
}

void TestConnection::badOrConflictingImageWritesNothing()
{
    LogCapture log;
    QVector<QByteArray> bad = contiguousLines(32);
    bad[20] = "000540 12 3 ";
    QVERIFY(!m_connection->write(bad));
    QCOMPARE(m_progress, QList<int>{-2});
    QVERIFY(log.containsPrefix("Connection::write(): the image is not valid, nothing written:"));

    QVector<QByteArray> conflicting = contiguousLines(32);
    conflicting << imageLine(0x404, "\x01\x02");
    QVERIFY(!m_connection->write(conflicting));
    QCOMPARE(m_panel->rowWrites(), 0);

    // An identical repeat is the same byte, not a conflict.
    QVector<QByteArray> repeated = contiguousLines(32);
    repeated.insert(5, repeated[5]);
    m_progress.clear();
    QVERIFY(m_connection->write(repeated));
    QCOMPARE(m_panel->rowWrites(), 2);
    QCOMPARE(m_progress.last(), -1);
}

void TestConnection::writeFileTakesLongLines()
{
    // 64-byte lines: 199 characters each, the last byte far past column 99.
    QByteArray data, text;
    for (int i = 0; i < 256; ++i)
        data.append(i % 4 == 3 ? '\0' : char(i % 0xF0));
    for (int i = 0; i < 4; ++i)
        text += imageLine(0x800 + quint32(64 * i), data.mid(64 * i, 64)) + "\r\n";
    QTemporaryDir dir;
    const QString path = dir.filePath("image.txt");
    QVERIFY(intelhex::writeFile(path, text));
    m_panel->fillFlash(0x00);
    QVERIFY(m_connection->erase());
    QVERIFY(m_connection->writeFile(path));
    QVERIFY(!m_progress.contains(-3));
    QCOMPARE(m_panel->fileBytes().mid(0x800, 256), data);

    LogCapture log;
    QVERIFY(!m_connection->writeFile(dir.filePath("missing.txt")));
    QCOMPARE(log.lines(), QStringList{"Could not open \"" + dir.filePath("missing.txt") + "\" for reading."});
}

void TestConnection::wakeUpAndClose()
{
    LogCapture log;
    m_connection->wakeUp();
    QCOMPARE(log.lines(), QStringList{"picboot::wakeUp() returned 4"});
    QCOMPARE(m_connection->readDeviceId(m_connection->handle()), 0x1008);

    QVERIFY(m_connection->sendWakeUpPacket());
    QVERIFY(m_panel->waitForPackets(3, 2000));
    QCOMPARE(m_panel->packets().last(), QByteArray(2, '\0'));
    QVERIFY(!m_panel->inBootloader());
    QVERIFY(log.contains("picboot::wakeUp() returned true"));

    QVERIFY(m_connection->close());
    QCOMPARE(m_connection->handle(), 0);
    QVERIFY(log.contains("Closing the connection..."));
    // Closed means closed: nothing reaches the library on its behalf again,
    // whichever link now has handle 0.
    const int before = m_panel->packets().size();
    QVERIFY(!m_connection->erase());
    QVERIFY(!m_connection->write(contiguousLines(16)));
    QCOMPARE(m_panel->packets().size(), before);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
