// A peer cross-check: files written by srec_cat from random binaries, at
// every record length and in every line style it offers, must read into an
// image that holds exactly the bytes, at exactly the addresses, that
// srec_cat itself reads back from the same file.

#include "firmware/hexparser.h"
#include "hexfixture.h"
#include "srecordpeer.h"

#include <QRandomGenerator>
#include <QtTest>

#include <memory>

namespace {

struct Range
{
    quint32 address;
    QByteArray bytes;
};

QString hexNumber(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}

} // namespace

class TestSrecordCheck : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase();
    void matchesSrecCat_data();
    void matchesSrecCat();
};

void TestSrecordCheck::initTestCase()
{
    if (srecordpeer::srecCat().isEmpty())
        QSKIP("srec_cat is not installed (Debian package srecord)");
    QVERIFY(m_dir.isValid());
}

void TestSrecordCheck::matchesSrecCat_data()
{
    QTest::addColumn<int>("recordLength");
    QTest::addColumn<bool>("segmented");  // type 02 addressing instead of 04
    QTest::addColumn<bool>("lowercase");
    QTest::addColumn<bool>("crlf");

    for (int n = 1; n <= 255; ++n) {
        const bool segmented = n % 8 == 5;
        const bool lowercase = n % 2 == 1;
        const bool crlf = n % 3 == 0;
        QTest::addRow("%d-byte records%s%s%s", n, segmented ? ", segmented" : "", lowercase ? ", lowercase" : "",
                      crlf ? ", CRLF" : "")
            << n << segmented << lowercase << crlf;
    }
}

void TestSrecordCheck::matchesSrecCat()
{
    QFETCH(int, recordLength);
    QFETCH(bool, segmented);
    QFETCH(bool, lowercase);
    QFETCH(bool, crlf);
    const int n = recordLength;

    // Three ranges of a few records each, the last usually partial: one near
    // the bottom, one across a 64 KiB boundary, one high up (for linear
    // addressing sometimes right at the top of the signed range).
    QRandomGenerator random{quint32(n)};
    const int size = 3 * n + int(random.bounded(quint32(n))) + 1;
    QVector<Range> ranges;
    ranges.append(Range{quint32(random.bounded(64)), QByteArray()});
    ranges.append(Range{quint32(0x10000 * (1 + n % 3) - size / 2 - n % 5), QByteArray()});
    if (segmented)
        ranges.append(Range{quint32(0xF0000 - size / 3), QByteArray()});
    else if (n % 16 == 0)
        ranges.append(Range{quint32(0x80000000u - quint32(size)), QByteArray()});
    else
        ranges.append(Range{quint32((n % 2 ? 0x1F00000 : 0x7FFF0000) - size / 2), QByteArray()});

    QStringList arguments;
    for (int r = 0; r < ranges.size(); ++r) {
        QByteArray &bytes = ranges[r].bytes;
        for (int k = 0; k < size; ++k)
            bytes.append(char(random.bounded(256)));
        const QString binary = hexfixture::writeFile(m_dir, QStringLiteral("r%1.bin").arg(r), bytes);
        QVERIFY(!binary.isEmpty());
        arguments << binary << "-binary" << "-offset" << hexNumber(ranges.at(r).address);
    }
    const QString hexPath = m_dir.filePath(QStringLiteral("out%1.hex").arg(n));
    arguments << "-o" << hexPath << "-intel" << QStringLiteral("-obs=%1").arg(n);
    if (segmented)
        arguments << "-address-length=3";
    if (crlf)
        arguments << "-crlf";
    QString error;
    QVERIFY2(srecordpeer::run(arguments, nullptr, &error), qPrintable(error));

    QFile file(hexPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    QCOMPARE(text.contains("\r\n"), crlf);
    QVERIFY(text.contains(segmented ? ":02000002" : ":02000004"));
    if (lowercase) {
        text = text.toLower();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
    }

    std::unique_ptr<QVector<QByteArray>> image(parseHexImage(hexPath));
    QVERIFY(image);
    // Random data never makes a run of sixteen blank records, so every
    // data record of the file has its line.
    QCOMPARE(image->size(), srecordpeer::dataRecordCount(text));
    int longest = 0;
    for (const QByteArray &line : *image)
        longest = qMax(longest, (line.size() - line.indexOf(' ') - 1) / 3);
    QCOMPARE(longest, n);

    bool consistent = false;
    const QMap<quint32, quint8> ours = hexfixture::imageBytes(*image, &consistent);
    QVERIFY(consistent);

    QMap<quint32, quint8> theirs;
    QVERIFY2(srecordpeer::decode(hexPath, &theirs, &error), qPrintable(error));

    QMap<quint32, quint8> generated;
    for (const Range &range : qAsConst(ranges))
        for (int k = 0; k < range.bytes.size(); ++k)
            generated.insert(range.address + quint32(k), quint8(range.bytes.at(k)));

    QCOMPARE(theirs.size(), generated.size());
    QCOMPARE(ours.size(), theirs.size());
    for (auto it = theirs.cbegin(); it != theirs.cend(); ++it) {
        QVERIFY2(ours.contains(it.key()), qPrintable("missing byte at " + hexNumber(it.key())));
        QVERIFY2(ours.value(it.key()) == it.value(), qPrintable("wrong byte at " + hexNumber(it.key())));
    }
    QCOMPARE(theirs, generated);
}

QTEST_GUILESS_MAIN(TestSrecordCheck)
#include "tst_srecordcheck.moc"
