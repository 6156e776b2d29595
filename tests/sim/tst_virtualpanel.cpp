// The virtual panel over its pseudo-terminal, spoken to in raw bytes: the
// identification exchange, the commands and their effect on flash, and the
// behaviour of the line as clients come and go.

#include "sim/virtualpanel.h"
#include "support/bootframe.h"
#include "support/rawport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/ioctl.h>

namespace {
const QByteArray kProbe = QByteArray::fromHex("55550101 0000ffff04");
const QByteArray kProbeReply = QByteArray::fromHex("55550101 0000ff08 100000e7 04");
const QByteArray kBootJump = QByteArray::fromHex("00540400 01000000");
const QByteArray kErasedWord = QByteArray::fromHex("ffffff00");
constexpr int kWaitMs = 2000;
constexpr int kSilenceMs = 150;     // long enough to call "no answer" on an unpaced panel
} // namespace

class TestVirtualPanel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualPanel> m_panel;
    RawPort m_port;

    void startPanel(const PanelOptions &options)
    {
        m_port.close();
        m_panel.reset(new VirtualPanel(options));
        QVERIFY(m_panel->start());
        QVERIFY(m_port.open(m_panel->devicePath()));
    }

    // One request, its whole answer (a packet), unframed.
    QByteArray exchange(const QByteArray &payload, bool *checksumOk = nullptr)
    {
        m_port.write(BootFrame::frame(payload));
        return BootFrame::unframe(m_port.readFrame(kWaitMs), checksumOk);
    }

    bool noAnswerTo(const QByteArray &payload)
    {
        m_port.write(BootFrame::frame(payload));
        return m_port.readUntilSilent(kSilenceMs).isEmpty();
    }

private slots:
    void init()
    {
        PanelOptions options;
        options.paced = false;
        startPanel(options);
    }

    void cleanup()
    {
        m_port.close();
        m_panel.reset();
    }

    void identificationExchange()
    {
        QVERIFY(m_port.write(kProbe));
        QCOMPARE(m_port.read(kProbeReply.size(), kWaitMs), kProbeReply);
        QVERIFY(m_port.readUntilSilent(50).isEmpty());

        QVERIFY(m_port.write(QByteArray::fromHex("55aa")));
        QCOMPARE(m_port.read(1, kWaitMs), QByteArray(1, '\x01'));
        QVERIFY(m_port.readUntilSilent(50).isEmpty());
        QCOMPARE(m_panel->idRequests(), 1);

        // Any byte value is a model byte, 0 included.
        for (int model : {0, 2, 0x55, 0xFF}) {
            m_panel->setModelByte(model);
            m_port.write(QByteArray::fromHex("55aa"));
            QCOMPARE(m_port.read(1, kWaitMs), QByteArray(1, char(model)));
            QVERIFY(m_port.readUntilSilent(30).isEmpty());
        }
        // The probe was recorded as the bootloader read it.
        QCOMPARE(m_panel->packets(), QList<QByteArray>{QByteArray::fromHex("01010000ff")});
    }

    void modelByteFromOptions()
    {
        PanelOptions options;
        options.paced = false;
        options.modelByte = 2;
        startPanel(options);
        m_port.write(QByteArray::fromHex("55aa"));
        QCOMPARE(m_port.read(1, kWaitMs), QByteArray(1, '\x02'));
    }

    void versionAndVerifyOk()
    {
        QCOMPARE(exchange(QByteArray::fromHex("0002")), QByteArray::fromHex("00020001"));
        QCOMPARE(exchange(QByteArray::fromHex("08")), QByteArray::fromHex("08"));
    }

    void specialBytesTravelEscapedBothWays()
    {
        // A row full of STX, ETX and DLE goes in escaped, is stored as data
        // and comes back escaped.
        QByteArray row;
        for (int k = 0; k < 64; ++k)
            row += QByteArray::fromHex(k % 2 ? "55040500" : "05550400");
        QCOMPARE(exchange(BootFrame::eraseRequest(0x400, 1)), QByteArray::fromHex("03"));
        QCOMPARE(exchange(BootFrame::writeRequest(0x400, row)), QByteArray::fromHex("02"));
        QCOMPARE(m_panel->readFlash(0x400, 64), row);

        m_port.write(BootFrame::frame(BootFrame::readRequest(0x400, 64)));
        const QByteArray wire = m_port.readFrame(kWaitMs);
        bool ok = false;
        QCOMPARE(BootFrame::unframe(wire, &ok), BootFrame::readRequest(0x400, 64) + row);
        QVERIFY(ok);
        QCOMPARE(wire, BootFrame::frame(BootFrame::readRequest(0x400, 64) + row));

        // Replies whose checksum is itself 0x55, 0x04 or 0x05: reads of erased
        // words, the address setting the sum.
        for (quint8 checksum : {quint8(0x55), quint8(0x04), quint8(0x05)}) {
            bool found = false;
            for (quint32 address = 0x800; address < 0x1000 && !found; address += 2) {
                const QByteArray reply = BootFrame::readRequest(address, 1) + kErasedWord;
                if (BootFrame::checksum(reply) != checksum)
                    continue;
                found = true;
                m_port.write(BootFrame::frame(BootFrame::readRequest(address, 1)));
                const QByteArray got = m_port.readFrame(kWaitMs);
                QCOMPARE(got, BootFrame::frame(reply));
                QCOMPARE(quint8(got.at(got.size() - 3)), quint8(0x05));   // DLE before the checksum
            }
            QVERIFY(found);
        }

        // A request whose own checksum needs escaping is understood.
        for (quint32 address = 0x800; address < 0x1000; address += 2) {
            const QByteArray request = BootFrame::readRequest(address, 1);
            const quint8 c = BootFrame::checksum(request);
            if (c == 0x55 || c == 0x04 || c == 0x05)
                QCOMPARE(exchange(request), request + kErasedWord);
        }
    }

    void resyncAfterGarbage()
    {
        m_port.write(QByteArray::fromHex("00ff1204 55 04 0505 aa"));
        m_port.write(BootFrame::frame(QByteArray::fromHex("0801")));
        QCOMPARE(BootFrame::unframe(m_port.readFrame(kWaitMs)), QByteArray::fromHex("08"));

        // A packet cut short by a bare STX: the rest is the packet.
        m_port.write(QByteArray::fromHex("5555 0203 ffff") + BootFrame::frame(BootFrame::readRequest(0xFF0000, 1)).mid(1));
        QCOMPARE(m_port.read(kProbeReply.size(), kWaitMs), kProbeReply);
    }

    void badChecksumIsDroppedSilently()
    {
        QByteArray bad = BootFrame::frame(BootFrame::eraseRequest(0, 1));
        bad[bad.size() - 2] = char(bad.at(bad.size() - 2) ^ 0x01);
        m_panel->fillFlash(0x00);
        m_port.write(bad);
        QVERIFY(m_port.readUntilSilent(kSilenceMs).isEmpty());
        QVERIFY(m_panel->packets().isEmpty());
        QCOMPARE(m_panel->readFlash(0x10, 1), QByteArray(4, '\0'));     // not erased
        // The next good packet is served.
        QCOMPARE(exchange(QByteArray::fromHex("08")), QByteArray::fromHex("08"));
    }

    void eraseWriteRead()
    {
        m_panel->fillFlash(0x00);
        QCOMPARE(exchange(BootFrame::eraseRequest(0, 85)), QByteArray::fromHex("03"));
        QCOMPARE(m_panel->pageErases(), 85);
        QCOMPARE(m_panel->readFlash(0, 2), kBootJump);
        QCOMPARE(m_panel->readFlash(0x153FE, 1), kErasedWord);
        QCOMPARE(m_panel->readFlash(0x15400, 1), QByteArray(4, '\0'));     // protected, untouched

        // Rows read back as written, except the reset jump's four addresses.
        QHash<quint32, QByteArray> rows;
        for (quint32 address : {0x0u, 0x80u, 0x100u, 0x7F80u, 0x15380u}) {
            rows[address] = BootFrame::pattern(64, quint8(address >> 7));
            QCOMPARE(exchange(BootFrame::writeRequest(address, rows[address])), QByteArray::fromHex("02"));
        }
        QCOMPARE(m_panel->rowWrites(), 5);
        for (quint32 address : rows.keys()) {
            const QByteArray request = BootFrame::readRequest(address, 64);
            const QByteArray reply = exchange(request);
            QCOMPARE(reply.left(5), request);
            QByteArray expected = rows[address];
            if (address == 0)
                expected.replace(0, 8, kBootJump);
            if (address == 0x100)
                expected.replace(0, 8, rows[0].left(8));
            QCOMPARE(reply.mid(5), expected);
        }

        // fileBytes is the same flash in file layout.
        const QByteArray file = m_panel->fileBytes();
        QCOMPARE(file.size(), 0x15800 * 2);
        QCOMPARE(file.mid(0x7F80 * 2, 256), rows[0x7F80]);
        QCOMPARE(file.mid(0x200, 8), rows[0].left(8));

        // Written again without an erase: bits only clear.
        const QByteArray over = BootFrame::pattern(64, 0x99);
        QCOMPARE(exchange(BootFrame::writeRequest(0x7F80, over)), QByteArray::fromHex("02"));
        QByteArray anded = rows[0x7F80];
        for (int i = 0; i < anded.size(); ++i)
            anded[i] = char(anded.at(i) & over.at(i));
        QCOMPARE(m_panel->readFlash(0x7F80, 64), anded);
    }

    void protectedPageAcknowledgedAndSkipped()
    {
        m_panel->fillFlash(0x5A);
        QCOMPARE(exchange(BootFrame::eraseRequest(0x15400, 1)), QByteArray::fromHex("03"));
        QCOMPARE(exchange(BootFrame::writeRequest(0x15780, BootFrame::pattern(64, 1))), QByteArray::fromHex("02"));
        QCOMPARE(exchange(BootFrame::eraseRequest(0x15000, 2)), QByteArray::fromHex("03"));
        QCOMPARE(m_panel->pageErases(), 1);
        QCOMPARE(m_panel->readFlash(0x15400, 1), QByteArray::fromHex("5a5a5a00"));
        QCOMPARE(m_panel->readFlash(0x157FE, 1), QByteArray::fromHex("5a5a5a00"));
        QCOMPARE(m_panel->readFlash(0x153FE, 1), kErasedWord);
    }

    void badRequestsGetNoAnswerAndChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("payload");
        const QByteArray row = BootFrame::pattern(64, 3);
        QTest::newRow("write off a row boundary") << BootFrame::writeRequest(0x440, row).replace(2, 1, "\x42");
        QTest::newRow("write past the end") << BootFrame::writeRequest(0x15800, row);
        QTest::newRow("write LEN 2") << BootFrame::header(0x02, 2, 0x400) + row;
        QTest::newRow("write short data") << BootFrame::writeRequest(0x400, row.left(200));
        QTest::newRow("erase off a page boundary") << BootFrame::eraseRequest(0x200, 1);
        QTest::newRow("erase past the end") << BootFrame::eraseRequest(0x15000, 3);
        QTest::newRow("erase 255 pages") << BootFrame::eraseRequest(0, 255);
        QTest::newRow("read 65 instructions") << BootFrame::readRequest(0, 65);
        QTest::newRow("read odd address") << BootFrame::readRequest(1, 1);
        QTest::newRow("eeprom command") << BootFrame::header(0x04, 1, 0);
        QTest::newRow("short header") << QByteArray::fromHex("0101");
    }

    void badRequestsGetNoAnswerAndChangeNothing()
    {
        QFETCH(QByteArray, payload);
        m_panel->fillFlash(0x00);
        const QByteArray before = m_panel->fileBytes();
        QVERIFY(noAnswerTo(payload));
        QCOMPARE(m_panel->rejectedRequests(), 1);
        QVERIFY(m_panel->fileBytes() == before);
        QCOMPARE(m_panel->packets(), QList<QByteArray>{payload});
        // Still serving.
        QCOMPARE(exchange(QByteArray::fromHex("08")), QByteArray::fromHex("08"));
    }

    void lenZeroLeavesTheBootloaderUntilReset()
    {
        QVERIFY(m_panel->inBootloader());
        m_port.write(BootFrame::frame(QByteArray::fromHex("0000")));
        QVERIFY(m_panel->waitForPackets(1, kWaitMs));
        QVERIFY(!m_panel->inBootloader());
        QVERIFY(m_port.readUntilSilent(kSilenceMs).isEmpty());

        // Silent to everything now, the identification exchange included.
        m_port.write(kProbe);
        m_port.write(QByteArray::fromHex("55aa"));
        m_port.write(BootFrame::frame(BootFrame::eraseRequest(0, 1)));
        QVERIFY(m_panel->waitForPackets(3, kWaitMs));
        QVERIFY(m_port.readUntilSilent(kSilenceMs).isEmpty());

        m_panel->resetBootloader();
        QVERIFY(m_panel->inBootloader());
        m_port.write(kProbe);
        QCOMPARE(m_port.read(kProbeReply.size(), kWaitMs), kProbeReply);

        // LEN 0 with any command leaves too.
        m_port.write(BootFrame::frame(QByteArray::fromHex("0200000000")));
        QVERIFY(m_panel->waitForPackets(5, kWaitMs));
        QVERIFY(!m_panel->inBootloader());
    }

    void clientsCloseAndReopen()
    {
        // The wizard probes with one client, closes, and the library opens
        // the port again: every open finds the panel answering.
        for (int round = 0; round < 3; ++round) {
            RawPort other;
            QVERIFY(other.open(m_panel->devicePath()));
            other.write(kProbe);
            QCOMPARE(other.read(kProbeReply.size(), kWaitMs), kProbeReply);
        }
        // An answer left unread when the client closed is gone, as on a
        // real port, and so is one that arrives while nobody holds the port.
        m_port.write(kProbe);
        QTest::qWait(100);                  // the answer waits, unread
        m_port.close();
        QTest::qWait(50);
        QVERIFY(m_port.open(m_panel->devicePath()));
        m_port.write(BootFrame::frame(QByteArray::fromHex("08")));
        QCOMPARE(m_port.readFrame(kWaitMs), BootFrame::frame(QByteArray::fromHex("08")));

        PanelFaults faults;
        faults.probeDelayed = true;
        faults.probeDelayMs = 100;
        m_panel->setFaults(faults);
        m_port.write(kProbe);
        m_port.close();
        QTest::qWait(300);
        m_panel->setFaults(PanelFaults());
        QVERIFY(m_port.open(m_panel->devicePath()));
        m_port.write(BootFrame::frame(QByteArray::fromHex("08")));
        QCOMPARE(m_port.readFrame(kWaitMs), BootFrame::frame(QByteArray::fromHex("08")));
    }

    void exclusiveUseEndsWithTheLastClient()
    {
        // A client that takes the port for itself and closes without giving
        // it back must not lock everyone else out.
        {
            RawPort exclusive;
            QVERIFY(exclusive.open(m_panel->devicePath()));
            m_port.close();
            QVERIFY(::ioctl(exclusive.fd(), TIOCEXCL) == 0);
        }
        QTest::qWait(50);
        int excl = 0;
        RawPort again;
        QVERIFY(again.open(m_panel->devicePath()));
#ifdef TIOCGEXCL
        QVERIFY(::ioctl(again.fd(), TIOCGEXCL, &excl) == 0);
#endif
        QCOMPARE(excl, 0);
    }

    void twoPanelsAtOnce()
    {
        PanelOptions options;
        options.paced = false;
        options.modelByte = 2;
        VirtualPanel second(options);
        QVERIFY(second.start());
        QVERIFY(second.devicePath() != m_panel->devicePath());
        RawPort other;
        QVERIFY(other.open(second.devicePath()));
        other.write(QByteArray::fromHex("55aa"));
        m_port.write(QByteArray::fromHex("55aa"));
        QCOMPARE(other.read(1, kWaitMs), QByteArray(1, '\x02'));
        QCOMPARE(m_port.read(1, kWaitMs), QByteArray(1, '\x01'));
        other.write(BootFrame::frame(BootFrame::eraseRequest(0x400, 1)));
        QCOMPARE(BootFrame::unframe(other.readFrame(kWaitMs)), QByteArray::fromHex("03"));
        QCOMPARE(second.pageErases(), 1);
        QCOMPARE(m_panel->pageErases(), 0);
    }

    void stopIsPrompt()
    {
        PanelOptions options;
        options.faults.probeDelayed = true;
        options.faults.probeDelayMs = 10000;
        startPanel(options);
        m_port.write(kProbe);
        QTest::qWait(50);
        QElapsedTimer timer;
        timer.start();
        m_panel->stop();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        // A stopped panel can be started again, on a new terminal.
        QVERIFY(m_panel->start());
        QVERIFY(m_port.open(m_panel->devicePath()));
    }

    void dumpsHex()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("flash.hex"));
        QCOMPARE(exchange(BootFrame::writeRequest(0x200, BootFrame::pattern(64, 7))), QByteArray::fromHex("02"));
        QVERIFY(m_panel->dumpHex(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 1 + 16 + 1);              // boot jump, the row, end of file
        QVERIFY(lines.at(1).startsWith(":10040000"));    // device 0x200 = file 0x400
        QVERIFY(!m_panel->dumpHex(dir.filePath(QStringLiteral("missing/flash.hex"))));
    }
};

QTEST_GUILESS_MAIN(TestVirtualPanel)
#include "tst_virtualpanel.moc"
