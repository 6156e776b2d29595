#include <QtTest>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QTextBrowser>
#include <QTextDocument>

#include "app/bootloaderwizard.h"
#include "pages/contacts.h"
#include "pages/intropage.h"

class TestIntroPage : public QObject
{
    Q_OBJECT

private slots:
    void nextFollowsTheAcceptanceBox();
    void termsAreOneDocumentWithTheSupportNumber();
};

void TestIntroPage::nextFollowsTheAcceptanceBox()
{
    BootloaderWizard wizard;
    wizard.show();
    QAbstractButton *next = wizard.button(QWizard::NextButton);
    auto *box = wizard.page(BootloaderWizard::Page_Intro)->findChild<QCheckBox *>(QStringLiteral("acceptanceCheckBox"));
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Aceitar os termos"));
    QCOMPARE(wizard.currentId(), int(BootloaderWizard::Page_Intro));
    QVERIFY(!box->isChecked());
    QVERIFY(!next->isEnabled());
    QVERIFY(!wizard.page(BootloaderWizard::Page_Intro)->isComplete());

    // A click, as the technician does it.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(box->isChecked());
    QVERIFY(next->isEnabled());
    QCOMPARE(wizard.field(QStringLiteral("acceptance")), QVariant(true));

    box->setChecked(false);
    QVERIFY(!next->isEnabled());
    QCOMPARE(wizard.field(QStringLiteral("acceptance")), QVariant(false));

    box->setChecked(true);
    QVERIFY(next->isEnabled());
    next->click();
    QCOMPARE(wizard.currentId(), int(BootloaderWizard::Page_Preparations1));

    // Stepping back keeps the acceptance.
    wizard.button(QWizard::BackButton)->click();
    QCOMPARE(wizard.currentId(), int(BootloaderWizard::Page_Intro));
    QVERIFY(box->isChecked());
    QVERIFY(next->isEnabled());
}

void TestIntroPage::termsAreOneDocumentWithTheSupportNumber()
{
    IntroPage page;
    QCOMPARE(page.objectName(), QStringLiteral("IntroPage"));
    auto *title = page.findChild<QLabel *>(QStringLiteral("introTitle"));
    QVERIFY(title);
    QCOMPARE(title->text(), QString::fromUtf8("Bem vindo ao assistente de instalação Varnelis"));

    auto *browser = page.findChild<QTextBrowser *>(QStringLiteral("introTextBrowser"));
    QVERIFY(browser);
    QVERIFY(browser->isReadOnly());
    const QTextDocument *terms = browser->document();
    QCOMPARE(terms->blockCount(), 1);

    const QString expected = QString::fromUtf8(
        "Somente técnicos devem atualizar o produto. "
        "A Varnelis não se responsabiliza por qualquer dano ao produto durante o processo de atualização. "
        "Qualquer dúvida, entra em contato com o suporte técnico através telefone %1. "
        "Os produtos compatíveis com esta atualização são: KR 210 Nova e QD 200 Nova.")
        .arg(QString::fromUtf8(SupportTelephone));
    QCOMPARE(terms->toPlainText(), expected);
}

QTEST_MAIN(TestIntroPage)
#include "tst_intropage.moc"
