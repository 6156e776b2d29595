#include <QtTest>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QLayout>
#include <QRegularExpression>
#include <QTextBrowser>

#include "app/bootloaderwizard.h"
#include "app/programstart.h"
#include "pages/contacts.h"

// What the technician reads and presses. The walk through the pages is the
// end-to-end tests' part; here, what they do not look at.
class TestPages : public QObject
{
    Q_OBJECT

private slots:
    void termsHoldNextUntilAccepted();
    void errorPageOffersNoWayForward();
    void everyButtonShowsItsPictureAndItsState();
    void everyPictureNamedExists();
    void everyPageFitsItsWindowAtEveryScale();
};

void TestPages::termsHoldNextUntilAccepted()
{
    BootloaderWizard wizard;
    wizard.show();
    QAbstractButton *next = wizard.button(QWizard::NextButton);
    auto *box = wizard.currentPage()->findChild<QCheckBox *>();
    QVERIFY(box && !next->isEnabled());
    // Ticked and unticked by a click on the box, as the technician does it.
    for (bool accepted : {true, false}) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QCOMPARE(next->isEnabled(), accepted);
    }
    // The support number is filled into the terms' sentence.
    const QString terms = wizard.currentPage()->findChild<QTextBrowser *>()->toPlainText();
    QVERIFY2(terms.contains(QStringLiteral("telefone %1.").arg(QString::fromUtf8(SupportTelephone))), qPrintable(terms));
}

void TestPages::errorPageOffersNoWayForward()
{
    BootloaderWizard wizard;
    // A code past the message table is shown as a number, not read out of
    // bounds; the table's own texts are checked with the codes.
    wizard.setError(42);
    wizard.setStartId(BootloaderWizard::Page_Error);
    wizard.show();
    QCOMPARE(wizard.currentPage()->findChild<QLabel *>(QStringLiteral("error"))->text(), QStringLiteral("Erro 42."));
    // The wizard enables Next on entering the page; the page takes it away
    // on the next turn of the event loop, and Cancel is the way out.
    QTRY_VERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
    QVERIFY(wizard.button(QWizard::CancelButton)->isEnabled());
}

// The buttons carry no text: each must show its picture, and a disabled one
// must look disabled.
void TestPages::everyButtonShowsItsPictureAndItsState()
{
    BootloaderWizard wizard;
    QList<QAbstractButton *> buttons = {
        wizard.page(BootloaderWizard::Page_Setup)->findChild<QAbstractButton *>(QStringLiteral("qt_wizard_find"))};
    for (auto which : {QWizard::CancelButton, QWizard::BackButton, QWizard::NextButton, QWizard::FinishButton,
                       QWizard::CommitButton})
        buttons << wizard.button(which);
    for (QAbstractButton *button : buttons) {
        QRgb fill[2];
        for (bool enabled : {false, true}) {
            button->setEnabled(enabled);
            // Near the top of the picture, above its label, inside the margins.
            fill[enabled] = button->grab().toImage().pixel(50, 3) | 0xff000000;
        }
        QVERIFY2(fill[0] != qRgb(255, 255, 255) && fill[1] != qRgb(255, 255, 255) && fill[0] != fill[1],
                 qPrintable(button->objectName()));
    }
}

void TestPages::everyPictureNamedExists()
{
    BootloaderWizard wizard;
    QString names = wizard.styleSheet();
    for (QLabel *label : wizard.findChildren<QLabel *>())
        names += label->text();
    const QRegularExpression picture(QStringLiteral("(?:url\\(|src=\")(:[^)\"]+)"));
    int count = 0;
    for (auto it = picture.globalMatch(names); it.hasNext(); ++count) {
        const QString path = it.next().captured(1);
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    }
    QVERIFY(count > 0);
}

// Every page as a screen at 96, 144 or 192 DPI shows it (the same test runs
// with QT_FONT_DPI 96, 144 and 192, which the program's scaling turns into
// 100, 150 and 200 %, not 200 % for 150): every label, check box, field and
// button inside the window and inside its parent, no text cut, and all of it
// clear of the green banner down the window's left edge, 168 px wide.
void TestPages::everyPageFitsItsWindowAtEveryScale()
{
    BootloaderWizard wizard;
    wizard.setProperty("errorDetail", QStringLiteral("A porta COM12 está em uso por outro programa. Feche-o e clique em "
                                                     "Anterior para procurar novamente."));
    wizard.show();
    if (qEnvironmentVariableIsSet("QT_FONT_DPI"))
        QCOMPARE(wizard.devicePixelRatioF(), qEnvironmentVariable("QT_FONT_DPI").toDouble() / 96);
    const QRect area = wizard.currentPage()->geometry();
    for (int id : wizard.pageIds()) {
        QWizardPage *page = wizard.page(id);
        page->setGeometry(area);
        if (auto *mine = qobject_cast<MyWizardPage *>(page); mine && id == BootloaderWizard::Page_Error)
            mine->revisit();
        page->layout()->activate();
        for (QWidget *widget : page->findChildren<QWidget *>()) {
            if (widget->isHidden() || !(qobject_cast<QLabel *>(widget) || qobject_cast<QAbstractButton *>(widget)
                                        || qobject_cast<QLineEdit *>(widget) || qobject_cast<QComboBox *>(widget)))
                continue;
            const QString where = page->objectName() + QLatin1Char(' ') + widget->objectName();
            const QRect inWindow(widget->mapTo(&wizard, QPoint()), widget->size());
            QVERIFY2(wizard.rect().contains(inWindow) && inWindow.x() >= 168, qPrintable(where));
            QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()), qPrintable(where));
            // Texts are the labels' and the buttons'; a field's text scrolls.
            auto *label = qobject_cast<QLabel *>(widget);
            if (!label && !qobject_cast<QAbstractButton *>(widget))
                continue;
            const bool wraps = label && label->wordWrap();
            const QSize needed = wraps ? QSize(0, label->heightForWidth(label->width())) : widget->minimumSizeHint();
            QVERIFY2(needed.width() <= widget->width() && needed.height() <= widget->height(),
                     qPrintable(where + QStringLiteral(": needs %1 x %2, has %3 x %4").arg(needed.width())
                                    .arg(needed.height()).arg(widget->width()).arg(widget->height())));
        }
    }
}

int main(int argc, char *argv[])
{
    ProgramStart::scaleWithTheScreen();
    QApplication app(argc, argv);
    TestPages test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_pages.moc"
