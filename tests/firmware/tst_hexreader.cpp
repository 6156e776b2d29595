// The reader: what sound files give, line for line; that every damaged or
// ambiguous file is refused with a debug line naming its line, before a
// wrong byte reaches the image; and, against srec_cat as an independent
// reader, the real firmware samples byte for byte.

#include "firmware/hexparser.h"
#include "support/intelhex.h"
#include "support/logcapture.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <memory>
#include <thread>

#include <sys/stat.h>

using namespace intelhex;
using Lines = QList<QByteArray>;

class TestHexReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    // Parses `content` from a file: the image and the debug lines written.
    Lines parse(const QByteArray &content, QStringList *log)
    {
        const QString file = m_dir.filePath(QStringLiteral("f.hex"));
        QFile::remove(file);
        if (!content.isNull())
            writeFile(file, content);
        LogCapture capture;
        std::unique_ptr<QVector<QByteArray>> image(parseHexImage(file, 5000));
        *log = capture.lines();
        return image ? image->toList() : Lines{QByteArray("null image")};
    }

private slots:
    void accepts_data();
    void accepts();
    void refuses_data();
    void refuses();
    void aPipeIsReadToItsEnd();
    void samplesMatchSrecCat_data();
    void samplesMatchSrecCat();
};

void TestHexReader::accepts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Lines>("image");
    const QByteArray d400 = data(0x0400, bytes({0x12, 0xAB, 0xCD, 0xEF}));
    const QByteArray l400 = "000400 12 ab cd ef ";
    QTest::newRow("mixed case in every field") << lines({":020000040000fA", ":02aBcD00AbCd0e", ":00000001fF"})
                                               << Lines{"00abcd ab cd "};
    QTest::newRow("no final line end") << lines({linear(0), d400}) + endOfFile() << Lines{l400};
    QTest::newRow("nothing read after end-of-file") << lines({d400, endOfFile(), data(0x0500, bytes({1})), "garbage"})
                                                    << Lines{l400};
    QTest::newRow("start addresses (03, 05) ignored")
        << lines({record(0x03, 0, bytes({0x12, 0x34, 0x56, 0x78})), d400, record(0x05, 0, bytes({0, 0, 4, 0}))})
        << Lines{l400};
    QTest::newRow("segment address is segment x 16") << lines({segment(0x1234), data(0x0010, bytes({1}))})
                                                     << Lines{"012350 01 "};
    QTest::newRow("two records out of order, one ending at 64 KiB")
        << lines({segment(0x1000), data(0xFFFE, bytes({1, 2})), data(0, bytes({3}))}) << Lines{"010000 03 ", "01fffe 01 02 "};
    QTest::newRow("linear replaces segment") << lines({segment(0x1234), linear(0x0002), data(0x0010, bytes({1}))})
                                             << Lines{"020010 01 "};
    QTest::newRow("a linear record across 64 KiB") << lines({linear(0), data(0xFFFE, bytes({1, 2, 3, 4}))})
                                                   << Lines{"00fffe 01 02 03 04 "};
    QTest::newRow("255 bytes, then two records out of order")
        << lines({data(0x1000, counting(255)), data(0x3000, bytes({8})), data(0x2000, bytes({7}))})
        << Lines{imageLine(0x1000, counting(255)), "002000 07 ", "003000 08 "};
    QTest::newRow("identical record twice, overlap that agrees")
        << lines({d400, d400, data(0x0402, bytes({0xCD, 0xEF, 1}))}) << Lines{l400, l400, "000402 cd ef 01 "};
    QTest::newRow("empty CRLF line, then only end records")
        << d400 + " \t\r\n\r\n" + record(0x05, 0, bytes({0, 0, 0, 0})) + "\r\n" << Lines{l400};
}

void TestHexReader::accepts()
{
    QFETCH(QByteArray, content);
    QFETCH(Lines, image);
    if (!content.contains(endOfFile()))
        content += endOfFile() + '\n';
    QStringList log;
    QCOMPARE(parse(content, &log), image);
    QVERIFY2(log.contains("parseHexFile done."), qPrintable(log.join('\n')));
}

void TestHexReader::refuses_data()
{
    QTest::addColumn<QByteArray>("content");  // null: no such file
    QTest::addColumn<QString>("message");
    const QByteArray d = data(0x0400, counting(16, 0xA0));
    auto replaced = [&](int pos, char c) { QByteArray line = d; line[pos] = c; return line; };
    // The checksum off by 0x80 only: the sum's top bit.
    const int high = QByteArray(1, d.at(d.size() - 2)).toInt(nullptr, 16) ^ 8;
    const QByteArray topBit = replaced(d.size() - 2, QByteArray::number(high, 16).toUpper().at(0));
    QTest::newRow("missing") << QByteArray() << "File not found";
    QTest::newRow("no end-of-file record") << lines({d, data(0x0410, bytes({1}))})
                                           << "Hex file ends at line 2 without an end-of-file record";
    QTest::newRow("empty file") << QByteArray("") << "Hex file ends at line 0 without an end-of-file record";
    QTest::newRow("no start code") << lines({d, d.mid(1)}) << "Hex file line 2 does not start with \":\"";
    QTest::newRow("wrong checksum") << lines({linear(0), replaced(d.size() - 1, d.endsWith('0') ? '1' : '0')})
                                    << "Hex file line 2 has a wrong checksum:";
    QTest::newRow("checksum wrong in its top bit") << lines({topBit}) << "Hex file line 1 has a wrong checksum:";
    // The case a reused line buffer once filled from the line before.
    QTest::newRow("short record after a long one")
        << lines({data(0x1000, counting(60)), ":10200000AABB"})
        << "Hex file line 2 is too short for its byte count 16 : 13 characters instead of 43";
    QTest::newRow("too short for any record") << lines({":0000000"}) << "Hex file line 1 is too short for a record: 8";
    QTest::newRow("byte count not hexadecimal") << lines({replaced(2, 'g')}) << "Hex file line 1 has a byte count that is";
    QTest::newRow("a letter past F") << lines({replaced(12, 'G')}) << "Hex file line 1 has a character that is not "
                                                                      "hexadecimal at column 13";
    QTest::newRow("address record of one byte") << lines({record(0x04, 0, bytes({1}))})
                                                << "Hex file line 1 holds an extended address record of 1 bytes";
    QTest::newRow("characters after the checksum") << lines({d + "00"})
                                                   << "Hex file line 1 has characters after its checksum:";
    QTest::newRow("CR alone as line end") << d + '\r' + d + '\r' << "Hex file line 1 has characters after its checksum:";
    QTest::newRow("record type 06") << lines({record(0x06, 0, bytes({1}))}) << "Hex file line 1 has the unknown record type 6";
    QTest::newRow("data after an empty line") << lines({d, "", data(0x0500, bytes({1}))})
                                              << "Hex file line 3 holds a data or address record after the empty line 2";
    QTest::newRow("record wrapping its segment") << lines({segment(0x1000), data(0xFFFE, bytes({1, 2, 3}))})
                                                 << "Hex file line 2 runs past the end of its 64 KiB segment";
    QTest::newRow("address above the signed range")
        << lines({linear(0x8000), data(0x0000, bytes({1}))}) << "Hex file line 2 lies above address 0x7fffffff: 0x80000000";
    QTest::newRow("conflict reached through address records")
        << lines({linear(1), data(0x0000, bytes({1})), linear(0), data(0xFFFF, bytes({0, 2})), endOfFile()})
        << "Hex file lines 2 and 4 give different values to byte address 0x010000: 01 and 02";
    QList<QByteArray> longRecord{data(0x0400, counting(255))};
    for (int k = 1; k < 254; ++k)
        longRecord.append(data(0x0400 + k, bytes({k})));
    longRecord.append(data(0x0400 + 254, bytes({0x55})));
    QTest::newRow("conflict 254 bytes into a long record")
        << longRecord.join('\n') + '\n' + endOfFile()
        << "Hex file lines 1 and 255 give different values to byte address 0x0004fe: fe and 55";
    // Sound records, just too many of them: refused before being read.
    const QByteArray line = data(0x0400, counting(16)) + '\n';
    QTest::newRow("larger than the limit") << line.repeated(int(MaxHexFileSize / line.size()) + 1)
                                           << "Hex file \"" + m_dir.filePath("f.hex") + "\" is larger than";
}

void TestHexReader::refuses()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QStringList log;
    QCOMPARE(parse(content, &log), Lines());
    bool found = false;
    for (const QString &line : log)
        found = found || line.startsWith(message);
    QVERIFY2(found, qPrintable("expected \"" + message + "\" in:\n" + log.join('\n')));
    QVERIFY(!log.contains("parseHexFile done."));
}

// A pipe has no size to check first: it is read in pieces to its end.
void TestHexReader::aPipeIsReadToItsEnd()
{
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.hex"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QByteArray text = (data(0x0400, counting(16)) + '\n').repeated(3000) + endOfFile();
    std::thread writer([&] { QFile pipe(fifo); pipe.open(QIODevice::WriteOnly) && pipe.write(text); });
    std::unique_ptr<QVector<QByteArray>> image(parseHexImage(fifo, 5000));
    writer.join();
    QCOMPARE(image->size(), 3000);
}

void TestHexReader::samplesMatchSrecCat_data()
{
    if (!QDir(QStringLiteral(WIZARD_SAMPLES_DIR)).exists())
        QSKIP("the firmware samples folder is absent");
    QTest::addColumn<QString>("name");
    QTest::newRow("64 KB application") << "pic24fj64ga004-app.hex";
    QTest::newRow("configuration at 0x1f00000") << "pic24f16ka301-blink.hex";
    QTest::newRow("256 KB part") << "pic24fj256gb110-test.hex";
}

// srec_cat's Verilog dump ("@address", then one byte a word) is what the
// image must hold.
void TestHexReader::samplesMatchSrecCat()
{
    QFETCH(QString, name);
    const QString path = QDir(QStringLiteral(WIZARD_SAMPLES_DIR)).filePath(name);
    QProcess srec;
    srec.start(QStandardPaths::findExecutable(QStringLiteral("srec_cat")), {path, "-intel", "-o", "-", "-vmem", "8"});
    QVERIFY2(srec.waitForFinished(30000) && srec.exitCode() == 0, qPrintable(srec.errorString()));
    QMap<quint32, quint8> theirs;
    quint32 address = 0;
    for (const QByteArray &line : srec.readAllStandardOutput().split('\n'))
        for (const QByteArray &item : line.startsWith("/*") ? QList<QByteArray>() : line.simplified().split(' '))
            if (item.startsWith('@'))
                address = item.mid(1).toUInt(nullptr, 16);
            else if (item.size() == 2)
                theirs.insert(address++, quint8(item.toUInt(nullptr, 16)));
    std::unique_ptr<QVector<QByteArray>> image(parseHexImage(path, 5000));
    bool consistent = false;
    const QMap<quint32, quint8> ours = imageBytes(*image, &consistent);
    QVERIFY(consistent && !theirs.isEmpty());
    QVERIFY(ours == theirs);
}

QTEST_GUILESS_MAIN(TestHexReader)
#include "tst_hexreader.moc"
