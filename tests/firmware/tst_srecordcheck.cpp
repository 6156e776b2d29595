// A peer cross-check: files written by srec_cat from random binaries, at
// every record length and in every line style it offers, and the real
// firmware files built by the vendor's toolchain, must read into an image
// that holds exactly the bytes, at exactly the addresses, that srec_cat
// itself reads back from the same file.

#include "firmware/hexparser.h"
#include "support/intelhex.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

// srec_cat (Debian's srecord) as an independent reader of Intel HEX files:
// what it decodes from a file is what our image must hold.
namespace {

// Runs srec_cat: its words when it fails, else empty (and its output).
QString srecCat(const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("srec_cat")), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString::fromLocal8Bit(process.readAllStandardError()) + process.errorString() + QLatin1Char(' ');
    if (output)
        *output = process.readAllStandardOutput();
    return QString();
}

// The bytes srec_cat reads from an Intel HEX file, by byte address, taken
// from its Verilog memory dump ("@address" then one byte per word).
QString srecDecode(const QString &hexPath, QMap<quint32, quint8> *bytes)
{
    QByteArray dump;
    const QString error = srecCat({hexPath, "-intel", "-o", "-", "-vmem", "8"}, &dump);
    quint32 address = 0;
    for (const QByteArray &line : dump.split('\n')) {
        for (const QByteArray &item : line.startsWith("/*") ? QList<QByteArray>() : line.simplified().split(' ')) {
            bool ok = item.isEmpty();
            if (item.startsWith('@'))
                address = item.mid(1).toUInt(&ok, 16);
            else if (item.size() == 2)
                bytes->insert(address++, quint8(item.toUInt(&ok, 16)));
            if (!ok)
                return "unexpected item in srec_cat's dump: " + QString::fromLatin1(item);
        }
    }
    return error;
}

// Data records in a file's text, counted without reading them.
int dataRecordCount(const QByteArray &text)
{
    int count = 0;
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(':') && line.mid(7, 2) == "00")
            ++count;
    return count;
}


struct Range
{
    quint32 address;
    QByteArray bytes;
};

QString hexNumber(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}

// Reads `path` through the program and compares the image, byte for byte,
// with what srec_cat decodes from the same file.
void compareWithSrecCat(const QString &path, const QByteArray &text, QMap<quint32, quint8> *ours)
{
    std::unique_ptr<QVector<QByteArray>> image(parseHexImage(path));
    QVERIFY(image);
    // No run of sixteen blank records in these files: one line per record.
    QCOMPARE(image->size(), dataRecordCount(text));
    bool consistent = false;
    *ours = intelhex::imageBytes(*image, &consistent);
    QVERIFY(consistent);

    QMap<quint32, quint8> theirs;
    const QString error = srecDecode(path, &theirs);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!theirs.isEmpty());
    QCOMPARE(ours->size(), theirs.size());
    for (auto it = theirs.cbegin(); it != theirs.cend(); ++it) {
        QVERIFY2(ours->contains(it.key()), qPrintable("missing byte at " + hexNumber(it.key())));
        QVERIFY2(ours->value(it.key()) == it.value(), qPrintable("wrong byte at " + hexNumber(it.key())));
    }
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
    void samplesMatchSrecCat_data();
    void samplesMatchSrecCat();
};

void TestSrecordCheck::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("srec_cat")).isEmpty())
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
        const QString binary = m_dir.filePath(QStringLiteral("r%1.bin").arg(r));
        QVERIFY(intelhex::writeFile(binary, bytes));
        arguments << binary << "-binary" << "-offset" << hexNumber(ranges.at(r).address);
    }
    const QString hexPath = m_dir.filePath(QStringLiteral("out%1.hex").arg(n));
    arguments << "-o" << hexPath << "-intel" << QStringLiteral("-obs=%1").arg(n);
    if (segmented)
        arguments << "-address-length=3";
    if (crlf)
        arguments << "-crlf";
    const QString error = srecCat(arguments);
    QVERIFY2(error.isEmpty(), qPrintable(error));

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

    QMap<quint32, quint8> ours;
    compareWithSrecCat(hexPath, text, &ours);
    if (QTest::currentTestFailed())
        return;

    QMap<quint32, quint8> generated;
    for (const Range &range : qAsConst(ranges))
        for (int k = 0; k < range.bytes.size(); ++k)
            generated.insert(range.address + quint32(k), quint8(range.bytes.at(k)));
    QCOMPARE(ours, generated);
}

void TestSrecordCheck::samplesMatchSrecCat_data()
{
    if (!QDir(QStringLiteral(WIZARD_SAMPLES_DIR)).exists())
        QSKIP("the firmware samples folder is absent");
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("lastAddress");  // of the image's last byte
    QTest::newRow("64 KB application") << "pic24fj64ga004-app.hex" << quint32(0x157FF);
    QTest::newRow("configuration at 0x1f00000") << "pic24f16ka301-blink.hex" << quint32(0x1F00023);
    QTest::newRow("256 KB part") << "pic24fj256gb110-test.hex" << quint32(0x557FF);
}

void TestSrecordCheck::samplesMatchSrecCat()
{
    QFETCH(QString, name);
    QFETCH(quint32, lastAddress);
    QFile file(QDir(QStringLiteral(WIZARD_SAMPLES_DIR)).filePath(name));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QMap<quint32, quint8> ours;
    compareWithSrecCat(file.fileName(), file.readAll(), &ours);
    if (!QTest::currentTestFailed())
        QCOMPARE(ours.lastKey(), lastAddress);
}

QTEST_GUILESS_MAIN(TestSrecordCheck)
#include "tst_srecordcheck.moc"
