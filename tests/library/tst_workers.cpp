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

    QPointer<QThread> startParser(const QString &path, bool deleteWorker = true)
    {
        auto *thread = new QThread();
        auto *worker = new Parser(path, thread);
        m_parser = worker;
        m_deleteParser = deleteWorker;
        connect(thread, &QThread::started, worker, &Parser::process);
        connect(worker, &Parser::finished, thread, &QThread::quit);
        connect(worker, &Parser::finished, this, &Page::parseFinished);
        thread->start(QThread::InheritPriority);
        return thread;
    }

    QPointer<QThread> startScanner(const QString &port)
    {
        auto *thread = new QThread();
        auto *worker = new Scanner(port, thread);
        connect(thread, &QThread::started, worker, &Scanner::process);
        connect(worker, &Scanner::finished, thread, &QThread::quit);
        connect(worker, &Scanner::finished, this, qOverload<QObject *>(&Page::scanFinished));
        thread->start(QThread::InheritPriority);
        return thread;
    }

    // The report is connected before quit(): deleting the writer inside it
    // means quit() is never reached through that connection.
    QPointer<QThread> startWriter(const QString &port)
    {
        auto *thread = new QThread();
        auto *worker = new Writer(port, thread);
        connect(thread, &QThread::started, worker, &Writer::process);
        connect(worker, &Writer::finished, this, &Page::writeFinished);
        connect(worker, &Writer::finished, thread, &QThread::quit);
        m_clock.start();
        thread->start(QThread::InheritPriority);
        return thread;
    }

    QList<Parse> parses;
    int scans = 0;
    QList<bool> writes;
    qint64 writeReportedAt = -1;
    QElapsedTimer m_clock;
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
    void parserReportsPathAndOutcome();
    void workerNobodyDeletesGoesWithItsThread();
    void scannerReportsWhetherOrNotAPanelAnswers();
    void writerErasesWritesThenPauses();
    void writerReportsAFailedErase();
    void writerReportsAFailedWrite();
    void manyJobsLeaveNoThreadBehind();

private:
    QTemporaryDir m_files;
    QString m_goodHex;
};

void TestWorkers::initTestCase()
{
    QVERIFY(Library::start());
    QVERIFY(m_files.isValid());
    m_goodHex = m_files.filePath(QStringLiteral("good.hex"));
    QVERIFY(writeFile(m_goodHex, intelHex(programRecords(0x1000, 32))));
}

void TestWorkers::cleanup()
{
    library.reset();
}

void TestWorkers::parserReportsPathAndOutcome()
{
    const int threads = threadCount();
    Page page;
    const QString missing = m_files.filePath(QStringLiteral("missing.hex"));
    QPointer<QThread> good = page.startParser(m_goodHex);
    QTRY_COMPARE(page.parses.size(), 1);
    QPointer<QThread> bad = page.startParser(missing);
    QTRY_COMPARE(page.parses.size(), 2);
    QCOMPARE(page.parses[0].path, m_goodHex);
    QVERIFY(page.parses[0].ok);
    QCOMPARE(page.parses[1].path, missing);
    QVERIFY(!page.parses[1].ok);
    // Each thread left its event loop and was deleted.
    QTRY_VERIFY(good.isNull() && bad.isNull());
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

    // A second parse started before the first reported: the page keeps only
    // the newest worker and deletes it on the first report, which may come
    // before the newest has run at all. Either way both threads end.
    QPointer<QThread> first = page.startParser(m_goodHex);
    QPointer<Parser> older = page.m_parser;
    QPointer<QThread> second = page.startParser(m_goodHex);
    QTRY_VERIFY(first.isNull() && second.isNull());
    QVERIFY(older.isNull());
    QVERIFY(page.parses.size() == 2 || page.parses.size() == 3);
    QTRY_COMPARE(threadCount(), threads);
}

void TestWorkers::scannerReportsWhetherOrNotAPanelAnswers()
{
    PanelRack rack;
    QVERIFY(rack.add(QStringLiteral("COM4")));
    rack.publish();
    library.reset();
    const int threads = threadCount();

    Page page;
    QPointer<QThread> found = page.startScanner(rack.path(QStringLiteral("COM4")));
    QPointer<QThread> empty = page.startScanner(rack.path(QStringLiteral("COM5")));
    QTRY_COMPARE(page.scans, 2);
    QCOMPARE(library.foundPorts(), QList<QString>{rack.path(QStringLiteral("COM4"))});
    QTRY_VERIFY(found.isNull() && empty.isNull());
    QTRY_COMPARE(threadCount(), threads);
}

void TestWorkers::writerErasesWritesThenPauses()
{
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("COM3"));
    QVERIFY(panel);
    rack.publish();
    library.reset();
    const QString port = rack.path(QStringLiteral("COM3"));
    QVERIFY(library.addPort(port));
    QVERIFY(library.load(m_goodHex));
    const int threads = threadCount();

    Page page;
    qint64 writeEndedAt = -1;
    library.setCallback(port, [&](int value) {
        if (value == -1)
            writeEndedAt = page.m_clock.elapsed();
    });
    LogCapture log;
    QPointer<QThread> thread = page.startWriter(port);
    QTRY_COMPARE_WITH_TIMEOUT(page.writes.size(), 1, 30000);
    QCOMPARE(page.writes.first(), true);
    QCOMPARE(panel->rowWrites(), 2);
    QTRY_VERIFY(!panel->inBootloader());
    const QStringList expected{QStringLiteral("library.erase() called with \"%1\" ...").arg(port),
                               QStringLiteral("library.erase() returned true"),
                               QStringLiteral("library.write() called with \"%1\" ...").arg(port),
                               QStringLiteral("library.write() returned true")};
    QStringList seen;
    for (const QString &line : log.lines())
        if (line.startsWith(QLatin1String("library.")))
            seen.append(line);
    QCOMPARE(seen, expected);
    // The report comes a full second after the write itself ended.
    QVERIFY(writeEndedAt >= 0);
    QVERIFY2(page.writeReportedAt - writeEndedAt >= 1000,
             qPrintable(QStringLiteral("%1 ms").arg(page.writeReportedAt - writeEndedAt)));
    // The writer's thread ends too, although its quit() came after the report.
    QTRY_VERIFY(thread.isNull());
    QTRY_COMPARE(threadCount(), threads);
}

void TestWorkers::writerReportsAFailedErase()
{
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("COM3"));
    QVERIFY(panel);
    rack.publish();
    library.reset();
    const QString port = rack.path(QStringLiteral("COM3"));
    QVERIFY(library.addPort(port));
    QVERIFY(library.load(m_goodHex));
    panel->stop();
    const int threads = threadCount();

    Page page;
    LogCapture log;
    QPointer<QThread> thread = page.startWriter(port);
    QTRY_COMPARE_WITH_TIMEOUT(page.writes.size(), 1, 30000);
    QCOMPARE(page.writes.first(), false);
    QVERIFY(log.contains(QStringLiteral("library.erase() returned false")));
    QVERIFY(!log.containsPrefix(QStringLiteral("library.write()")));
    QVERIFY(!log.containsPrefix(QStringLiteral("Library::write()")));
    QVERIFY(page.writeReportedAt >= 1000);
    QCOMPARE(library.lastError(), 3);
    QTRY_VERIFY(thread.isNull());
    QTRY_COMPARE(threadCount(), threads);
}

void TestWorkers::writerReportsAFailedWrite()
{
    PanelOptions dropping = PanelRack::unpaced();
    dropping.faults.dropLineAtRow = 2;
    PanelRack rack;
    QVERIFY(rack.add(QStringLiteral("COM3"), dropping));
    rack.publish();
    library.reset();
    const QString port = rack.path(QStringLiteral("COM3"));
    QVERIFY(library.addPort(port));
    QVERIFY(library.load(m_goodHex));

    Page page;
    LogCapture log;
    page.startWriter(port);
    QTRY_COMPARE_WITH_TIMEOUT(page.writes.size(), 1, 30000);
    QCOMPARE(page.writes.first(), false);
    QVERIFY(log.contains(QStringLiteral("library.erase() returned true")));
    QVERIFY(log.contains(QStringLiteral("library.write() returned false")));
    QCOMPARE(library.lastError(), 5);
}

void TestWorkers::manyJobsLeaveNoThreadBehind()
{
    PanelRack rack;
    QVERIFY(rack.add(QStringLiteral("COM1")));
    QVERIFY(rack.add(QStringLiteral("COM2")));
    rack.publish();
    const int threads = threadCount();

    Page page;
    for (int round = 0; round < 3; ++round) {
        library.reset();
        page.scans = 0;
        page.startScanner(rack.path(QStringLiteral("COM1")));
        page.startScanner(rack.path(QStringLiteral("COM2")));
        page.startScanner(rack.path(QStringLiteral("COM9")));
        QTRY_COMPARE(page.scans, 3);
        QCOMPARE(library.foundPorts().size(), 2);
        page.startParser(m_goodHex);
        QTRY_COMPARE(page.parses.size(), 2 * round + 1);
        page.startParser(m_goodHex);
        QTRY_COMPARE(page.parses.size(), 2 * round + 2);
    }
    page.startWriter(rack.path(QStringLiteral("COM2")));
    QTRY_COMPARE_WITH_TIMEOUT(page.writes.size(), 1, 30000);
    QCOMPARE(page.writes.first(), true);
    QTRY_COMPARE(threadCount(), threads);
}

QTEST_GUILESS_MAIN(TestWorkers)
#include "tst_workers.moc"
