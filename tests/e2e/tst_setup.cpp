#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "library/library.h"
#include "support/intelhex.h"
#include "support/logcapture.h"
#include "wizardrun.h"

// The choice of the firmware file on the setup page, with a panel found.
class TestSetup : public QObject
{
    Q_OBJECT

private slots:
    void aFileThatDoesNotParseKeepsNextDisabled();
    void refusedFilesSayWhy_data();
    void refusedFilesSayWhy();
    void theFirstClickAfterTypingAPathWorks();
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

void TestSetup::refusedFilesSayWhy_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: no such file
    QTest::addColumn<QString>("reason");
    QFile sample(WizardRun::sampleFirmware());
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = sample.readAll().split('\n');
    // An interrupted download: the first 40 % of the lines.
    const QByteArray cut = lines.mid(0, lines.size() * 4 / 10).join('\n') + '\n';
    QTest::newRow("missing") << QByteArray() << QStringLiteral("Arquivo não encontrado ou ilegível.");
    QTest::newRow("cut short") << cut << QStringLiteral("Arquivo danificado na linha %1.").arg(lines.size() * 4 / 10);
    QTest::newRow("only the end record") << QByteArray(":00000001FF\n") << QStringLiteral("O arquivo não tem dados para gravar.");
    QTest::newRow("code in the protected page")
        << intelhex::lines({intelhex::linear(2), intelhex::data(0xA800, intelhex::bytes({0x11, 0x22, 0x33, 0})),
                            intelhex::endOfFile()})
        << QStringLiteral("Dados na página protegida do bootloader (endereço 0x15400).");
    QTest::newRow("past the program memory")
        << intelhex::lines({intelhex::linear(3), intelhex::data(0, intelhex::bytes({0x11, 0x22, 0x33, 0})),
                            intelhex::endOfFile()})
        << QStringLiteral("Dados fora da memória do controlador (endereço 0x18000).");
}

// The cross carries the reason the log gives; nothing is erased.
void TestSetup::refusedFilesSayWhy()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    WizardRun run;
    QVERIFY(run.reachSetup());
    const QString path = content.isEmpty() ? m_dir.filePath(QStringLiteral("none.hex"))
                                           : writeFile(QStringLiteral("refused.hex"), content);
    run.typeFile(path);
    QTRY_VERIFY(!parsing());
    QVERIFY(!ticked(run));
    QVERIFY(!run.enabled(QWizard::NextButton));
    QCOMPARE(run.child<QCheckBox>(BootloaderWizard::Page_Setup, "HEXCheckBox")->toolTip(), reason);
    QCOMPARE(run.panel(0)->pageErases() + run.panel(0)->rowWrites(), 0);
}

// Enter, then a real click on Próximo: leaving the field with the same text
// must not parse again and swallow the click.
void TestSetup::theFirstClickAfterTypingAPathWorks()
{
    LogCapture log;
    WizardRun run;
    QVERIFY(run.reachSetup());
    auto *field = run.child<QLineEdit>(BootloaderWizard::Page_Setup, "hexLineEdit");
    run.wizard().activateWindow();
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    field->setText(WizardRun::sampleFirmware());
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    QTest::mouseClick(run.button(QWizard::NextButton), Qt::LeftButton);
    QTRY_COMPARE(run.currentId(), int(BootloaderWizard::Page_Install));
    QCOMPARE(log.countPrefix(QStringLiteral("Library::load(): hex =")), 1);
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 60000));
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
    bool styled = false;
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
            // The wizard's label rule (18 px bold, 290 px wide) stays off the
            // dialog's own labels.
            for (QLabel *label : dialog->findChildren<QLabel *>())
                styled |= label->minimumWidth() >= 290 || label->font().bold();
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
    find->setFocus();
    find->click();
    QVERIFY(!stuck);
    QVERIFY(!styled);
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

    // Chosen again, Return means Próximo, not Procurar once more.
    answer(true);
    find->click();
    QTRY_VERIFY(run.enabled(QWizard::NextButton));
    find->setFocus();
    QTest::keyClick(find, Qt::Key_Return);
    QTRY_COMPARE(run.currentId(), int(BootloaderWizard::Page_Install));
    QVERIFY(run.waitForPage(BootloaderWizard::Page_Success, 60000));
}

QTEST_MAIN(TestSetup)
#include "tst_setup.moc"
