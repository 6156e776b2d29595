#include <QtTest>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

#include "pages/contacts.h"
#include "pages/driverpage.h"
#include "pages/errorpage.h"
#include "pages/installpage.h"
#include "pages/preparations1.h"
#include "pages/preparations2.h"
#include "pages/preparations3.h"
#include "pages/preparations4.h"
#include "pages/scanpage.h"
#include "pages/setuppage.h"
#include "pages/successpage.h"

// The object names are what the style sheet's id selectors and the pages'
// by-name slot connections hang on; a renamed widget silently loses its look
// or its behaviour.
class TestForms : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_pages = {new Preparations1, new Preparations2, new Preparations3, new Preparations4,
                             new ScanPage, new SetupPage, new InstallPage, new ErrorPage, new SuccessPage,
                             new DriverPage}; }
    void cleanup() { qDeleteAll(m_pages); }

    void pagesCarryTheirNamesAndTexts_data();
    void pagesCarryTheirNamesAndTexts();
    void bannerIsKeptClearOnEveryPage();
    void formsStartAsTheirPagesExpect();
    void driverPageStepsOverItselfOnlyWithTheDriver_data();
    void driverPageStepsOverItselfOnlyWithTheDriver();

private:
    QWidget *find(const QString &page, const QString &name) const;

    QList<QWizardPage *> m_pages;
};

namespace {

QString imageHtml(const char *source, const char *size = "")
{
    return QStringLiteral("<html><head/><body><p><img src=\":/images/%1\"%2/></p></body></html>")
        .arg(QLatin1String(source), QLatin1String(size));
}

} // namespace

QWidget *TestForms::find(const QString &page, const QString &name) const
{
    for (QWizardPage *candidate : m_pages)
        if (candidate->objectName() == page)
            return name.isEmpty() ? candidate : candidate->findChild<QWidget *>(name);
    return nullptr;
}

void TestForms::pagesCarryTheirNamesAndTexts_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("text");  // empty: shows none
    auto row = [](const char *page, const char *widget, const QString &text) {
        QTest::addRow("%s %s", page, widget) << page << widget << text;
    };
    row("Preparations1", "label", QString::fromUtf8("Pressione o botão apontado pela seta para abrir a central:"));
    row("Preparations1", "Imagem", imageHtml("plataforma_plug.png", " width=\"250\" height=\"194\""));
    row("Preparations2", "label", QStringLiteral("Coloque o jumper na placa"));
    row("Preparations3", "label", QStringLiteral("Conecte o cabo USB entre computador e placa:"));
    row("Preparations3", "label_2", imageHtml("icon_connect.png"));
    row("Preparations4", "label", QStringLiteral("Conecte o cabo de energia da central na tomada:"));
    row("Preparations4", "label_2", imageHtml("icon_power.png", " width=\"302\" height=\"109\""));
    row("ScanPage", "label", QStringLiteral("Procurando por dispositivos conectados.\nAguarde..."));
    row("SetupPage", "labelCom", QStringLiteral("Selecione a porta COM:"));
    row("SetupPage", "labelCom2", QStringLiteral("Arquivo .hex:"));
    for (const char *name : {"comboBox", "hexLineEdit", "qt_wizard_find", "COMCheckBox", "HEXCheckBox"})
        row("SetupPage", name, QString());
    row("InstallPage", "labelInstalacao", QStringLiteral("Instalando..."));
    row("ErrorPage", "iconError", QString());
    row("ErrorPage", "error", QString::fromUtf8("Página de erro"));
    row("SuccessPage", "label", QStringLiteral("Central de alarme gravado com sucesso."));
    row("DriverPage", "label",
        QStringLiteral("<html><body>Baixe o driver da Central aqui: <a href=\"%1\"><span style=\" "
                       "text-decoration: underline; color:#0000ff;\">USB driver</span></a></body></html>")
            .arg(QString::fromUtf8(DriverDownloadUrl)));
    row("DriverPage", "label_2", imageHtml("icon_download.png", " width=\"190\" height=\"190\""));
}

void TestForms::pagesCarryTheirNamesAndTexts()
{
    QFETCH(QString, page);
    QFETCH(QString, widget);
    QFETCH(QString, text);
    QVERIFY2(find(page, QString()), qPrintable(page));
    QWidget *child = find(page, widget);
    QVERIFY(child);
    QCOMPARE(child->property("text").toString(), text);
}

void TestForms::bannerIsKeptClearOnEveryPage()
{
    // Every label, text and field starts right of the 168 px banner.
    for (QWizardPage *page : qAsConst(m_pages)) {
        page->resize(630, 340);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page));
        for (QWidget *widget : page->findChildren<QWidget *>()) {
            const int left = widget->mapTo(page, QPoint(0, 0)).x();
            QVERIFY2(!widget->isVisible() || left >= 168, qPrintable(page->objectName() + QLatin1Char(' ') + widget->objectName()));
        }
    }
}

void TestForms::formsStartAsTheirPagesExpect()
{
    // The two indicators cannot be changed by the technician.
    auto *com = qobject_cast<QCheckBox *>(find(QStringLiteral("SetupPage"), QStringLiteral("COMCheckBox")));
    auto *hex = qobject_cast<QCheckBox *>(find(QStringLiteral("SetupPage"), QStringLiteral("HEXCheckBox")));
    QVERIFY(com && hex);
    QVERIFY(!com->isEnabled() && !hex->isEnabled());
    QVERIFY(com->isChecked() && !hex->isChecked());

    // A busy bar until the first progress value sets a real range.
    auto *bar = qobject_cast<QProgressBar *>(find(QStringLiteral("InstallPage"), QStringLiteral("progressBar")));
    QVERIFY(bar);
    QCOMPARE(bar->minimum(), -1);
    QCOMPARE(bar->maximum(), -1);
    QVERIFY(qobject_cast<QWizardPage *>(find(QStringLiteral("InstallPage"), QString()))->isCommitPage());

    auto *link = qobject_cast<QLabel *>(find(QStringLiteral("DriverPage"), QStringLiteral("label")));
    QVERIFY(link);
    QVERIFY(link->openExternalLinks());
    QVERIFY(link->textInteractionFlags() & Qt::LinksAccessibleByMouse);
}

void TestForms::driverPageStepsOverItselfOnlyWithTheDriver_data()
{
    QTest::addColumn<bool>("drivers");
    QTest::newRow("driver present") << true;
    QTest::newRow("driver missing") << false;
}

void TestForms::driverPageStepsOverItselfOnlyWithTheDriver()
{
    QFETCH(bool, drivers);
    QWizard wizard;
    wizard.setProperty("drivers", drivers);
    auto *driver = new DriverPage;
    wizard.setPage(1, new QWizardPage);
    wizard.setPage(2, driver);
    wizard.setPage(3, new QWizardPage);
    wizard.show();

    wizard.next();
    QCOMPARE(wizard.currentId(), 2);
    // Moved on, if at all, once control is back in the event loop.
    QTest::qWait(50);
    QCOMPARE(wizard.currentId(), drivers ? 3 : 2);
    QVERIFY(drivers || wizard.button(QWizard::NextButton)->isEnabled());

    // Stepped back onto it: it steps back once more.
    if (drivers)
        wizard.back();
    QCOMPARE(wizard.currentId(), 2);
    driver->revisit();
    QCOMPARE(wizard.currentId(), drivers ? 1 : 2);
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
