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

// What the blocks put at each byte address (0xFF where nothing was given).
QMap<quint64, quint8> flatten(const QVector<ImageBlock> &blocks)
{
    QMap<quint64, quint8> bytes;
    for (const ImageBlock &b : blocks)
        for (int k = 0; k < b.data.size(); ++k)
            if (quint8(b.data.at(k)) != 0xFF)
                bytes.insert(b.byteAddress + quint64(k), quint8(b.data.at(k)));
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
    void compilerStyleRecordsKeepEveryByteAtItsAddress();
    void gapsAreFilledAndALineOutsideStartsANewBlock();
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
    QTest::newRow("CR left over") << QByteArray("000010 01\r") << true << quint64(0x10) << QByteArray("\x01");
    QTest::newRow("empty") << QByteArray() << false << quint64(0) << QByteArray();
    QTest::newRow("blanks only") << QByteArray("   ") << false << quint64(0) << QByteArray();
    QTest::newRow("not hex address") << QByteArray("00g400 12 ") << false << quint64(0) << QByteArray();
    QTest::newRow("nine-digit address") << QByteArray("100000000 12 ") << false << quint64(0) << QByteArray();
    QTest::newRow("odd digit") << QByteArray("000400 1 ") << false << quint64(0) << QByteArray();
    QTest::newRow("three digits") << QByteArray("000400 123 ") << false << quint64(0) << QByteArray();
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

void TestBlockAssembler::compilerStyleRecordsKeepEveryByteAtItsAddress()
{
    // The shape of an XC16 file: an 8-byte record at 0, 4-byte vector
    // records, a section starting in the middle of a block, odd lengths.
    QMap<quint64, quint8> expected;
    QVector<QByteArray> lines;
    auto add = [&](quint64 address, const QByteArray &bytes) {
        lines << line(address, bytes);
        for (int k = 0; k < bytes.size(); ++k)
            expected.insert(address + quint64(k), quint8(bytes.at(k)));
    };
    add(0x0, QByteArray::fromHex("0002040000000000"));
    add(0x8, QByteArray::fromHex("a8020000"));
    add(0xc, QByteArray::fromHex("b0020000"));
    add(0x14, counting(7, 0x30));
    add(0x208, counting(16, 0x40));
    add(0x218, counting(13, 0x50));
    add(0x3f8, counting(16, 0x60));  // crosses into the block at 0x400
    add(0x2000, counting(3, 0x70));
    BlockAssembler assembler;
    QVERIFY(assembler.assemble(lines));
    QMap<quint64, quint8> given;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        if (it.value() != 0xFF)
            given.insert(it.key(), it.value());
    QCOMPARE(flatten(assembler.blocks()), given);
    QList<quint64> bases;
    for (const ImageBlock &b : assembler.blocks())
        bases << b.byteAddress;
    QCOMPARE(bases, (QList<quint64>{0x0, 0x200, 0x300, 0x400, 0x2000}));
}

void TestBlockAssembler::gapsAreFilledAndALineOutsideStartsANewBlock()
{
    BlockAssembler assembler;
    QVERIFY(assembler.assemble({line(0x10, counting(4, 1)), line(0x30, counting(4, 9)), line(0x1230, counting(2, 7))}));
    const QVector<ImageBlock> &blocks = assembler.blocks();
    QCOMPARE(blocks.size(), 2);
    QByteArray first(256, char(0xFF));
    first.replace(0x10, 4, counting(4, 1));
    first.replace(0x30, 4, counting(4, 9));
    QCOMPARE(blocks[0].data, first);
    QCOMPARE(blocks[0].lastLine, 1);
    QCOMPARE(blocks[1].byteAddress, quint64(0x1200));
    QCOMPARE(quint8(blocks[1].data.at(0x30)), quint8(7));
    QCOMPARE(quint8(blocks[1].data.at(0x31)), quint8(8));
    QCOMPARE(blocks[1].lastLine, 2);
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
