// The virtual panel over its pseudo-terminal, spoken to in raw bytes: the
// identification exchange, the commands and their effect on flash, and the
// line as clients come and go.

#include "support/bootframe.h"
#include "support/panelline.h"

#include <QtTest>

#include <sys/ioctl.h>

namespace {
const QByteArray kBootJump = QByteArray::fromHex("00540400 01000000");
const QByteArray kErasedWord = QByteArray::fromHex("ffffff00");
const QByteArray kVerifyOk = QByteArray::fromHex("08");
} // namespace

class TestVirtualPanel : public QObject
{
    Q_OBJECT

private:
    PanelLine m_line;

private slots:
    void init() { QVERIFY(m_line.start()); }
    void cleanup() { m_line.stop(); }

    void identificationExchange()
    {
        PanelOptions options = PanelLine::unpaced();
        options.modelByte = 2;
        QVERIFY(m_line.start(options));
        QCOMPARE(m_line.rawExchange(PanelLine::kProbe, PanelLine::kProbeReply.size()), PanelLine::kProbeReply);
        // Any byte value is a model byte, 0 included.
        for (int model : {2, 0, 0x55, 0xFF}) {
            m_line.panel->setModelByte(model);
            QCOMPARE(m_line.rawExchange(PanelLine::kIdRequest, 1), QByteArray(1, char(model)));
        }
        QCOMPARE(m_line.panel->idRequests(), 4);
        QCOMPARE(m_line.panel->packets(), QList<QByteArray>{QByteArray::fromHex("01010000ff")});
        QCOMPARE(m_line.exchange(QByteArray::fromHex("0002")), QByteArray::fromHex("00020001"));
        QCOMPARE(m_line.exchange(kVerifyOk), kVerifyOk);
    }

    void commandsReachTheFlash()
    {
        VirtualPanel &panel = *m_line.panel;
        panel.fillFlash(0x00);
        QCOMPARE(m_line.exchange(BootFrame::eraseRequest(0, 85)), QByteArray::fromHex("03"));
        QCOMPARE(panel.pageErases(), 85);
        QCOMPARE(panel.readFlash(0, 2), kBootJump);
        QCOMPARE(panel.readFlash(0x153FE, 1), kErasedWord);
        // The protected page is acknowledged and left alone.
        QCOMPARE(panel.readFlash(0x15400, 1), QByteArray(4, '\0'));
        QCOMPARE(m_line.exchange(BootFrame::eraseRequest(0x15400, 1)), QByteArray::fromHex("03"));
        QCOMPARE(m_line.exchange(BootFrame::writeRequest(0x15780, BootFrame::pattern(64, 1))), QByteArray::fromHex("02"));
        QCOMPARE(panel.pageErases(), 85);
        QCOMPARE(panel.readFlash(0x157FE, 1), QByteArray(4, '\0'));

        // A row full of STX, ETX and DLE goes in escaped, is stored as data
        // and comes back escaped.
        QByteArray row;
        for (int k = 0; k < 64; ++k)
            row += QByteArray::fromHex(k % 2 ? "55040500" : "05550400");
        QCOMPARE(m_line.exchange(BootFrame::writeRequest(0x7F80, row)), QByteArray::fromHex("02"));
        QCOMPARE(panel.readFlash(0x7F80, 64), row);
        QCOMPARE(panel.fileBytes().mid(0x7F80 * 2, 256), row);
        m_line.port.write(BootFrame::frame(BootFrame::readRequest(0x7F80, 64)));
        QCOMPARE(m_line.port.readFrame(PanelLine::kWaitMs), BootFrame::frame(BootFrame::readRequest(0x7F80, 64) + row));

        // The application's jump read back at 0x100, the bootloader's at 0.
        const QByteArray row0 = BootFrame::pattern(64, 5);
        QCOMPARE(m_line.exchange(BootFrame::writeRequest(0, row0)), QByteArray::fromHex("02"));
        QCOMPARE(m_line.exchange(BootFrame::readRequest(0, 64)), BootFrame::readRequest(0, 64) + kBootJump + row0.mid(8));
        QCOMPARE(m_line.exchange(BootFrame::readRequest(0x100, 2)), BootFrame::readRequest(0x100, 2) + row0.left(8));
        QCOMPARE(panel.rowWrites(), 3);
        QVERIFY(!panel.dumpHex(QStringLiteral("/nonexistent/flash.hex")));
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
        m_line.panel->fillFlash(0x00);
        const QByteArray before = m_line.panel->fileBytes();
        QVERIFY(m_line.noAnswerTo(payload));
        QCOMPARE(m_line.panel->rejectedRequests(), 1);
        QVERIFY(m_line.panel->fileBytes() == before);
        QCOMPARE(m_line.exchange(kVerifyOk), kVerifyOk);    // still serving
    }

    void lenZeroLeavesTheBootloaderUntilReset()
    {
        VirtualPanel &panel = *m_line.panel;
        QVERIFY(m_line.noAnswerTo(QByteArray::fromHex("0000")));
        QVERIFY(!panel.inBootloader());
        // Silent to everything now, the identification exchange included.
        m_line.port.write(PanelLine::kProbe + PanelLine::kIdRequest + BootFrame::frame(BootFrame::eraseRequest(0, 1)));
        QVERIFY(panel.waitForPackets(3, PanelLine::kWaitMs));
        QVERIFY(m_line.port.readUntilSilent(PanelLine::kSilenceMs).isEmpty());
        QCOMPARE(panel.idRequests(), 0);

        panel.resetBootloader();
        QCOMPARE(m_line.rawExchange(PanelLine::kProbe, PanelLine::kProbeReply.size()), PanelLine::kProbeReply);
        // LEN 0 with any command leaves too.
        QVERIFY(m_line.noAnswerTo(QByteArray::fromHex("0200000000")));
        QVERIFY(!panel.inBootloader());
    }

    void clientsComeAndGo()
    {
        // An answer sent while nobody holds the port is lost, as on a real
        // line. (One client at a time: the panel counts clients from inotify
        // events, which the kernel merges when two opens come back to back.)
        const QString path = m_line.panel->devicePath();
        PanelFaults faults;
        faults.probeDelayed = true;
        faults.probeDelayMs = 100;
        m_line.panel->setFaults(faults);
        m_line.port.write(PanelLine::kProbe);
        QVERIFY(m_line.panel->waitForPackets(1, PanelLine::kWaitMs));
        m_line.port.close();
        QTest::qWait(600);      // the delayed answer goes out to nobody
        m_line.panel->setFaults(PanelFaults());
        QVERIFY(m_line.port.open(path));
        QCOMPARE(m_line.exchange(kVerifyOk), kVerifyOk);

        // A client that takes the port for itself and closes without giving
        // it back must not lock everyone else out.
        QVERIFY(::ioctl(m_line.port.fd(), TIOCEXCL) == 0);
        m_line.port.close();
        const auto shared = [&path] {
            RawPort again;
            int exclusive = 0;
            if (!again.open(path))
                return false;
#ifdef TIOCGEXCL
            if (::ioctl(again.fd(), TIOCGEXCL, &exclusive) != 0)
                return false;
#endif
            return exclusive == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shared(), PanelLine::kWaitMs);
    }
};

QTEST_GUILESS_MAIN(TestVirtualPanel)
#include "tst_virtualpanel.moc"
