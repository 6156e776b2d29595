// The flash model: flash semantics, the bootloader's guarded words, the
// file layout and the HEX dump.

#include "support/bootframe.h"
#include "sim/flashmodel.h"
#include "sim/intelhexdump.h"

#include <QtTest>

namespace {
const QByteArray kErasedWord = QByteArray::fromHex("ffffff00");
const QByteArray kBootJump = QByteArray::fromHex("00540400 01000000");
} // namespace

class TestFlashModel : public QObject
{
    Q_OBJECT

private slots:
    void writingOnlyClearsBits()
    {
        FlashModel flash;
        const QByteArray bytes = flash.fileBytes();
        QCOMPARE(bytes.size(), 0x15800 * 2);
        QCOMPARE(bytes.left(8), kBootJump);
        for (int i = 8; i < bytes.size(); i += 4)
            QCOMPARE(bytes.mid(i, 4), kErasedWord);

        const QByteArray first = BootFrame::pattern(64, 0x31), second = BootFrame::pattern(64, 0x4c);
        QVERIFY(flash.writeRow(0x400, first));
        QCOMPARE(flash.read(0x400, 64), first);
        // Over unerased flash the result is the AND of both, as on the part.
        QVERIFY(flash.writeRow(0x400, second));
        QByteArray anded = first;
        for (int i = 0; i < anded.size(); ++i)
            anded[i] = char(first.at(i) & second.at(i));
        QVERIFY(anded != second);
        QCOMPARE(flash.read(0x400, 64), anded);

        QVERIFY(flash.erasePage(0x400));
        QVERIFY(flash.writeRow(0x400, second));
        QCOMPARE(flash.read(0x400, 64), second);
        QCOMPARE(flash.read(0x3FE, 1), kErasedWord);    // the neighbours untouched
        QCOMPARE(flash.read(0x480, 1), kErasedWord);
        QCOMPARE(flash.fileBytes().mid(0x800, 256), second);
    }

    void bootloaderGuardsItself()
    {
        FlashModel flash;
        flash.fill(0x12);
        QVERIFY(!flash.erasePage(0x15400));
        QVERIFY(!flash.writeRow(0x15780, BootFrame::pattern(64, 0)));
        QCOMPARE(flash.read(0x15400, 1), QByteArray::fromHex("12121200"));
        QCOMPARE(flash.read(0x157FE, 1), QByteArray::fromHex("12121200"));
        QVERIFY(flash.erasePage(0x15000));
        QCOMPARE(flash.read(0x153FE, 1), kErasedWord);

        // The application's jump moves to 0x100/0x102; the bootloader's stays.
        QVERIFY(flash.erasePage(0));
        const QByteArray row0 = BootFrame::pattern(64, 0x20), row2 = BootFrame::pattern(64, 0x60);
        QVERIFY(flash.writeRow(0, row0));
        QVERIFY(flash.writeRow(0x100, row2));
        QCOMPARE(flash.read(0, 64), kBootJump + row0.mid(8));
        QCOMPARE(flash.read(0x100, 64), row0.left(8) + row2.mid(8));
        QVERIFY(flash.erasePage(0));
        QCOMPARE(flash.read(0, 2), kBootJump);
        QCOMPARE(flash.read(0x100, 2), kErasedWord + kErasedWord);
    }

    void readsOutsideFlash()
    {
        FlashModel flash;
        QCOMPARE(flash.read(0xFF0000, 1), QByteArray::fromHex("08100000"));
        QCOMPARE(flash.read(0x157FE, 2), kErasedWord + QByteArray(4, '\0'));
        QCOMPARE(flash.read(0x800000, 1), QByteArray(4, '\0'));
    }

    void hexDumpHoldsWhatWasProgrammed()
    {
        FlashModel flash;
        QVERIFY(flash.writeRow(0x8000, BootFrame::pattern(64, 0x42)));   // file address 0x10000
        const QList<QByteArray> lines = IntelHexDump::fromFileBytes(flash.fileBytes()).trimmed().split('\n');
        QCOMPARE(lines.first(), QByteArray(":100000000054040001000000FFFFFF00FFFFFF009D"));
        QCOMPARE(lines.at(1), QByteArray(":020000040001F9"));
        QCOMPARE(lines.last(), QByteArray(":00000001FF"));
        QCOMPARE(lines.size(), 1 + 1 + 16 + 1);     // boot jump, extended address, the row, end
        for (const QByteArray &line : lines) {
            quint8 sum = 0;
            for (char c : QByteArray::fromHex(line.mid(1)))
                sum = quint8(sum + quint8(c));
            QCOMPARE(sum, quint8(0));
        }
    }
};

QTEST_GUILESS_MAIN(TestFlashModel)
#include "tst_flashmodel.moc"
