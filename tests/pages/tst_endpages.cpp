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
    void successPageShowsFinish();
};

namespace {

// Puts a failing page in place of a registered one and starts there.
FailingPage *failAt(BootloaderWizard &wizard, int id = BootloaderWizard::Page_Scan)
{
    wizard.removePage(id);
    auto *page = new FailingPage;
    page->setCommitPage(id == BootloaderWizard::Page_Install);
    wizard.setPage(id, page);
    wizard.show();
    wizard.setStartId(id);
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
    QTest::addColumn<QString>("message");
    for (int code = DeviceNotFound; code < ErrorCodeCount; ++code)
        QTest::addRow("code %d", code) << code << errorMessages[code];
    // A code past the table is shown, not read past its end.
    QTest::newRow("unknown code") << 42 << QStringLiteral("Erro 42.");
}

void TestEndPages::errorPageShowsTheCodesMessage()
{
    QFETCH(int, code);
    QFETCH(QString, message);

    BootloaderWizard wizard;
    FailingPage *failing = failAt(wizard);
    QLabel *label = messageLabel(wizard);
    QVERIFY(label);

    LogCapture log;
    failing->code = code;
    wizard.next();
    QCOMPARE(wizard.currentId(), int(BootloaderWizard::Page_Error));
    QCOMPARE(wizard.property("error").toInt(), code);
    QCOMPARE(label->text(), message);
    QVERIFY(label->wordWrap());

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
    FailingPage *failing = failAt(wizard);
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

void TestEndPages::successPageShowsFinish()
{
    BootloaderWizard wizard;
    failAt(wizard, BootloaderWizard::Page_Install);
    wizard.next();
    QCOMPARE(wizard.currentId(), int(BootloaderWizard::Page_Success));
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
