#include <QtTest>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QTextBlock>
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
    void steppingBackKeepsTheAcceptance();
    void termsAreOneDocumentWithTheSupportNumber();
};

namespace {

QCheckBox *acceptance(QWizard &wizard)
{
    return wizard.page(BootloaderWizard::Page_Intro)->findChild<QCheckBox *>(QStringLiteral("acceptanceCheckBox"));
}

} // namespace

void TestIntroPage::nextFollowsTheAcceptanceBox()
{
    BootloaderWizard wizard;
    wizard.show();
    QAbstractButton *next = wizard.button(QWizard::NextButton);
    QCheckBox *box = acceptance(wizard);
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Aceitar os termos"));
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
    QCOMPARE(wizard.currentId(), 3);
}

void TestIntroPage::steppingBackKeepsTheAcceptance()
{
    BootloaderWizard wizard;
    wizard.show();
    acceptance(wizard)->setChecked(true);
    wizard.next();
    QCOMPARE(wizard.currentId(), 3);
    wizard.button(QWizard::BackButton)->click();
    QCOMPARE(wizard.currentId(), 1);
    QVERIFY(acceptance(wizard)->isChecked());
    QVERIFY(wizard.button(QWizard::NextButton)->isEnabled());
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

    // The number sits in the paragraph's 8 pt span like the rest of it.
    const QTextBlock block = terms->firstBlock();
    const int at = block.text().indexOf(QString::fromUtf8(SupportTelephone));
    QVERIFY(at > 0);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        QCOMPARE(fragment.charFormat().fontPointSize(), 8.0);
        QCOMPARE(fragment.charFormat().fontFamily(), QStringLiteral("MS Shell Dlg 2"));
    }
    QVERIFY(!terms->toPlainText().contains(QLatin1String("%1")));
}

QTEST_MAIN(TestIntroPage)
#include "tst_intropage.moc"
