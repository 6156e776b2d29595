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
    void aFileThatDoesNotParseKeepsNextDisabled();
    void onlyTheLastFileChosenCounts();
    void theFileDialogOpensInTheHomeFolderWithTheHexFilter();

private:
    QString writeFile(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
};

namespace {

bool ticked(const WizardRun &run)
{
    return run.child<QCheckBox>(BootloaderWizard::Page_Setup, "HEXCheckBox")->isChecked();
}

bool parsing()
{
    return QGuiApplication::overrideCursor() != nullptr;
}

} // namespace

QString TestSetup::writeFile(const QString &name, const QByteArray &content)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return file.fileName();
}

void TestSetup::aFileThatDoesNotParseKeepsNextDisabled()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.reachSetup());
    QVERIFY(!run.enabled(QWizard::NextButton));
    // A bad checksum in the second record.
    const QString bad = writeFile(QStringLiteral("broken.hex"),
                                  ":020000040000fa\n:080000000402040000000000ef\n:00000001FF\n");
    const QString good = WizardRun::sampleFirmware();

    run.typeFile(bad);
    QTRY_VERIFY(!parsing());
    QVERIFY(!ticked(run));
    QVERIFY(!run.enabled(QWizard::NextButton));
    QVERIFY(log.contains(QStringLiteral("SetupPage::parser <- \"%1\"").arg(bad)));

    run.typeFile(good);
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    QVERIFY(ticked(run));
    QVERIFY(!parsing());
    QCOMPARE(run.wizard().property("hex").toString(), good);
    QVERIFY(log.contains(QStringLiteral("SetupPage: hex file is : \"%1\"").arg(good)));

    // Another edit disables Next at once, before its parse has run.
    run.typeFile(bad);
    QVERIFY(!run.enabled(QWizard::NextButton));
    QTRY_VERIFY(!parsing());
    QVERIFY(!ticked(run));
    QVERIFY(!run.enabled(QWizard::NextButton));

}

void TestSetup::onlyTheLastFileChosenCounts()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.reachSetup());
    const QString bad = writeFile(QStringLiteral("empty.hex"), ":00000001FF\n");
    const QString good = WizardRun::sampleFirmware();

    // Two paths in a row, the second before the first was parsed: the
    // library must hold the second, whatever order the parses would run in.
    run.typeFile(good);
    run.typeFile(bad);
    QTRY_VERIFY(!parsing());
    QTest::qWait(100);
    QVERIFY(!ticked(run));
    QVERIFY(!run.enabled(QWizard::NextButton));
    QCOMPARE(log.countPrefix(QStringLiteral("Library::load(): hex =")), 1);
    QVERIFY(log.contains(QStringLiteral("Library::load(): hex = \"%1\"").arg(bad)));

    run.typeFile(bad);
    run.typeFile(good);
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    QTest::qWait(100);
    QVERIFY(run.enabled(QWizard::NextButton));
    QVERIFY(ticked(run));
    QCOMPARE(run.wizard().property("hex").toString(), good);
    QCOMPARE(log.countPrefix(QStringLiteral("Library::load(): hex =")), 2);
}

void TestSetup::theFileDialogOpensInTheHomeFolderWithTheHexFilter()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    struct Restore {
        QByteArray home;
        ~Restore() { qputenv("HOME", home); }
    } restore {oldHome};
    qputenv("HOME", QFile::encodeName(home.path()));

    // A name with a backslash: a plain character here, kept as it is.
    const QString firmware = home.filePath(QStringLiteral("painel\\v2.hex"));
    QVERIFY(QFile::copy(WizardRun::sampleFirmware(), firmware));
    WizardRun run;
    QVERIFY(run.reachSetup());

    QString caption, folder;
    QStringList filters;
    bool stuck = false;
    // Answers the dialog once it is up; one that will not take the answer
    // is closed all the same, so that a fault fails the test, not hangs it.
    auto answer = [&](bool choose) {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&, poll, choose] {
            QFileDialog *dialog = nullptr;
            for (QWidget *widget : QApplication::topLevelWidgets())
                if (widget->isVisible() && qobject_cast<QFileDialog *>(widget))
                    dialog = qobject_cast<QFileDialog *>(widget);
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
    auto *find = run.child<QPushButton>(BootloaderWizard::Page_Setup, "qt_wizard_find");
    auto *field = run.child<QLineEdit>(BootloaderWizard::Page_Setup, "hexLineEdit");

    answer(true);
    find->click();
    QVERIFY(!stuck);
    QCOMPARE(caption, QStringLiteral("Open Hex File"));
    QCOMPARE(filters, QStringList({QStringLiteral("Hex files (*.hex)"), QStringLiteral("All files (*.*)")}));
    QCOMPARE(folder, QDir(home.path()).absolutePath());
    QCOMPARE(field->text(), QDir::toNativeSeparators(firmware));
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    QCOMPARE(run.wizard().property("hex").toString(), firmware);

    // Cancelled: the field is emptied and Next disabled.
    answer(false);
    find->click();
    QCOMPARE(field->text(), QString());
    QVERIFY(!run.enabled(QWizard::NextButton));
}

QTEST_MAIN(TestSetup)
#include "tst_setup.moc"
