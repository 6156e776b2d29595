// The reader, through the file operation: what a sound file gives, and that
// every kind of damaged or ambiguous file fails cleanly, with a debug line
// that names its line, instead of putting wrong bytes into the image.

#include "firmware/hexparser.h"
#include "support/intelhex.h"
#include "support/logcapture.h"

#include <QtTest>

#include <memory>

using namespace intelhex;

namespace {

using Lines = QList<QByteArray>;

} // namespace

class TestHexReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    // Parses `content` from a file; the image and the debug lines written.
    Lines parse(const QByteArray &content, QStringList *log = nullptr, QString *path = nullptr)
    {
        const QString file = m_dir.filePath(QStringLiteral("f%1.hex").arg(++m_files));
        writeFile(file, content);
        if (path)
            *path = file;
        LogCapture capture;
        std::unique_ptr<QVector<QByteArray>> image(parseHexImage(file));
        if (log)
            *log = capture.lines();
        return image ? image->toList() : Lines{QByteArray("null image")};
    }

private slots:
    void accepts_data();
    void accepts();
    void refuses_data();
    void refuses();
    void debugLinesOfSoundAndMissingFiles();
    void oversizedFile();
    void hex2DecLineConverts_data();
    void hex2DecLineConverts();
};

void TestHexReader::accepts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Lines>("image");

    const QByteArray d400 = data(0x0400, bytes({0x12, 0xAB, 0xCD, 0xEF}));
    const QByteArray l400 = "000400 12 ab cd ef ";

    QTest::newRow("mixed case in every field")
        << lines({":020000040000fA", ":02aBcD00AbCd0e", ":00000001fF"})
        << Lines{"00abcd ab cd "};
    QTest::newRow("no final line end") << lines({linear(0), d400}) + endOfFile() << Lines{l400};
    QTest::newRow("nothing read after end-of-file")
        << lines({d400, endOfFile(), data(0x0500, bytes({1})), "garbage", ""}) << Lines{l400};
    QTest::newRow("start addresses (03, 05) ignored")
        << lines({record(0x03, 0, bytes({0x12, 0x34, 0x56, 0x78})), d400,
                  record(0x05, 0, bytes({0, 0, 0x04, 0})), endOfFile()})
        << Lines{l400};
    QTest::newRow("extended segment address is segment x 16")
        << lines({segment(0x1234), data(0x0010, bytes({1})), endOfFile()}) << Lines{"012350 01 "};
    QTest::newRow("linear replaces segment")
        << lines({segment(0x1234), linear(0x0002), data(0x0010, bytes({1}))}) << Lines{"020010 01 "};
    QTest::newRow("record crossing 64 KiB continues linearly")
        << lines({linear(0), data(0xFFFE, bytes({1, 2, 3, 4}))}) << Lines{"00fffe 01 02 03 04 "};
    QTest::newRow("highest address")
        << lines({linear(0x7FFF), data(0xFFFF, bytes({0x5A}))}) << Lines{"7fffffff 5a "};
    QTest::newRow("address of seven digits")
        << lines({linear(0x0100), data(0x0000, bytes({1}))}) << Lines{"1000000 01 "};
    QTest::newRow("empty data record") << lines({data(0x0400, QByteArray())}) << Lines{"000400 "};

    // Past the 99 characters where a line used to be cut in two.
    QTest::newRow("long line, then a short one")
        << lines({data(0x1000, counting(255)), data(0x2000, bytes({7}))})
        << Lines{imageLine(0x1000, counting(255)), "002000 07 "};

    QTest::newRow("identical record twice, both kept")
        << lines({d400, d400}) << Lines{l400, l400};
    QTest::newRow("overlap that agrees")
        << lines({d400, data(0x0402, bytes({0xCD, 0xEF, 0x01}))}) << Lines{l400, "000402 cd ef 01 "};
    QTest::newRow("blanks after the checksum") << lines({d400 + " \t", d400 + "\r\r"}) << Lines{l400, l400};

    QTest::newRow("empty line, then only end-of-file") << lines({d400, "", endOfFile()}) << Lines{l400};
    QTest::newRow("empty CRLF line, then start address")
        << d400 + "\r\n\r\n" + record(0x05, 0, bytes({0, 0, 0, 0})) + "\r\n" << Lines{l400};

    // No data at all is an empty image, not a failure.
    QTest::newRow("only address records") << lines({linear(1), segment(2), endOfFile()}) << Lines();
}

void TestHexReader::accepts()
{
    QFETCH(QByteArray, content);
    QFETCH(Lines, image);
    // Rows that do not test the end record end as every sound file does.
    if (!content.contains(endOfFile()))
        content += endOfFile() + '\n';
    QStringList log;
    QCOMPARE(parse(content, &log), image);
    QVERIFY2(log.contains("parseHexFile done."), qPrintable(log.join('\n')));
}

void TestHexReader::refuses_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    const QByteArray d = data(0x0400, counting(16, 0xA0));
    QByteArray badSum = d;
    badSum[badSum.size() - 1] = badSum.at(badSum.size() - 1) == '0' ? '1' : '0';
    auto replaced = [&](int pos, char c) {
        QByteArray line = d;
        line[pos] = c;
        return line;
    };

    // An interrupted download parses line by line; only the missing end
    // record tells that the application is not all there.
    QTest::newRow("no end-of-file record") << lines({d, data(0x0410, bytes({1}))})
                                           << "Hex file ends at line 2 without an end-of-file record";
    QTest::newRow("empty file") << QByteArray() << "Hex file ends at line 0 without an end-of-file record";
    QTest::newRow("only line ends") << QByteArray("\n\r\n\n")
                                    << "Hex file ends at line 3 without an end-of-file record";
    QTest::newRow("no start code") << lines({d, d.mid(1)})
                                   << "Hex file line 2 does not start with \":\"";
    QTest::newRow("blank line") << lines({d, " ", endOfFile()})
                                << "Hex file line 2 does not start with \":\"";
    QTest::newRow("wrong checksum") << lines({linear(0), badSum}) << "Hex file line 2 has a wrong checksum:";
    QTest::newRow("wrong checksum on end-of-file") << lines({d, ":00000001FE"})
                                                   << "Hex file line 2 has a wrong checksum: fe instead of ff";

    QTest::newRow("non-hex count") << lines({replaced(2, 'x')})
                                   << "Hex file line 1 has a byte count that is not hexadecimal";
    QTest::newRow("non-hex data") << lines({d, replaced(20, 'z')})
                                  << "Hex file line 2 has a character that is not hexadecimal at column 21";
    QTest::newRow("non-hex checksum") << lines({replaced(d.size() - 1, 'g')})
                                      << "Hex file line 1 has a character that is not hexadecimal at column 43";

    QTest::newRow("shorter than any record") << lines({":00000001"})
                                             << "Hex file line 1 is too short for a record: 9 characters";
    QTest::newRow("shorter than its count")
        << lines({d, d.left(d.size() - 2)})
        << "Hex file line 2 is too short for its byte count 16 : 41 characters instead of 43";
    // The case a reused line buffer once filled from the line before.
    QTest::newRow("short record after a long one")
        << lines({data(0x1000, counting(60)), ":10200000AABB"})
        << "Hex file line 2 is too short for its byte count 16 : 13 characters instead of 43";
    QTest::newRow("characters after the checksum")
        << lines({d + "00"}) << "Hex file line 1 has characters after its checksum: byte count 16 needs 43 characters, "
                                "the line has 45";
    QTest::newRow("CR alone as line end") << d + '\r' + d + '\r'
                                          << "Hex file line 1 has characters after its checksum:";

    QTest::newRow("record type 06") << lines({record(0x06, 0, bytes({1}))})
                                    << "Hex file line 1 has the unknown record type 6";
    QTest::newRow("linear address of one byte") << lines({record(0x04, 0, bytes({1})), d})
                                                << "Hex file line 1 holds an extended address record of 1 bytes "
                                                   "instead of 2";

    QTest::newRow("data after an empty line") << lines({d, "", data(0x0500, bytes({1}))})
                                              << "Hex file line 3 holds a data or address record after the empty line 2";
    QTest::newRow("linear address after an empty line")
        << d + "\r\n\r\n" + linear(1) + "\r\n" << "Hex file line 3 holds a data or address record after the empty line 2";
    QTest::newRow("segment address after an empty line")
        << lines({d, "", "", segment(1)}) << "Hex file line 4 holds a data or address record after the empty line 2";

    QTest::newRow("record wrapping its segment")
        << lines({segment(0x1000), data(0xFFFE, bytes({1, 2, 3}))})
        << "Hex file line 2 runs past the end of its 64 KiB segment";
    QTest::newRow("address above the signed range")
        << lines({linear(0x8000), data(0x0000, bytes({1}))}) << "Hex file line 2 lies above address 0x7fffffff: 0x80000000";

    QTest::newRow("two values for one byte")
        << lines({data(0x0400, bytes({1, 2})), data(0x0401, bytes({3})), endOfFile()})
        << "Hex file lines 1 and 2 give different values to byte address 0x000401: 02 and 03";
    QTest::newRow("conflict reached through address records")
        << lines({linear(1), data(0x0000, bytes({1})), linear(0), data(0xFFFF, bytes({0, 2})), endOfFile()})
        << "Hex file lines 2 and 4 give different values to byte address 0x010000: 01 and 02";
    // The second conflicting record starts 254 bytes after the first, with
    // agreeing one-byte records in between.
    {
        QList<QByteArray> list{data(0x0400, counting(255))};
        for (int k = 1; k < 254; ++k)
            list.append(data(0x0400 + k, bytes({k})));
        list.append(data(0x0400 + 254, bytes({0x55})));
        QTest::newRow("conflict 254 bytes into a long record")
            << list.join('\n') + '\n' + endOfFile() << "Hex file lines 1 and 255 give different values to byte address 0x0004fe: fe and 55";
    }
    QTest::newRow("conflict in an identical-looking repeat")
        << lines({d, d, data(0x0400, counting(15, 0xA0) + bytes({1})), endOfFile()})
        << "Hex file lines 2 and 3 give different values to byte address 0x00040f: af and 01";
}

void TestHexReader::refuses()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QStringList log;
    const Lines image = parse(content, &log);
    QVERIFY2(image.isEmpty(), qPrintable(QString::number(image.size()) + " lines"));
    bool found = false;
    for (const QString &line : log)
        found = found || line.startsWith(message);
    QVERIFY2(found, qPrintable("expected \"" + message + "\" in:\n" + log.join('\n')));
    QVERIFY(!log.contains("parseHexFile done."));
    QCOMPARE(log.value(0), QStringLiteral("Connection::parseHexFile called"));
}

void TestHexReader::debugLinesOfSoundAndMissingFiles()
{
    QStringList log;
    QString path;
    parse(lines({data(0, bytes({1})), endOfFile()}), &log, &path);
    QCOMPARE(log, QStringList({"Connection::parseHexFile called", "Opening hex file \"" + path + "\"",
                               "parseHexFile done."}));

    path = m_dir.filePath("absent.hex");
    LogCapture capture;
    std::unique_ptr<QVector<QByteArray>> image(parseHexImage(path));
    QVERIFY(image && image->isEmpty());
    QCOMPARE(capture.lines(), QStringList({"Connection::parseHexFile called", "Opening hex file \"" + path + "\"",
                                           "File not found \"" + path + "\""}));
}

void TestHexReader::oversizedFile()
{
    // Sound records, just too many of them: refused before being read.
    const QByteArray line = data(0x0400, counting(16)) + '\n';
    QByteArray content;
    content.reserve(int(MaxHexFileSize) + line.size());
    while (content.size() <= MaxHexFileSize)
        content += line;
    QStringList log;
    QString path;
    QCOMPARE(parse(content, &log, &path), Lines());
    QVERIFY2(log.contains(QStringLiteral("Hex file \"%1\" is larger than %2 bytes").arg(path).arg(MaxHexFileSize)),
             qPrintable(log.join('\n')));
}

void TestHexReader::hex2DecLineConverts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("two digits") << QByteArray(":1A") << 1 << 2 << 0x1A << false << QStringList();
    QTest::newRow("either case") << QByteArray("aBcD") << 0 << 4 << 0xABCD << false << QStringList();
    QTest::newRow("eight digits wrap to int") << QByteArray("FFFFFFFF") << 0 << 8 << -1 << false << QStringList();
    QTest::newRow("no digits") << QByteArray("12") << 1 << 0 << 0 << false << QStringList();
    QTest::newRow("past the end")
        << QByteArray("123") << 2 << 2 << 0 << true
        << QStringList({"hex2DecLine: pos > length.", "parseHexStr() done. pos = 2 , length = 3"});
    QTest::newRow("start past the end")
        << QByteArray("12") << 2 << 0 << 0 << true
        << QStringList({"hex2DecLine: pos > length.", "parseHexStr() done. pos = 2 , length = 2"});
    QTest::newRow("not a digit, no partial value")
        << QByteArray("12x4") << 0 << 4 << 0 << true << QStringList({"parseHexStr() done. pos = 2 , length = 4"});
}

void TestHexReader::hex2DecLineConverts()
{
    QFETCH(QByteArray, text);
    QFETCH(int, pos);
    QFETCH(int, digits);
    QFETCH(int, value);
    QFETCH(bool, error);
    QFETCH(QStringList, log);

    LogCapture capture;
    bool flag = false;
    QCOMPARE(hex2DecLine(text, pos, digits, &flag), value);
    QCOMPARE(flag, error);
    QCOMPARE(capture.lines(), log);

    // A flag already set stays set.
    bool set = true;
    hex2DecLine(text, pos, digits, &set);
    QVERIFY(set);
}

QTEST_GUILESS_MAIN(TestHexReader)
#include "tst_hexreader.moc"
