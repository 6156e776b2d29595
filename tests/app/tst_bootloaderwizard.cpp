#include <QtTest>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QIcon>
#include <QMetaProperty>

#include "app/bootloaderwizard.h"
#include "app/mywizardpage.h"
#include "library/driverdetection.h"
#include "support/logcapture.h"

// Stands in for a page to record the wizard's back-button notifications.
class ProbePage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit ProbePage(int next = -2)
        : m_next(next)
    {
    }

    int nextId() const override { return m_next == -2 ? MyWizardPage::nextId() : m_next; }

    int backs = 0;
    int revisits = 0;

public slots:
    void onBackButton() override { ++backs; }
    void revisit() override { ++revisits; }

private:
    int m_next;
};

class TestBootloaderWizard : public QObject
{
    Q_OBJECT

private slots:
    void windowIsFixedAt640x430();
    void propertiesAndTheirAccess();
    void pagesAreRegisteredUnderTheirIds();
    void startsOnTheIntroPageAndLeadsToPreparations1();
    void buttonsAreBlankAndNamedForTheStyleSheet();
    void styleSheetDrawsTheButtons();
    void windowIconHoldsEverySize();
    void withoutTheStyleSheetTheWizardStillRuns();

    void backFromPreparations1NotifiesNobody();
    void backFromSetupNotifiesSetupAndScan();
    void backFromErrorAfterScanNotifiesTheUnseenSetupPage();
};

namespace {

void acceptTerms(QWizard &wizard)
{
    auto *box = wizard.page(BootloaderWizard::Page_Intro)->findChild<QCheckBox *>(QStringLiteral("acceptanceCheckBox"));
    QVERIFY(box);
    box->setChecked(true);
}

// Replaces a registered page with a probe; the wizard keeps ownership of it.
ProbePage *probeAt(QWizard &wizard, int id, int next = -2)
{
    wizard.removePage(id);
    auto *probe = new ProbePage(next);
    wizard.setPage(id, probe);
    return probe;
}

void clickBack(QWizard &wizard)
{
    QAbstractButton *back = wizard.button(QWizard::BackButton);
    QVERIFY(back->isEnabled());
    back->click();
}

// The top middle of a navigation button's image, inside the button's
// style-sheet margins (4 px left, 8 px right).
QRgb fillOf(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    return image.pixel(4 + 93 / 2, 3);
}

} // namespace

void TestBootloaderWizard::windowIsFixedAt640x430()
{
    BootloaderWizard wizard;
    wizard.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wizard));
    QCOMPARE(wizard.size(), QSize(640, 430));
    QCOMPARE(wizard.minimumSize(), QSize(640, 430));
    QCOMPARE(wizard.maximumSize(), QSize(640, 430));
    wizard.resize(900, 700);
    QCOMPARE(wizard.size(), QSize(640, 430));
    wizard.resize(300, 200);
    QCOMPARE(wizard.size(), QSize(640, 430));

    // No header, watermark or side banner of a named style; the only option
    // is Cancel on the left.
    QCOMPARE(int(wizard.wizardStyle()), int(QWizard::NStyles));
    QCOMPARE(int(wizard.options()), int(QWizard::CancelButtonOnLeft));
    QCOMPARE(wizard.objectName(), QStringLiteral("BootloaderWizard"));
    QCOMPARE(wizard.windowTitle(), QStringLiteral("Wizard"));
}

void TestBootloaderWizard::propertiesAndTheirAccess()
{
    BootloaderWizard wizard;
    QCOMPARE(wizard.property("port"), QVariant(-1));
    QCOMPARE(wizard.property("hex"), QVariant(QString()));
    QCOMPARE(wizard.property("error"), QVariant(0));
    QCOMPARE(wizard.property("drivers").toBool(), detectDrivers());

    // Pages reach them by name only.
    QVERIFY(wizard.setProperty("port", 2));
    QVERIFY(wizard.setProperty("hex", QStringLiteral("C:/fw/central.hex")));
    QVERIFY(wizard.setProperty("error", 5));
    QCOMPARE(wizard.port(), 2);
    QCOMPARE(wizard.hex(), QStringLiteral("C:/fw/central.hex"));
    QCOMPARE(wizard.error(), 5);
    wizard.setError(1);
    QCOMPARE(wizard.property("error"), QVariant(1));

    // drivers is decided once, at construction.
    const bool drivers = wizard.drivers();
    const QMetaObject *meta = wizard.metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty("drivers"));
    QVERIFY(property.isValid());
    QVERIFY(!property.isWritable());
    QVERIFY(!wizard.setProperty("drivers", !drivers));
    QCOMPARE(wizard.drivers(), drivers);
}

void TestBootloaderWizard::pagesAreRegisteredUnderTheirIds()
{
    BootloaderWizard wizard;
    QCOMPARE(wizard.pageIds(), QList<int>({0, 1, 3, 4, 5, 6, 7, 8, 9, 10}));
    QVERIFY(!wizard.page(BootloaderWizard::Page_Driver));

    const QStringList names = {"ErrorPage", "IntroPage", "", "Preparations1", "Preparations2", "Preparations3",
                               "Preparations4", "ScanPage", "SetupPage", "InstallPage", "SuccessPage"};
    for (int id : wizard.pageIds()) {
        QCOMPARE(wizard.page(id)->objectName(), names.at(id));
        QCOMPARE(wizard.page(id)->parentWidget() != nullptr, true);
    }
    // Only these receive the back-button notifications.
    for (int id : {0, 7, 8, 9})
        QVERIFY2(qobject_cast<MyWizardPage *>(wizard.page(id)), qPrintable(names.at(id)));
    for (int id : {1, 3, 4, 5, 6, 10})
        QVERIFY2(!qobject_cast<MyWizardPage *>(wizard.page(id)), qPrintable(names.at(id)));
    QVERIFY(wizard.page(BootloaderWizard::Page_Install)->isCommitPage());
    QCOMPARE(wizard.startId(), 1);
}

void TestBootloaderWizard::startsOnTheIntroPageAndLeadsToPreparations1()
{
    BootloaderWizard wizard;
    wizard.show();
    // The error page has the lowest id, yet the run opens on the intro page.
    QCOMPARE(wizard.currentId(), 1);
    QVERIFY(!wizard.button(QWizard::NextButton)->isEnabled());

    acceptTerms(wizard);
    QVERIFY(wizard.button(QWizard::NextButton)->isEnabled());
    wizard.button(QWizard::NextButton)->click();
    QCOMPARE(wizard.currentId(), 3);
    QCOMPARE(wizard.visitedIds(), QList<int>({1, 3}));

    // The plain pages follow one another up to the scan page.
    for (int id : {4, 5, 6, 7}) {
        wizard.next();
        QCOMPARE(wizard.currentId(), id);
    }
}

void TestBootloaderWizard::buttonsAreBlankAndNamedForTheStyleSheet()
{
    BootloaderWizard wizard;
    const struct {
        QWizard::WizardButton which;
        const char *name;
    } buttons[] = {
        {QWizard::CancelButton, "qt_wizard_cancel"},
        {QWizard::BackButton, "qt_wizard_back"},
        {QWizard::NextButton, "qt_wizard_next"},
        {QWizard::FinishButton, "qt_wizard_finish"},
        {QWizard::CommitButton, "qt_wizard_commit"},
    };
    for (const auto &b : buttons) {
        QCOMPARE(wizard.button(b.which)->objectName(), QString::fromLatin1(b.name));
        QCOMPARE(wizard.button(b.which)->text(), QString());
        QCOMPARE(wizard.buttonText(b.which), QString());
    }
    // The names are unique, so each selector picks exactly its button.
    for (const auto &b : buttons)
        QCOMPARE(wizard.findChildren<QAbstractButton *>(QString::fromLatin1(b.name)).size(), 1);
}

void TestBootloaderWizard::styleSheetDrawsTheButtons()
{
    QFile file(QStringLiteral(":/stylesheet/style.qss"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromUtf8(file.readAll());
    QVERIFY(!sheet.isEmpty());

    BootloaderWizard wizard;
    QCOMPARE(wizard.styleSheet(), sheet);
    wizard.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wizard));

    // The label images carry the state colours: green Next, grey when
    // disabled, red Cancel.
    QAbstractButton *next = wizard.button(QWizard::NextButton);
    QAbstractButton *cancel = wizard.button(QWizard::CancelButton);
    // 93 x 30 of image plus the 4 + 8 px side margins.
    QCOMPARE(next->size(), QSize(105, 30));
    QCOMPARE(cancel->size(), QSize(105, 30));
    QVERIFY(!next->isEnabled());
    QCOMPARE(fillOf(next), qRgb(0xbd, 0xbd, 0xbd));
    QCOMPARE(fillOf(cancel), qRgb(0xd2, 0x4d, 0x57));
    acceptTerms(wizard);
    QCOMPARE(fillOf(next), qRgb(0x59, 0xab, 0x32));

    // The banner fills the window's left edge, top to bottom.
    const QImage window = wizard.grab().toImage();
    for (int y : {0, 215, 429})
        for (int x : {0, 100, 167})
            QVERIFY2(qGreen(window.pixel(x, y)) > 0x90 && qRed(window.pixel(x, y)) < 0x60,
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    // The rest of the window stays white.
    QCOMPARE(window.pixel(632, 200) | 0xff000000, qRgb(0xff, 0xff, 0xff));
}

void TestBootloaderWizard::windowIconHoldsEverySize()
{
    BootloaderWizard wizard;
    const QList<QSize> sizes = wizard.windowIcon().availableSizes();
    for (int s : {20, 24, 32, 40, 48, 64})
        QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
}

void TestBootloaderWizard::withoutTheStyleSheetTheWizardStillRuns()
{
    Q_CLEANUP_RESOURCE(resources);
    {
        LogCapture log;
        BootloaderWizard wizard;
        QVERIFY(log.contains(QStringLiteral("Unable to open :/stylesheet/style.qss")));
        QCOMPARE(wizard.styleSheet(), QString());
        for (auto which : {QWizard::CancelButton, QWizard::BackButton, QWizard::NextButton,
                           QWizard::FinishButton, QWizard::CommitButton})
            QCOMPARE(wizard.button(which)->text(), QString());
        wizard.show();
        QCOMPARE(wizard.currentId(), 1);
    }
    Q_INIT_RESOURCE(resources);
    QVERIFY(QFile::exists(QStringLiteral(":/stylesheet/style.qss")));
}

void TestBootloaderWizard::backFromPreparations1NotifiesNobody()
{
    BootloaderWizard wizard;
    ProbePage *left = probeAt(wizard, BootloaderWizard::Page_Preparations1);
    ProbePage *error = probeAt(wizard, BootloaderWizard::Page_Error);
    wizard.show();
    acceptTerms(wizard);
    wizard.next();
    QCOMPARE(wizard.currentId(), 3);

    LogCapture log;
    clickBack(wizard);
    QCOMPARE(wizard.currentId(), 1);
    QCOMPARE(log.count(QStringLiteral("backButtonPressed(int) called.")), 1);
    // No page has id 2 and the intro page is a plain page.
    QCOMPARE(left->backs + left->revisits, 0);
    QCOMPARE(error->backs + error->revisits, 0);
}

void TestBootloaderWizard::backFromSetupNotifiesSetupAndScan()
{
    BootloaderWizard wizard;
    ProbePage *scan = probeAt(wizard, BootloaderWizard::Page_Scan);
    ProbePage *setup = probeAt(wizard, BootloaderWizard::Page_Setup);
    ProbePage *install = probeAt(wizard, BootloaderWizard::Page_Install);
    wizard.show();
    acceptTerms(wizard);
    while (wizard.currentId() != BootloaderWizard::Page_Setup) {
        const int before = wizard.currentId();
        wizard.next();
        QVERIFY(wizard.currentId() != before);
    }

    clickBack(wizard);
    QCOMPARE(wizard.currentId(), 7);
    QCOMPARE(setup->backs, 1);
    QCOMPARE(setup->revisits, 0);
    QCOMPARE(scan->revisits, 1);
    QCOMPARE(scan->backs, 0);
    QCOMPARE(install->backs + install->revisits, 0);

    // Once more, from the scan page to the last preparation page: the scan
    // page is the one left, and the plain page gets nothing.
    clickBack(wizard);
    QCOMPARE(wizard.currentId(), 6);
    QCOMPARE(scan->backs, 1);
    QCOMPARE(scan->revisits, 1);
    QCOMPARE(setup->backs, 1);
}

void TestBootloaderWizard::backFromErrorAfterScanNotifiesTheUnseenSetupPage()
{
    BootloaderWizard wizard;
    // A failed scan: the scan page turns to the error page.
    ProbePage *scan = probeAt(wizard, BootloaderWizard::Page_Scan, BootloaderWizard::Page_Error);
    ProbePage *setup = probeAt(wizard, BootloaderWizard::Page_Setup);
    wizard.show();
    acceptTerms(wizard);
    while (wizard.currentId() != BootloaderWizard::Page_Scan)
        wizard.next();
    wizard.setProperty("error", int(DeviceNotFound));
    wizard.next();
    QCOMPARE(wizard.currentId(), 0);
    QCOMPARE(wizard.visitedIds().last(), 0);

    clickBack(wizard);
    QCOMPARE(wizard.currentId(), 7);
    // The page under id 8 was never shown, yet it is told it was left.
    QCOMPARE(setup->backs, 1);
    QCOMPARE(setup->revisits, 0);
    QCOMPARE(scan->revisits, 1);
    QCOMPARE(scan->backs, 0);
}

QTEST_MAIN(TestBootloaderWizard)
#include "tst_bootloaderwizard.moc"
