// Where the bootloader library is looked for: beside the program only, so a
// file planted in the working folder never runs; and of a look-alike (the
// vendor's lacks SetTimeoutPIC) only the exports it has are called.
#include "device/picboot.h"

#include <QtTest>

#include <cstdio>

namespace {

const char kChildFlag[] = "--binding-child";

// What a copy of this program reports: whether the library loaded, then
// OpenPIC with no port and SetTimeoutPIC on no link (-1 not called, -6 ours
// refusing them, -777 the look-alike's OpenPIC).
int runChild()
{
    const bool loaded = PicBoot::load();
    const int open = PicBoot::OpenPIC(nullptr, 115200, 100);
    std::printf("%d %d %d\n", loaded ? 1 : 0, open, PicBoot::SetTimeoutPIC(4242, 10, -1));
    return 0;
}

} // namespace

class TestPicBootBinding : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheProgramsFolderCounts_data()
    {
        QTest::addColumn<QString>("beside");   // the library copied beside the program, if any
        QTest::addColumn<QString>("working");  // the one in the working folder
        QTest::addColumn<QString>("report");
        QTest::newRow("ours beside, a look-alike in the working folder") << "ours" << "planted" << "1 -6 -6";
        QTest::newRow("none beside, a look-alike in the working folder") << "" << "planted" << "0 -1 -1";
        QTest::newRow("a look-alike beside, ours in the working folder") << "planted" << "ours" << "1 -777 -1";
    }

    void onlyTheProgramsFolderCounts()
    {
        QFETCH(QString, beside);
        QFETCH(QString, working);
        QFETCH(QString, report);
        const QString bin = QCoreApplication::applicationDirPath(), name = PicBoot::libraryFileName();
        const QMap<QString, QString> library{{"ours", bin + '/' + name}, {"planted", bin + "/planted/" + name}};
        QTemporaryDir root;
        const QString app = root.path() + "/app", work = root.path() + "/work";
        QVERIFY(QDir().mkpath(app) && QDir().mkpath(work));
        const QString program = app + '/' + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
        QVERIFY(beside.isEmpty() || QFile::copy(library[beside], app + '/' + name));
        QVERIFY(QFile::copy(library[working], work + '/' + name));
        QProcess child;
        child.setWorkingDirectory(work);
        child.start(program, {kChildFlag});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed(), report);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kChildFlag) == 0)
        return runChild();
    TestPicBootBinding test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_picbootbinding.moc"
