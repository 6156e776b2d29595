#include <QtTest>

#include <QAbstractButton>
#include <QLabel>

#include "app/bootloaderwizard.h"
#include "app/errorcodes.h"
#include "app/mywizardpage.h"
#include "support/logcapture.h"

// A page that fails the way the scan and install pages do: it writes the
// code into "error" from its nextId() and turns to the error page.
class FailingPage : public MyWizardPage
{
    Q_OBJECT

public:
    int code = NoError;
    bool commit = false;

    int nextId() const override
    {
        if (code == NoError)
            return BootloaderWizard::Page_Success;
        wizard()->setProperty("error", code);
        return BootloaderWizard::Page_Error;
    }
};

class TestEndPages : public QObject
{
    Q_OBJECT

private slots:
    void errorPageShowsTheCodesMessage_data();
    void errorPageShowsTheCodesMessage();
    void errorPageRefreshesOnEveryEntry();
    void unknownCodeIsShownNotReadPastTheTable();
    void failedWriteEndsOnTheErrorPageWithNoWayBack();
    void successPageShowsFinish();
};

namespace {

// Walks a wizard to the failing page put in place of the scan page.
FailingPage *failAtScan(BootloaderWizard &wizard)
{
    wizard.removePage(BootloaderWizard::Page_Scan);
    auto *page = new FailingPage;
    wizard.setPage(BootloaderWizard::Page_Scan, page);
    wizard.show();
    wizard.setStartId(BootloaderWizard::Page_Scan);
    wizard.restart();
    return page;
}

QLabel *messageLabel(QWizard &wizard)
{
    return wizard.page(BootloaderWizard::Page_Error)->findChild<QLabel *>(QStringLiteral("error"));
}

} // namespace

void TestEndPages::errorPageShowsTheCodesMessage_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("device not found") << int(DeviceNotFound)
        << QStringList{QString::fromUtf8("Dispositivo não encontrado ou não reconhecido. Certifique-se que a instalação do driver tenha sido concluída e se o Windows reconheceu o dispositivo USB")};
    QTest::newRow("connection") << int(ConnectionFailed) << QStringList{QString::fromUtf8("Falha de conexão com o dispositivo.")};
    QTest::newRow("erase") << int(EraseFailed) << QStringList{QString::fromUtf8("Erro ao tentar apagar o dispositivo.")};
    QTest::newRow("config") << int(ConfigParseFailed) << QStringList{QString::fromUtf8("Erro ao interpretar arquivo de configuração.")};
    QTest::newRow("write") << int(WriteFailed) << QStringList{QString::fromUtf8("Erro ao tentar escrever no dispositivo.")};
    QTest::newRow("files") << int(FileAccessFailed)
        << QStringList{QString::fromUtf8("Erro ao tentar acessar arquivos."), QString::fromUtf8("Instale este software novamente.")};
}

void TestEndPages::errorPageShowsTheCodesMessage()
{
    QFETCH(int, code);
    QFETCH(QStringList, lines);

    BootloaderWizard wizard;
    FailingPage *failing = failAtScan(wizard);
    QLabel *label = messageLabel(wizard);
    QVERIFY(label);
    QCOMPARE(label->text(), QString::fromUtf8("Página de erro"));

    LogCapture log;
    failing->code = code;
    wizard.next();
    QCOMPARE(wizard.currentId(), 0);
    QCOMPARE(wizard.property("error").toInt(), code);

    const QString message = lines.join(QLatin1Char('\n'));
    QCOMPARE(label->text(), message);
    QCOMPARE(label->text().split(QLatin1Char('\n')), lines);
    QVERIFY(label->wordWrap());
    QCOMPARE(label->alignment(), Qt::Alignment(Qt::AlignCenter));

    // The debug line quotes the message as the debug stream does.
    QString quoted = message;
    quoted.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    QCOMPARE(log.count(QStringLiteral("ErrorPage(): \"%1\"").arg(quoted)), 1);

    // Next is taken away once the page is shown; Cancel stays.
    QTRY_VERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
    QVERIFY(wizard.button(QWizard::CancelButton)->isEnabled());
    QVERIFY(wizard.button(QWizard::CancelButton)->isVisible());
    // Back leads to the page that failed.
    QVERIFY(wizard.button(QWizard::BackButton)->isEnabled());
}

void TestEndPages::errorPageRefreshesOnEveryEntry()
{
    BootloaderWizard wizard;
    FailingPage *failing = failAtScan(wizard);
    failing->code = DeviceNotFound;
    wizard.next();
    QCOMPARE(messageLabel(wizard)->text(), errorMessages[DeviceNotFound]);
    QTRY_VERIFY(!wizard.button(QWizard::NextButton)->isEnabled());

    wizard.back();
    QCOMPARE(wizard.currentId(), 7);
    QVERIFY(wizard.button(QWizard::NextButton)->isEnabled());
    failing->code = FileAccessFailed;
    wizard.next();
    QCOMPARE(messageLabel(wizard)->text(), errorMessages[FileAccessFailed]);
    QTRY_VERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
}

void TestEndPages::unknownCodeIsShownNotReadPastTheTable()
{
    BootloaderWizard wizard;
    FailingPage *failing = failAtScan(wizard);
    failing->code = 42;
    wizard.next();
    QCOMPARE(wizard.currentId(), 0);
    QCOMPARE(messageLabel(wizard)->text(), QStringLiteral("Erro 42."));
    QTRY_VERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
}

void TestEndPages::failedWriteEndsOnTheErrorPageWithNoWayBack()
{
    BootloaderWizard wizard;
    wizard.removePage(BootloaderWizard::Page_Install);
    auto *install = new FailingPage;
    install->setCommitPage(true);
    install->code = WriteFailed;
    wizard.setPage(BootloaderWizard::Page_Install, install);
    wizard.show();
    wizard.setStartId(BootloaderWizard::Page_Install);
    wizard.restart();

    wizard.next();
    QCOMPARE(wizard.currentId(), 0);
    QCOMPARE(messageLabel(wizard)->text(), errorMessages[WriteFailed]);
    QTRY_VERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
    QVERIFY(!wizard.button(QWizard::BackButton)->isEnabled());
}

void TestEndPages::successPageShowsFinish()
{
    BootloaderWizard wizard;
    wizard.removePage(BootloaderWizard::Page_Install);
    auto *install = new FailingPage;
    install->setCommitPage(true);
    wizard.setPage(BootloaderWizard::Page_Install, install);
    wizard.show();
    wizard.setStartId(BootloaderWizard::Page_Install);
    wizard.restart();

    wizard.next();
    QCOMPARE(wizard.currentId(), 10);
    auto *label = wizard.currentPage()->findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Central de alarme gravado com sucesso."));
    QVERIFY(wizard.currentPage()->isFinalPage());
    QVERIFY(wizard.button(QWizard::FinishButton)->isVisible());
    QVERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
    QVERIFY(!wizard.button(QWizard::NextButton)->isVisible());
    QVERIFY(!wizard.button(QWizard::BackButton)->isEnabled());

    QSignalSpy finished(&wizard, &QWizard::finished);
    wizard.button(QWizard::FinishButton)->click();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!wizard.isVisible());
}

QTEST_MAIN(TestEndPages)
#include "tst_endpages.moc"
