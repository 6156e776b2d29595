// Image lines to write blocks: every byte must land at its own address,
// whatever the lines' lengths, gaps, order and alignment.
#include "device/blockassembler.h"

#include <QtTest>

namespace {
QByteArray line(quint64 address, const QByteArray &bytes)
{
    QByteArray text = QByteArray::number(address, 16).rightJustified(6, '0') + ' ';
    for (char b : bytes)
        text += QByteArray::number(quint8(b), 16).rightJustified(2, '0') + ' ';
    return text;
}

QByteArray counting(int n, int from = 0)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i)
        bytes.append(char((from + i) & 0xFF));
    return bytes;
}

} // namespace

class TestBlockAssembler : public QObject
{
    Q_OBJECT

private slots:
    void parsesTheImageLineFormat_data();
    void parsesTheImageLineFormat();

    void contiguousAlignedLinesMakeOneBlockPerSixteen();
    void lineAcrossABlockBoundarySplits();
    void outOfOrderAndRepeatedLines();
    void conflictingBytesOrABadLineRejectTheWholeImage();
    void blankDetectionIgnoresPhantomBytes();
};

void TestBlockAssembler::parsesTheImageLineFormat_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint64>("address");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("reader's form") << QByteArray("000400 12 ab ") << true << quint64(0x400) << QByteArray("\x12\xab");
    QTest::newRow("no trailing blank, uppercase") << QByteArray("000400 12 AB") << true << quint64(0x400)
                                                  << QByteArray("\x12\xab");
    QTest::newRow("seven-digit address") << QByteArray("1000000 00 ") << true << quint64(0x1000000)
                                         << QByteArray(1, '\0');
    QTest::newRow("address alone") << QByteArray("000100 ") << true << quint64(0x100) << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << quint64(0) << QByteArray();
    QTest::newRow("not hex address") << QByteArray("00g400 12 ") << false << quint64(0) << QByteArray();
    QTest::newRow("nine-digit address") << QByteArray("100000000 12 ") << false << quint64(0) << QByteArray();
    QTest::newRow("odd digit") << QByteArray("000400 1 ") << false << quint64(0) << QByteArray();
    QTest::newRow("not hex byte") << QByteArray("000400 1z ") << false << quint64(0) << QByteArray();
    QTest::newRow("HEX record, not an image line") << QByteArray(":10000000") << false << quint64(0)
                                                   << QByteArray();
}

void TestBlockAssembler::parsesTheImageLineFormat()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(quint64, address);
    QFETCH(QByteArray, bytes);
    quint64 gotAddress = 0;
    QByteArray gotBytes;
    QCOMPARE(BlockAssembler::parseLine(text, &gotAddress, &gotBytes), ok);
    if (ok) {
        QCOMPARE(gotAddress, address);
        QCOMPARE(gotBytes, bytes);
    }
}

void TestBlockAssembler::contiguousAlignedLinesMakeOneBlockPerSixteen()
{
    // 40 lines of 16 bytes from 0x400: blocks at 0x400, 0x500 and a partial
    // one at 0x600, progress at lines 15, 31 and 39.
    QVector<QByteArray> lines;
    for (int i = 0; i < 40; ++i)
        lines << line(0x400 + 16 * i, counting(16, i * 16));
    BlockAssembler assembler;
    QVERIFY(assembler.assemble(lines));
    const QVector<ImageBlock> &blocks = assembler.blocks();
    QCOMPARE(blocks.size(), 3);
    QCOMPARE(blocks[0].byteAddress, quint64(0x400));
    QCOMPARE(blocks[1].byteAddress, quint64(0x500));
    QCOMPARE(blocks[2].byteAddress, quint64(0x600));
    QCOMPARE(blocks[0].lastLine, 15);
    QCOMPARE(blocks[1].lastLine, 31);
    QCOMPARE(blocks[2].lastLine, 39);
    QCOMPARE(blocks[0].data, counting(256));
    QCOMPARE(blocks[2].data, counting(128, 512) + QByteArray(128, char(0xFF)));
    for (const ImageBlock &b : blocks)
        QCOMPARE(b.data.size(), 256);
}

void TestBlockAssembler::lineAcrossABlockBoundarySplits()
{
    // A long line (writeFile accepts any length) over three blocks.
    BlockAssembler assembler;
    QVERIFY(assembler.assemble({line(0x80, counting(600))}));
    const QVector<ImageBlock> &blocks = assembler.blocks();
    QCOMPARE(blocks.size(), 3);
    QCOMPARE(blocks[0].data.mid(0x80), counting(128));
    QCOMPARE(blocks[1].data, counting(256, 128));
    QCOMPARE(blocks[2].data.left(216), counting(216, 384));
    QCOMPARE(blocks[2].data.mid(216), QByteArray(40, char(0xFF)));
}

void TestBlockAssembler::outOfOrderAndRepeatedLines()
{
    // The reader sorts and lets identical repeats through; the assembler
    // must not depend on either.
    const QVector<QByteArray> sorted = {line(0x100, counting(16)), line(0x110, counting(16, 16)),
                                        line(0x300, counting(8, 99))};
    const QVector<QByteArray> shuffled = {sorted[2], sorted[1], sorted[0], sorted[1], line(0x108, counting(8, 8))};
    BlockAssembler a;
    BlockAssembler b;
    QVERIFY(a.assemble(sorted));
    QVERIFY(b.assemble(shuffled));
    QCOMPARE(b.blocks().size(), a.blocks().size());
    for (int i = 0; i < a.blocks().size(); ++i) {
        QCOMPARE(b.blocks()[i].byteAddress, a.blocks()[i].byteAddress);
        QCOMPARE(b.blocks()[i].data, a.blocks()[i].data);
    }
    // Progress never goes backwards, even when a later block's lines came first.
    QCOMPARE(b.blocks()[0].lastLine, 4);
    QCOMPARE(b.blocks()[1].lastLine, 4);
}

void TestBlockAssembler::conflictingBytesOrABadLineRejectTheWholeImage()
{
    BlockAssembler assembler;
    QVERIFY(!assembler.assemble({line(0x100, counting(16)), line(0x108, counting(4, 50))}));
    QVERIFY(assembler.error().contains("0x108"));
    QVERIFY(assembler.blocks().isEmpty());

    QVERIFY(!assembler.assemble({line(0x100, counting(16)), QByteArray("000110 zz "), line(0x200, counting(4))}));
    QVERIFY(assembler.error().contains("line 1"));
    QVERIFY(assembler.blocks().isEmpty());

    QVERIFY(assembler.assemble({}));
    QVERIFY(assembler.blocks().isEmpty());
}

void TestBlockAssembler::blankDetectionIgnoresPhantomBytes()
{
    BlockAssembler assembler;
    const QByteArray erasedWords = QByteArray::fromHex("ffffff00").repeated(8);
    QVERIFY(assembler.assemble({line(0x100, erasedWords), line(0x200, QByteArray::fromHex("ffff7f00"))}));
    QCOMPARE(assembler.blocks().size(), 2);
    QVERIFY(assembler.blocks()[0].blank);
    QVERIFY(!assembler.blocks()[1].blank);
    // The same bytes one position later put a 00 on a stored byte.
    QVERIFY(assembler.assemble({line(0x101, erasedWords.left(8))}));
    QVERIFY(!assembler.blocks()[0].blank);
}

QTEST_APPLESS_MAIN(TestBlockAssembler)
#include "tst_blockassembler.moc"
