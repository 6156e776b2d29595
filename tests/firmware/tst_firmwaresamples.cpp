// Real firmware files built by the vendor's toolchain read into images whose
// bytes match the files address by address, as srec_cat decodes them.

#include "firmware/hexparser.h"
#include "hexfixture.h"
#include "srecordpeer.h"

#include <QDir>
#include <QtTest>

#include <memory>

class TestFirmwareSamples : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesTheFile_data();
    void matchesTheFile();
};

void TestFirmwareSamples::initTestCase()
{
    if (!QDir(QStringLiteral(WIZARD_SAMPLES_DIR)).exists())
        QSKIP("the firmware samples folder is absent");
    if (srecordpeer::srecCat().isEmpty())
        QSKIP("srec_cat is not installed (Debian package srecord)");
}

void TestFirmwareSamples::matchesTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("lastAddress");  // of the image's last byte
    QTest::newRow("64 KB application") << "pic24fj64ga004-app.hex" << quint32(0x157FF);
    QTest::newRow("configuration at 0x1f00000") << "pic24f16ka301-blink.hex" << quint32(0x1F00023);
    QTest::newRow("256 KB part") << "pic24fj256gb110-test.hex" << quint32(0x557FF);
}

void TestFirmwareSamples::matchesTheFile()
{
    QFETCH(QString, name);
    QFETCH(quint32, lastAddress);
    const QString path = QDir(QStringLiteral(WIZARD_SAMPLES_DIR)).filePath(name);
    if (!QFile::exists(path))
        QSKIP("sample file absent");

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();

    std::unique_ptr<QVector<QByteArray>> image(parseHexImage(path));
    QVERIFY(image);
    // These files hold no run of sixteen blank records: one line per record.
    QCOMPARE(image->size(), srecordpeer::dataRecordCount(text));
    for (int k = 1; k < image->size(); ++k)
        QVERIFY(image->at(k - 1).left(image->at(k - 1).indexOf(' ')).toUInt(nullptr, 16)
                <= image->at(k).left(image->at(k).indexOf(' ')).toUInt(nullptr, 16));

    bool consistent = false;
    const QMap<quint32, quint8> ours = hexfixture::imageBytes(*image, &consistent);
    QVERIFY(consistent);
    QMap<quint32, quint8> theirs;
    QString error;
    QVERIFY2(srecordpeer::decode(path, &theirs, &error), qPrintable(error));
    QVERIFY(!theirs.isEmpty());
    QCOMPARE(ours.lastKey(), lastAddress);
    QCOMPARE(ours.keys(), theirs.keys());
    QCOMPARE(ours, theirs);
}

QTEST_GUILESS_MAIN(TestFirmwareSamples)
#include "tst_firmwaresamples.moc"
