#include "library/library.h"
#include "library/parser.h"
#include "library/scanner.h"
#include "library/writer.h"

#include "panelrack.h"
#include "support/logcapture.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

// Starts the workers as the pages do, and receives their reports the same
// way: the receiving slot deletes the worker.
class Page : public QObject
{
    Q_OBJECT

public:
    struct Parse
    {
        QString path;
        bool ok;
    };

    // The report is connected before quit() for the writer only: deleting
    // the writer inside it means quit() is never reached through that
    // connection.
    template <typename Worker, typename Report>
    QPointer<QThread> start(const QString &argument, Report report)
    {
        auto *thread = new QThread();
        auto *worker = new Worker(argument, thread);
        connect(thread, &QThread::started, worker, &Worker::process);
        const bool writer = std::is_same<Worker, Writer>::value;
        if (writer)
            connect(worker, &Worker::finished, this, report);
        connect(worker, &Worker::finished, thread, &QThread::quit);
        if (!writer)
            connect(worker, &Worker::finished, this, report);
        m_clock.start();
        thread->start(QThread::InheritPriority);
        return thread;
    }
    QPointer<QThread> startParser(const QString &path, bool deleteWorker = true)
    {
        m_deleteParser = deleteWorker;
        QPointer<QThread> thread = start<Parser>(path, &Page::parseFinished);
        m_parser = thread->findChild<Parser *>();
        return thread;
    }
    QPointer<QThread> startScanner(const QString &port) { return start<Scanner>(port, &Page::scanFinished); }
    QPointer<QThread> startWriter(const QString &port) { return start<Writer>(port, &Page::writeFinished); }

    QList<Parse> parses;
    int scans = 0;
    QList<bool> writes;
    qint64 writeReportedAt = -1;
    QElapsedTimer m_clock;  // from the last start
    QPointer<Parser> m_parser;

public slots:
    void parseFinished(QString path, bool ok)
    {
        parses.append({path, ok});
        if (m_deleteParser)
            delete m_parser;
    }

    void scanFinished(QObject *scanner)
    {
        delete scanner;
        ++scans;
    }

    void writeFinished(QObject *writer, bool ok)
    {
        writeReportedAt = m_clock.elapsed();
        delete writer;
        writes.append(ok);
    }

private:
    bool m_deleteParser = true;
};

class TestWorkers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void scansAndParsesReportAndLeaveNoThread();
    void workerNobodyDeletesGoesWithItsThread();
    void writerReportsAfterAPause_data();
    void writerReportsAfterAPause();

private:
    QTemporaryDir m_files;
    QString m_goodHex;
};

void TestWorkers::initTestCase()
{
    QVERIFY(Library::start());
    QVERIFY(m_files.isValid());
    m_goodHex = m_files.filePath(QStringLiteral("good.hex"));
    QVERIFY(intelhex::writeFile(m_goodHex, intelhex::file(programRecords(0x1000, 32))));
}

void TestWorkers::cleanup()
{
    library.reset();
}

void TestWorkers::scansAndParsesReportAndLeaveNoThread()
{
    PanelRack rack;
    QVERIFY(rack.add(QStringLiteral("COM1")));
    QVERIFY(rack.add(QStringLiteral("COM2")));
    rack.publish();
    const QString missing = m_files.filePath(QStringLiteral("missing.hex"));
    const int threads = threadCount();

    Page page;
    for (int round = 0; round < 3; ++round) {
        library.reset();
        page.scans = 0;
        QList<QPointer<QThread>> started;
        for (const char *name : {"COM1", "COM2", "COM9"})
            started << page.startScanner(rack.path(QLatin1String(name)));
        QTRY_COMPARE(page.scans, 3);
        QCOMPARE(library.foundPorts(), (QList<QString>{rack.path("COM1"), rack.path("COM2")}));

        page.parses.clear();
        started << page.startParser(m_goodHex);
        QTRY_COMPARE(page.parses.size(), 1);
        started << page.startParser(missing);
        QTRY_COMPARE(page.parses.size(), 2);
        QCOMPARE(page.parses[0].path, m_goodHex);
        QVERIFY(page.parses[0].ok);
        QCOMPARE(page.parses[1].path, missing);
        QVERIFY(!page.parses[1].ok);
        // Each thread left its event loop and was deleted.
        for (const QPointer<QThread> &thread : started)
            QTRY_VERIFY(thread.isNull());
    }
    QTRY_COMPARE(threadCount(), threads);
}

void TestWorkers::workerNobodyDeletesGoesWithItsThread()
{
    const int threads = threadCount();
    Page page;
    // The page keeps no pointer it would delete.
    QPointer<QThread> thread = page.startParser(m_goodHex, false);
    QPointer<Parser> worker = page.m_parser;
    QTRY_COMPARE(page.parses.size(), 1);
    QTRY_VERIFY(thread.isNull());
    QVERIFY(worker.isNull());
    QTRY_COMPARE(threadCount(), threads);
}

void TestWorkers::writerReportsAfterAPause_data()
{
    QTest::addColumn<int>("fault");  // 0 none, 1 the panel gone before the erase, 2 line dropped at block 2
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("reports");  // the writer's own lines, "%1" the port
    QTest::addColumn<int>("lastError");
    const QString erase = QStringLiteral("library.erase() called with \"%1\" ...");
    const QString write = QStringLiteral("library.write() called with \"%1\" ...");
    QTest::newRow("erased and written")
        << 0 << true
        << QStringList{erase, "library.erase() returned true", write, "library.write() returned true"} << 0;
    QTest::newRow("erase fails") << 1 << false << QStringList{erase, "library.erase() returned false"} << 3;
    QTest::newRow("write fails")
        << 2 << false
        << QStringList{erase, "library.erase() returned true", write, "library.write() returned false"} << 5;
}

void TestWorkers::writerReportsAfterAPause()
{
    QFETCH(int, fault);
    QFETCH(bool, ok);
    QFETCH(QStringList, reports);
    QFETCH(int, lastError);

    PanelOptions options = PanelRack::unpaced();
    if (fault == 2)
        options.faults.dropLineAtRow = 2;
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("COM3"), options);
    QVERIFY(panel);
    QVERIFY(rack.scan({QStringLiteral("COM3")}));
    const QString port = rack.path(QStringLiteral("COM3"));
    QVERIFY(library.load(m_goodHex));
    if (fault == 1)
        panel->stop();
    const int threads = threadCount();

    Page page;
    qint64 lastWorkAt = 0;  // the last progress report, else the start
    library.setCallback(port, [&](int) { lastWorkAt = page.m_clock.elapsed(); });
    LogCapture log;
    QPointer<QThread> thread = page.startWriter(port);
    QTRY_COMPARE_WITH_TIMEOUT(page.writes.size(), 1, 30000);
    QCOMPARE(page.writes.first(), ok);
    QCOMPARE(library.lastError(), lastError);
    QStringList seen;
    for (const QString &line : log.lines())
        if (line.startsWith(QLatin1String("library.")))
            seen.append(line);
    for (QString &line : reports)
        line = line.arg(port);
    QCOMPARE(seen, reports);
    QCOMPARE(log.containsPrefix(QStringLiteral("Library::write()")), fault != 1);
    if (ok) {
        QCOMPARE(panel->rowWrites(), 2);
        QTRY_VERIFY(!panel->inBootloader());
    }
    // The report comes a full second after the work itself ended.
    QVERIFY2(page.writeReportedAt - lastWorkAt >= 1000,
             qPrintable(QStringLiteral("%1 ms").arg(page.writeReportedAt - lastWorkAt)));
    // The writer's thread ends too, although its quit() came after the report.
    QTRY_VERIFY(thread.isNull());
    // (A dropped line also ends the panel's own thread.)
    QTRY_COMPARE(threadCount(), threads - (fault == 2 ? 1 : 0));
}

QTEST_GUILESS_MAIN(TestWorkers)
#include "tst_workers.moc"
