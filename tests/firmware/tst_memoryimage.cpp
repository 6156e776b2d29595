// The image built from records: the line format, the sort, the dropping of
// blank runs, and the refusal of records that disagree on a byte.

#include "firmware/hexparser.h"
#include "firmware/imagebuilder.h"
#include "support/intelhex.h"
#include "support/logcapture.h"

#include <QRandomGenerator>
#include <QtTest>

#include <map>

namespace {

using Lines = QList<QByteArray>;

HexRecord makeRecord(qint32 address, const QByteArray &bytes, int line = 0)
{
    HexRecord r;
    r.address = address;
    r.length = qint16(bytes.size());
    r.data = bytes.toHex().toUpper();
    r.line = line;
    return r;
}

} // namespace

class TestMemoryImage : public QObject
{
    Q_OBJECT

private slots:
    void judgesBlankRecords_data();
    void judgesBlankRecords();
    void dropsBlankRuns_data();
    void dropsBlankRuns();
    void sortsEveryOrder_data();
    void sortsEveryOrder();
    void refusesConflictsAnywhereInTheirReach();
};

void TestMemoryImage::judgesBlankRecords_data()
{
    QTest::addColumn<qint32>("address");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("blank");

    const QByteArray phantomZeros("\xFF\xFF\xFF\x00\xFF\xFF\xFF\x00", 8);
    QTest::newRow("zero phantom bytes, aligned") << 0x100 << phantomZeros << true;
    QTest::newRow("same bytes one address on") << 0x101 << phantomZeros << false;
    QTest::newRow("no bytes") << 0x100 << QByteArray() << true;
    QTest::newRow("one byte at a phantom address") << 0x103 << QByteArray(1, '\x00') << true;
    QTest::newRow("zero in the last real byte") << 0x7FC << QByteArray("\xFF\xFF\x00\x12", 4) << false;
}

void TestMemoryImage::judgesBlankRecords()
{
    QFETCH(qint32, address);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, blank);
    QCOMPARE(ImageBuilder::isBlank(address, reinterpret_cast<const unsigned char *>(bytes.constData()),
                                   bytes.size()),
             blank);
}

void TestMemoryImage::dropsBlankRuns_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("notBlank");  // indices in sorted order
    QTest::addColumn<QVector<int>>("kept");

    auto range = [](int from, int to) {
        QVector<int> v;
        for (int k = from; k < to; ++k)
            v.append(k);
        return v;
    };
    QTest::newRow("first 16 of 20 blank") << 20 << range(16, 20) << range(16, 20);
    QTest::newRow("20 blank: the tail stays") << 20 << QVector<int>() << range(16, 20);
    QTest::newRow("32 blank") << 32 << QVector<int>() << QVector<int>();
    QTest::newRow("33 blank") << 33 << QVector<int>() << QVector<int>{32};
    QTest::newRow("one real record keeps its run") << 16 << QVector<int>{7} << range(0, 16);
    QTest::newRow("only the middle run real") << 48 << QVector<int>{31} << range(16, 32);
    QTest::newRow("15 blank records") << 15 << QVector<int>() << range(0, 15);
    QTest::newRow("nothing") << 0 << QVector<int>() << QVector<int>();
}

void TestMemoryImage::dropsBlankRuns()
{
    QFETCH(int, count);
    QFETCH(QVector<int>, notBlank);
    QFETCH(QVector<int>, kept);

    // Records at scattered addresses, in reverse file order: runs count
    // records in sorted order, not addresses.
    auto bytesOf = [&](int k) { return notBlank.contains(k) ? QByteArray(16, char(k)) : QByteArray(16, '\xFF'); };
    QVector<HexRecord> records;
    for (int k = count - 1; k >= 0; --k)
        records.append(makeRecord(0x1000 + k * 0x130, bytesOf(k), k + 1));
    QVector<QByteArray> image;
    QVERIFY(ImageBuilder().build(records, &image));

    QVector<QByteArray> expected;
    for (int k : kept)
        expected.append(intelhex::imageLine(quint64(0x1000 + k * 0x130), bytesOf(k)));
    QCOMPARE(image, expected);
}

void TestMemoryImage::sortsEveryOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("distinct");  // how many different addresses
    QTest::addColumn<int>("shape");     // 0 random, 1 ascending, 2 descending, 3 organ pipe

    for (int count : {17, 5000}) {
        for (int distinct : {3, count}) {
            for (int shape = 0; shape < 4; ++shape)
                QTest::addRow("%d records, %d addresses, shape %d", count, distinct, shape)
                    << count << distinct << shape;
        }
    }
    // Would take a plain middle-pivot quicksort hundreds of millions of
    // steps, or its stack.
    QTest::newRow("organ pipe of 60000") << 60000 << 60000 << 3;
}

void TestMemoryImage::sortsEveryOrder()
{
    QFETCH(int, count);
    QFETCH(int, distinct);
    QFETCH(int, shape);

    QRandomGenerator random(quint32(count * 131 + distinct * 7 + shape));
    QVector<HexRecord> records;
    for (int k = 0; k < count; ++k) {
        qint64 key = 0;
        switch (shape) {
        case 0: key = random.bounded(distinct); break;
        case 1: key = qint64(k) * distinct / count; break;
        case 2: key = qint64(count - 1 - k) * distinct / count; break;
        default: key = qint64(k < count / 2 ? 2 * k : 2 * (count - 1 - k) + 1) * distinct / count / 2; break;
        }
        // Negative addresses too: the comparison is signed.
        records.append(makeRecord(qint32(key * 16 - 64), QByteArray(1, char(k)), k + 1));
    }
    sortRecords(records, 0, records.size() - 1);
    // In address order, and every record still there once.
    QVector<int> lines;
    for (int k = 0; k < records.size(); ++k) {
        QVERIFY(k == 0 || records.at(k - 1).address <= records.at(k).address);
        lines.append(records.at(k).line);
    }
    std::sort(lines.begin(), lines.end());
    for (int k = 0; k < count; ++k)
        QCOMPARE(lines.at(k), k + 1);
}

void TestMemoryImage::refusesConflictsAnywhereInTheirReach()
{
    // Random records crowded into a small space, so that they overlap a lot
    // and at every distance: the builder must refuse exactly the sets in
    // which some byte gets two values.
    QRandomGenerator random(20240601);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        QVector<HexRecord> records;
        std::map<quint32, char> first;
        bool conflict = false;
        const int count = 1 + int(random.bounded(40));
        for (int k = 0; k < count; ++k) {
            const qint32 address = 0x10000 + qint32(random.bounded(700));
            const int length = int(random.bounded(256));
            QByteArray bytes;
            for (int b = 0; b < length; ++b) {
                // Mostly the byte the address "should" hold, now and then not.
                const quint32 at = quint32(address + b);
                const char value = random.bounded(2000) == 0 ? char(random.bounded(256)) : char(at * 7);
                bytes.append(value);
                const auto found = first.find(at);
                if (found == first.end())
                    first.emplace(at, value);
                else if (found->second != value)
                    conflict = true;
            }
            records.append(makeRecord(address, bytes, k + 1));
        }
        QVector<QByteArray> image;
        LogCapture capture;
        QCOMPARE(ImageBuilder().build(records, &image), !conflict);
        QCOMPARE(capture.countPrefix("Hex file lines"), conflict ? 1 : 0);
        refused += conflict;
    }
    // The draw must have produced both outcomes to prove anything.
    QVERIFY2(refused > 20 && refused < 380, qPrintable(QString::number(refused)));
}

QTEST_GUILESS_MAIN(TestMemoryImage)
#include "tst_memoryimage.moc"
