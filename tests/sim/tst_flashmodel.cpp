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
    void startsErasedButForTheBootJump()
    {
        FlashModel flash;
        const QByteArray bytes = flash.fileBytes();
        QCOMPARE(bytes.size(), 0x15800 * 2);
        QCOMPARE(bytes.left(8), kBootJump);
        for (int i = 8; i < bytes.size(); i += 4)
            QCOMPARE(bytes.mid(i, 4), kErasedWord);
    }

    void writingOnlyClearsBits()
    {
        FlashModel flash;
        const QByteArray first = BootFrame::pattern(64, 0x31);
        QVERIFY(flash.writeRow(0x400, first));
        QCOMPARE(flash.read(0x400, 64), first);

        // Over unerased flash the result is the AND of both, as on the part.
        const QByteArray second = BootFrame::pattern(64, 0x4c);
        QVERIFY(flash.writeRow(0x400, second));
        QByteArray expected = first;
        for (int i = 0; i < expected.size(); ++i)
            expected[i] = char(first.at(i) & second.at(i));
        QCOMPARE(flash.read(0x400, 64), expected);
        QVERIFY(expected != second);

        // Erase brings the page back; a write then reads back exactly.
        QVERIFY(flash.erasePage(0x400));
        QCOMPARE(flash.read(0x400, 1), kErasedWord);
        QVERIFY(flash.writeRow(0x400, second));
        QCOMPARE(flash.read(0x400, 64), second);
        // The neighbouring rows and pages were not touched.
        QCOMPARE(flash.read(0x3FE, 1), kErasedWord);
        QCOMPARE(flash.read(0x480, 1), kErasedWord);
    }

    void protectedPageIsLeftAlone()
    {
        FlashModel flash;
        flash.fill(0x12);
        QVERIFY(!flash.erasePage(0x15400));
        QVERIFY(!flash.writeRow(0x15780, BootFrame::pattern(64, 0)));
        QCOMPARE(flash.read(0x15400, 1), QByteArray::fromHex("12121200"));
        QCOMPARE(flash.read(0x157FE, 1), QByteArray::fromHex("12121200"));
        // The page below is ordinary.
        QVERIFY(flash.erasePage(0x15000));
        QCOMPARE(flash.read(0x153FE, 1), kErasedWord);
    }

    void applicationJumpMovesTo0x100()
    {
        FlashModel flash;
        QByteArray row0 = BootFrame::pattern(64, 0x20);
        QVERIFY(flash.writeRow(0, row0));
        const QByteArray readBack = flash.read(0, 64);
        QCOMPARE(readBack.left(8), kBootJump);
        QCOMPARE(readBack.mid(8), row0.mid(8));
        QCOMPARE(flash.read(0x100, 2), row0.left(8));

        // The row at 0x100 keeps the application's jump; the rest is written.
        const QByteArray row2 = BootFrame::pattern(64, 0x60);
        QVERIFY(flash.writeRow(0x100, row2));
        const QByteArray readBack2 = flash.read(0x100, 64);
        QCOMPARE(readBack2.left(8), row0.left(8));
        QCOMPARE(readBack2.mid(8), row2.mid(8));

        // Erasing page 0 clears the application's jump but not the
        // bootloader's.
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
        const QByteArray hex = IntelHexDump::fromFileBytes(flash.fileBytes());
        const QList<QByteArray> lines = hex.trimmed().split('\n');
        QCOMPARE(lines.first(), QByteArray(":100000000054040001000000FFFFFF00FFFFFF009D"));
        QVERIFY(lines.contains(":020000040001F9"));
        QCOMPARE(lines.last(), QByteArray(":00000001FF"));
        // Boot jump line, extended address, 16 data lines, end.
        QCOMPARE(lines.size(), 1 + 1 + 16 + 1);
        for (const QByteArray &line : lines) {
            const QByteArray raw = QByteArray::fromHex(line.mid(1));
            quint8 sum = 0;
            for (char c : raw)
                sum = quint8(sum + quint8(c));
            QCOMPARE(sum, quint8(0));
        }
    }
};

QTEST_GUILESS_MAIN(TestFlashModel)
#include "tst_flashmodel.moc"
