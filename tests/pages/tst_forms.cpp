#include <QtTest>

#include <QAbstractButton>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

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
    void preparationPagesShowTheirInstructionAndImage_data();
    void preparationPagesShowTheirInstructionAndImage();
    void bannerIsKeptClearOnEveryPage();
    void scanPageForm();
    void setupPageForm();
    void installPageForm();
    void errorPageForm();
    void driverPageLinksToTheDriverDownload();
    void driverPagePassesItselfByWhenTheDriverIsPresent();
    void driverPageStaysWithoutTheDriver();
};

namespace {

template <typename T>
T *child(QWidget &page, const char *name)
{
    T *widget = page.findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qWarning("no %s in %s", name, qPrintable(page.objectName()));
    return widget;
}

QString imageHtml(const QString &tag)
{
    return QStringLiteral("<html><head/><body><p>%1</p></body></html>").arg(tag);
}

} // namespace

void TestForms::preparationPagesShowTheirInstructionAndImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("instruction");
    QTest::addColumn<QString>("imageLabel");
    QTest::addColumn<QString>("imageText");
    QTest::newRow("1") << "Preparations1" << QString::fromUtf8("Pressione o botão apontado pela seta para abrir a central:")
                       << "Imagem" << imageHtml(QStringLiteral("<img src=\":/images/plataforma_plug.png\" width=\"250\" height=\"194\"/>"));
    QTest::newRow("2") << "Preparations2" << QStringLiteral("Coloque o jumper na placa") << QString() << QString();
    QTest::newRow("3") << "Preparations3" << QStringLiteral("Conecte o cabo USB entre computador e placa:")
                       << "label_2" << imageHtml(QStringLiteral("<img src=\":/images/icon_connect.png\"/>"));
    QTest::newRow("4") << "Preparations4" << QStringLiteral("Conecte o cabo de energia da central na tomada:")
                       << "label_2" << imageHtml(QStringLiteral("<img src=\":/images/icon_power.png\" width=\"302\" height=\"109\"/>"));
}

void TestForms::preparationPagesShowTheirInstructionAndImage()
{
    QFETCH(QString, name);
    QFETCH(QString, instruction);
    QFETCH(QString, imageLabel);
    QFETCH(QString, imageText);

    QScopedPointer<QWizardPage> page;
    if (name == QLatin1String("Preparations1"))
        page.reset(new Preparations1);
    else if (name == QLatin1String("Preparations2"))
        page.reset(new Preparations2);
    else if (name == QLatin1String("Preparations3"))
        page.reset(new Preparations3);
    else
        page.reset(new Preparations4);

    QCOMPARE(page->objectName(), name);
    QCOMPARE(page->maximumWidth(), 630);
    auto *label = child<QLabel>(*page, "label");
    QVERIFY(label);
    QCOMPARE(label->text(), instruction);
    QVERIFY(label->wordWrap());

    const QList<QLabel *> labels = page->findChildren<QLabel *>();
    if (imageLabel.isEmpty()) {
        QCOMPARE(labels.size(), 1);
        return;
    }
    QCOMPARE(labels.size(), 2);
    auto *image = page->findChild<QLabel *>(imageLabel);
    QVERIFY(image);
    QCOMPARE(image->text(), imageText);
}

void TestForms::bannerIsKeptClearOnEveryPage()
{
    // Every label, text and field starts right of the 168 px banner.
    QList<QWizardPage *> pages = {new Preparations1, new Preparations2, new Preparations3, new Preparations4,
                                  new ScanPage, new SetupPage, new InstallPage, new ErrorPage,
                                  new SuccessPage, new DriverPage};
    for (QWizardPage *page : pages) {
        page->resize(630, 340);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page));
        for (QWidget *widget : page->findChildren<QWidget *>()) {
            if (!widget->isVisible())
                continue;
            const int left = widget->mapTo(page, QPoint(0, 0)).x();
            QVERIFY2(left >= 168, qPrintable(page->objectName() + QLatin1Char(' ') + widget->objectName()));
        }
    }
    qDeleteAll(pages);
}

void TestForms::scanPageForm()
{
    ScanPage page;
    QCOMPARE(page.objectName(), QStringLiteral("ScanPage"));
    QCOMPARE(page.maximumSize(), QSize(630, 540));
    auto *label = child<QLabel>(page, "label");
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Procurando por dispositivos conectados.\nAguarde..."));
}

void TestForms::setupPageForm()
{
    SetupPage page;
    QCOMPARE(page.objectName(), QStringLiteral("SetupPage"));
    QCOMPARE(child<QLabel>(page, "labelCom")->text(), QStringLiteral("Selecione a porta COM:"));
    QCOMPARE(child<QLabel>(page, "labelCom2")->text(), QStringLiteral("Arquivo .hex:"));

    auto *combo = child<QComboBox>(page, "comboBox");
    QVERIFY(combo);
    QCOMPARE(combo->count(), 0);
    auto *line = child<QLineEdit>(page, "hexLineEdit");
    QVERIFY(line);
    QVERIFY(line->text().isEmpty());
    auto *find = child<QPushButton>(page, "qt_wizard_find");
    QVERIFY(find);
    QVERIFY(find->text().isEmpty());
    QVERIFY(find->isEnabled());

    // The two indicators cannot be changed by the technician.
    auto *com = child<QCheckBox>(page, "COMCheckBox");
    auto *hex = child<QCheckBox>(page, "HEXCheckBox");
    QVERIFY(com && hex);
    QVERIFY(!com->isEnabled());
    QVERIFY(!hex->isEnabled());
    QVERIFY(com->isChecked());
    QVERIFY(!hex->isChecked());
    QVERIFY(com->text().isEmpty() && hex->text().isEmpty());
}

void TestForms::installPageForm()
{
    InstallPage page;
    QCOMPARE(page.objectName(), QStringLiteral("InstallPage"));
    QVERIFY(page.isCommitPage());
    QCOMPARE(child<QLabel>(page, "labelInstalacao")->text(), QStringLiteral("Instalando..."));
    auto *bar = child<QProgressBar>(page, "progressBar");
    QVERIFY(bar);
    // A busy bar until the first progress value sets a real range.
    QCOMPARE(bar->maximum(), -1);
    QCOMPARE(bar->minimum(), -1);
    QCOMPARE(bar->value(), -1);
    QVERIFY(!bar->isTextVisible());
    QCOMPARE(bar->alignment(), Qt::Alignment(Qt::AlignCenter));
    QCOMPARE(bar->maximumWidth(), 400);
    QCOMPARE(bar->statusTip(), QStringLiteral("Instalando"));
}

void TestForms::errorPageForm()
{
    ErrorPage page;
    QCOMPARE(page.objectName(), QStringLiteral("ErrorPage"));
    auto *icon = child<QLabel>(page, "iconError");
    QVERIFY(icon);
    QVERIFY(icon->text().isEmpty());
    QCOMPARE(child<QLabel>(page, "error")->text(), QString::fromUtf8("Página de erro"));

    SuccessPage success;
    QCOMPARE(success.objectName(), QStringLiteral("SuccessPage"));
}

void TestForms::driverPageLinksToTheDriverDownload()
{
    DriverPage page;
    QCOMPARE(page.objectName(), QStringLiteral("DriverPage"));
    auto *label = child<QLabel>(page, "label");
    QVERIFY(label);
    QVERIFY(label->openExternalLinks());
    QVERIFY(label->textInteractionFlags() & Qt::LinksAccessibleByMouse);
    QVERIFY(label->textInteractionFlags() & Qt::LinksAccessibleByKeyboard);
    const QString url = QString::fromUtf8(DriverDownloadUrl);
    QVERIFY(url.startsWith(QLatin1String("https://")));
    QCOMPARE(label->text(),
             QStringLiteral("<html><body>Baixe o driver da Central aqui: <a href=\"%1\"><span style=\" "
                            "text-decoration: underline; color:#0000ff;\">USB driver</span></a></body></html>")
                 .arg(url));
    QCOMPARE(child<QLabel>(page, "label_2")->text(),
             imageHtml(QStringLiteral("<img src=\":/images/icon_download.png\" width=\"190\" height=\"190\"/>")));
}

void TestForms::driverPagePassesItselfByWhenTheDriverIsPresent()
{
    QWizard wizard;
    wizard.setProperty("drivers", true);
    auto *driver = new DriverPage;
    wizard.setPage(1, new QWizardPage);
    wizard.setPage(2, driver);
    wizard.setPage(3, new QWizardPage);
    wizard.show();

    wizard.next();
    QCOMPARE(wizard.currentId(), 2);
    // Moved on once control is back in the event loop.
    QTRY_COMPARE(wizard.currentId(), 3);

    // Stepped back onto it: it steps back once more.
    wizard.back();
    QCOMPARE(wizard.currentId(), 2);
    driver->revisit();
    QCOMPARE(wizard.currentId(), 1);
}

void TestForms::driverPageStaysWithoutTheDriver()
{
    QWizard wizard;
    wizard.setProperty("drivers", false);
    auto *driver = new DriverPage;
    wizard.setPage(1, new QWizardPage);
    wizard.setPage(2, driver);
    wizard.setPage(3, new QWizardPage);
    wizard.show();

    wizard.next();
    QTest::qWait(50);
    QCOMPARE(wizard.currentId(), 2);
    QVERIFY(wizard.button(QWizard::NextButton)->isEnabled());
    driver->revisit();
    QCOMPARE(wizard.currentId(), 2);
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
