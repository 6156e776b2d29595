#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "library/library.h"
#include "support/logcapture.h"
#include "wizardrun.h"

// The choice of the firmware file on the setup page, with a panel found.
class TestSetup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aFileThatDoesNotParseKeepsNextDisabled();
    void onlyTheLastFileChosenCounts();
    void theFileDialogOpensInTheHomeFolderWithTheHexFilter();

private:
    bool reachSetup();
    QString writeFile(const QString &name, const QByteArray &content);
    bool nextEnabled() const { return m_run->button(QWizard::NextButton)->isEnabled(); }
    bool ticked() const { return m_run->child<QCheckBox>(BootloaderWizard::Page_Setup, "HEXCheckBox")->isChecked(); }
    bool parsing() const { return QGuiApplication::overrideCursor() != nullptr; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<WizardRun> m_run;
};

void TestSetup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_run = std::make_unique<WizardRun>();
}

void TestSetup::cleanup()
{
    m_run.reset();
    m_dir.reset();
}

bool TestSetup::reachSetup()
{
    if (!m_run->addPanel())
        return false;
    m_run->listPorts();
    return m_run->walkToScan() && m_run->waitForPage(BootloaderWizard::Page_Setup, 10000);
}

QString TestSetup::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void TestSetup::aFileThatDoesNotParseKeepsNextDisabled()
{
    LogCapture log;
    QVERIFY(reachSetup());
    QVERIFY(!nextEnabled());
    // A bad checksum in the second record.
    const QString bad = writeFile(QStringLiteral("broken.hex"),
                                  ":020000040000fa\n:080000000402040000000000ef\n:00000001FF\n");
    const QString good = WizardRun::sampleFirmware();

    m_run->typeFile(bad);
    QTRY_VERIFY(!parsing());
    QVERIFY(!ticked());
    QVERIFY(!nextEnabled());
    QVERIFY(log.contains(QStringLiteral("SetupPage::parser <- \"%1\"").arg(bad)));

    m_run->typeFile(good);
    QTRY_VERIFY(nextEnabled());
    QVERIFY(ticked());
    QVERIFY(!parsing());
    QCOMPARE(m_run->wizard().property("hex").toString(), good);
    QVERIFY(log.contains(QStringLiteral("SetupPage: hex file is : \"%1\"").arg(good)));

    // Another edit disables Next at once, before its parse has run.
    m_run->typeFile(bad);
    QVERIFY(!nextEnabled());
    QTRY_VERIFY(!parsing());
    QVERIFY(!ticked());
    QVERIFY(!nextEnabled());

    // An empty field starts no parse.
    const int parses = log.countPrefix(QStringLiteral("SetupPage::parser <-"));
    m_run->typeFile(QString());
    QTest::qWait(50);
    QVERIFY(!nextEnabled());
    QVERIFY(!parsing());
    QCOMPARE(log.countPrefix(QStringLiteral("SetupPage::parser <-")), parses);
}

void TestSetup::onlyTheLastFileChosenCounts()
{
    LogCapture log;
    QVERIFY(reachSetup());
    const QString bad = writeFile(QStringLiteral("empty.hex"), ":00000001FF\n");
    const QString good = WizardRun::sampleFirmware();

    // Two paths in a row, the second before the first was parsed: the
    // library must hold the second, whatever order the parses would run in.
    m_run->typeFile(good);
    m_run->typeFile(bad);
    QTRY_VERIFY(!parsing());
    QTest::qWait(100);
    QVERIFY(!ticked());
    QVERIFY(!nextEnabled());
    QCOMPARE(log.countPrefix(QStringLiteral("Library::load(): hex =")), 1);
    QVERIFY(log.contains(QStringLiteral("Library::load(): hex = \"%1\"").arg(bad)));

    m_run->typeFile(bad);
    m_run->typeFile(good);
    QTRY_VERIFY(nextEnabled());
    QTest::qWait(100);
    QVERIFY(nextEnabled());
    QVERIFY(ticked());
    QCOMPARE(m_run->wizard().property("hex").toString(), good);
    QCOMPARE(log.countPrefix(QStringLiteral("Library::load(): hex =")), 2);
}

void TestSetup::theFileDialogOpensInTheHomeFolderWithTheHexFilter()
{
    const QByteArray oldHome = qgetenv("HOME");
    struct Restore {
        QByteArray home;
        ~Restore() { qputenv("HOME", home); }
    } restore {oldHome};
    qputenv("HOME", QFile::encodeName(m_dir->path()));

    // A name with a backslash: a plain character here, kept as it is.
    const QString firmware = m_dir->filePath(QStringLiteral("painel\\v2.hex"));
    QVERIFY(QFile::copy(WizardRun::sampleFirmware(), firmware));
    QVERIFY(reachSetup());

    QString caption;
    QStringList filters;
    QString folder;
    bool stuck = false;
    // Answers the dialog once it is up; one that will not take the answer
    // is closed all the same, so that a fault fails the test, not hangs it.
    auto answer = [&](bool choose) {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&, poll, choose] {
            QFileDialog *dialog = nullptr;
            for (QWidget *widget : QApplication::topLevelWidgets())
                if (auto *candidate = qobject_cast<QFileDialog *>(widget); candidate && candidate->isVisible())
                    dialog = candidate;
            if (!dialog)
                return;
            poll->deleteLater();
            poll->stop();
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            folder = dialog->directory().absolutePath();
            if (choose) {
                // Typed into the dialog's own name field, as selectFile()
                // leaves a field that has the focus alone.
                if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    name->setText(firmware);
                static_cast<QDialog *>(dialog)->accept();  // the file dialog hides it
            }
            if (dialog->isVisible()) {
                stuck = choose;
                dialog->reject();
            }
        });
        poll->start(50);
    };
    auto *find = m_run->child<QPushButton>(BootloaderWizard::Page_Setup, "qt_wizard_find");
    auto *field = m_run->child<QLineEdit>(BootloaderWizard::Page_Setup, "hexLineEdit");

    answer(true);
    find->click();
    QVERIFY(!stuck);
    QCOMPARE(caption, QStringLiteral("Open Hex File"));
    QCOMPARE(filters, QStringList({QStringLiteral("Hex files (*.hex)"), QStringLiteral("All files (*.*)")}));
    QCOMPARE(folder, QDir(m_dir->path()).absolutePath());
    QCOMPARE(field->text(), QDir::toNativeSeparators(firmware));
    QTRY_VERIFY(nextEnabled());
    QCOMPARE(m_run->wizard().property("hex").toString(), firmware);

    // Cancelled: the field is emptied and Next disabled.
    answer(false);
    find->click();
    QCOMPARE(field->text(), QString());
    QVERIFY(!nextEnabled());
}

QTEST_MAIN(TestSetup)
#include "tst_setup.moc"
