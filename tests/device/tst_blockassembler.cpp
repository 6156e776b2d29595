// Image lines to write blocks. What lands where is checked against the
// panel's flash in the connection tests; here the parts a flash comparison
// cannot see: the line format, order independence and the blank judgement.
#include "device/blockassembler.h"
#include "support/intelhex.h"

#include <QtTest>

using intelhex::counting;
using intelhex::imageLine;

class TestBlockAssembler : public QObject
{
    Q_OBJECT

private slots:
    void parsesTheImageLineFormat_data();
    void parsesTheImageLineFormat();

    void outOfOrderAndRepeatedLines();
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

void TestBlockAssembler::outOfOrderAndRepeatedLines()
{
    // The reader sorts and lets identical repeats through; the assembler
    // must not depend on either.
    const QVector<QByteArray> sorted = {imageLine(0x100, counting(16)), imageLine(0x110, counting(16, 16)),
                                        imageLine(0x300, counting(8, 99))};
    const QVector<QByteArray> shuffled = {sorted[2], sorted[1], sorted[0], sorted[1], imageLine(0x108, counting(8, 8))};
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

void TestBlockAssembler::blankDetectionIgnoresPhantomBytes()
{
    BlockAssembler assembler;
    const QByteArray erasedWords = QByteArray::fromHex("ffffff00").repeated(8);
    QVERIFY(assembler.assemble({imageLine(0x100, erasedWords), imageLine(0x200, QByteArray::fromHex("ffff7f00"))}));
    QCOMPARE(assembler.blocks().size(), 2);
    QVERIFY(assembler.blocks()[0].blank);
    QVERIFY(!assembler.blocks()[1].blank);
    // The same bytes one position later put a 00 on a stored byte.
    QVERIFY(assembler.assemble({imageLine(0x101, erasedWords.left(8))}));
    QVERIFY(!assembler.blocks()[0].blank);
}

QTEST_APPLESS_MAIN(TestBlockAssembler)
#include "tst_blockassembler.moc"
