// The binding: where the library is looked for, what a missing library or a
// missing export gives, and that calls reach the library and its links stay
// open between them.
#include "device/picboot.h"
#include "sim/virtualpanel.h"

#include <QtTest>

#include <cstdio>

namespace {

const char kChildFlag[] = "--binding-child";

QString plantedFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/planted");
}

QString realLibrary()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + PicBoot::libraryFileName();
}

// What a copy of this program reports when started elsewhere: whether the
// library loaded, what OpenPIC(nullptr) gave (-1 nothing resolved, -6 ours
// refusing the null port, -777 the planted look-alike), and where it looked.
int runChild()
{
    const bool loaded = PicBoot::load();
    const int open = PicBoot::OpenPIC(nullptr, 115200, 100);
    std::printf("%d %d %s\n", loaded ? 1 : 0, open, qPrintable(PicBoot::libraryPath()));
    return 0;
}

} // namespace

class TestPicBootBinding : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { PicBoot::setLibraryFolder(QString()); }

    void looksInTheProgramsFolder()
    {
        QCOMPARE(PicBoot::libraryPath(), realLibrary());
        QVERIFY(QFile::exists(realLibrary()));
        QVERIFY(PicBoot::load());
    }

    void missingLibraryFailsEveryCall()
    {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        PicBoot::setLibraryFolder(empty.path());
        QCOMPARE(PicBoot::libraryPath(), empty.path() + QLatin1Char('/') + PicBoot::libraryFileName());
        QVERIFY(!PicBoot::load());

        unsigned char buffer[260] = {};
        PicRequest r{};
        QCOMPARE(PicBoot::OpenPIC("/dev/null", 115200, 100), -1);  // not 0: 0 would pass as a link
        QCOMPARE(PicBoot::ClosePIC(1), -1);
        QCOMPARE(PicBoot::SendPacket(1, buffer, 2), -1);
        QCOMPARE(PicBoot::GetPacket(1, buffer, 10), -1);
        QCOMPARE(PicBoot::SendGetPacket(1, buffer, 2, 10, 1), -1);
        QCOMPARE(PicBoot::ReadPIC(1, &r, buffer), -1);
        QCOMPARE(PicBoot::WritePIC(1, &r, buffer), -1);
        QCOMPARE(PicBoot::VerifyPIC(1, &r, buffer), -1);
        QCOMPARE(PicBoot::ErasePIC(1, 0, 1, 1), -1);
    }

    void missingExportIsNotCalled()
    {
        QVERIFY2(QFile::exists(plantedFolder() + QLatin1Char('/') + PicBoot::libraryFileName()),
                 "the planted look-alike is built with the tests");
        PicBoot::setLibraryFolder(plantedFolder());
        QVERIFY(PicBoot::load());
        QCOMPARE(PicBoot::OpenPIC("x", 115200, 100), -777);
        unsigned char buffer[4] = {};
        QCOMPARE(PicBoot::ClosePIC(1), -1);
        QCOMPARE(PicBoot::SendPacket(1, buffer, 2), -1);
        QCOMPARE(PicBoot::ErasePIC(1, 0, 1, 1), -1);
    }

    void callsReachTheLibraryAndLinksOutliveThem()
    {
        PanelOptions options;
        options.paced = false;
        VirtualPanel panel(options);
        QVERIFY(panel.start());
        QVERIFY(PicBoot::load());
        const PicHandle h = PicBoot::OpenPIC(panel.devicePath().toLocal8Bit().constData(), 115200, 1000);
        QVERIFY(h > 0);
        // The link opened by one wrapper call lives on in the library for
        // the next ones.
        PicRequest id{};
        id.command = 1;
        id.dataLength = 4;
        id.bootAddress = 0xFF0000;
        id.transferUnit = 4;
        id.bytesPerAddress = 2;
        id.deviceParam1 = 2;
        unsigned char devid[4] = {};
        QCOMPARE(PicBoot::ReadPIC(h, &id, devid), 4);
        QCOMPARE(devid[0], 0x08);
        QCOMPARE(devid[1], 0x10);
        const unsigned char wake[2] = {0, 0};
        QCOMPARE(PicBoot::SendPacket(h, wake, 2), 2);
        QTRY_VERIFY(!panel.inBootloader());
        QCOMPARE(PicBoot::ClosePIC(h), 1);
        QCOMPARE(PicBoot::ClosePIC(h), 0);
    }

    // A copy of this program in a folder of its own, started from another
    // folder: only the program's folder counts.
    void loadsFromTheProgramsFolderNotTheWorkingFolder()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString app = root.path() + QStringLiteral("/app");
        const QString work = root.path() + QStringLiteral("/work");
        QVERIFY(QDir().mkpath(app) && QDir().mkpath(work));
        const QString program = app + QLatin1Char('/') + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
        const QString name = PicBoot::libraryFileName();
        const QString planted = plantedFolder() + QLatin1Char('/') + name;
        QVERIFY(QFile::exists(planted));

        auto child = [&]() {
            QProcess process;
            process.setWorkingDirectory(work);
            process.start(program, {QString::fromLatin1(kChildFlag)});
            if (!process.waitForFinished(30000))
                return QStringList();
            return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
        };

        // Our library in the working folder only: not loaded.
        QVERIFY(QFile::copy(realLibrary(), work + QLatin1Char('/') + name));
        QStringList out = child();
        QCOMPARE(out.value(0), QStringLiteral("0"));
        QCOMPARE(out.value(1), QStringLiteral("-1"));
        QCOMPARE(out.value(2), app + QLatin1Char('/') + name);

        // The look-alike beside the program, ours in the working folder: the
        // program's folder wins.
        QVERIFY(QFile::copy(planted, app + QLatin1Char('/') + name));
        out = child();
        QCOMPARE(out.value(0), QStringLiteral("1"));
        QCOMPARE(out.value(1), QStringLiteral("-777"));

        // And the other way round: a planted file in the working folder never runs.
        QVERIFY(QFile::remove(app + QLatin1Char('/') + name) && QFile::remove(work + QLatin1Char('/') + name));
        QVERIFY(QFile::copy(realLibrary(), app + QLatin1Char('/') + name));
        QVERIFY(QFile::copy(planted, work + QLatin1Char('/') + name));
        out = child();
        QCOMPARE(out.value(0), QStringLiteral("1"));
        QCOMPARE(out.value(1), QString::number(PICBOOT_ERR_COMMAND));
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
