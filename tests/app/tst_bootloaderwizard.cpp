#include <QtTest>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QIcon>

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
    void windowIsFixedAt640x430WithItsIcon();
    void propertiesAndTheirAccess();
    void pagesAreRegisteredUnderTheirIds();
    void buttonsAreBlankAndNamedForTheStyleSheet();
    void styleSheetDrawsTheButtons();
    void withoutTheStyleSheetTheWizardStillRuns();

    void backNotifiesThePagesByTheirIds_data();
    void backNotifiesThePagesByTheirIds();
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

// The top middle of a navigation button's image, inside the button's
// style-sheet margins (4 px left, 8 px right).
QRgb fillOf(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    return image.pixel(4 + 93 / 2, 3);
}

} // namespace

void TestBootloaderWizard::windowIsFixedAt640x430WithItsIcon()
{
    BootloaderWizard wizard;
    wizard.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wizard));
    QCOMPARE(wizard.size(), QSize(640, 430));
    wizard.resize(900, 700);
    QCOMPARE(wizard.size(), QSize(640, 430));
    wizard.resize(300, 200);
    QCOMPARE(wizard.size(), QSize(640, 430));

    // No header, watermark or side banner of a named style; the only option
    // is Cancel on the left.
    QCOMPARE(int(wizard.wizardStyle()), int(QWizard::NStyles));
    QCOMPARE(int(wizard.options()), int(QWizard::CancelButtonOnLeft));

    const QList<QSize> sizes = wizard.windowIcon().availableSizes();
    for (int s : {20, 24, 32, 40, 48, 64})
        QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
}

void TestBootloaderWizard::propertiesAndTheirAccess()
{
    BootloaderWizard wizard;
    QCOMPARE(wizard.property("port"), QVariant(-1));
    QCOMPARE(wizard.property("hex"), QVariant(QString()));
    QCOMPARE(wizard.property("error"), QVariant(0));
    QCOMPARE(wizard.property("drivers").toBool(), detectDrivers());

    // Pages reach them by name only; drivers is decided once, at construction.
    QVERIFY(wizard.setProperty("port", 2) && wizard.setProperty("hex", QStringLiteral("C:/fw/central.hex")));
    QCOMPARE(wizard.hex(), QStringLiteral("C:/fw/central.hex"));
    wizard.setError(1);
    QCOMPARE(wizard.property("error"), QVariant(1));
    QVERIFY(!wizard.setProperty("drivers", !wizard.drivers()));
}

void TestBootloaderWizard::pagesAreRegisteredUnderTheirIds()
{
    BootloaderWizard wizard;
    QCOMPARE(wizard.pageIds(), QList<int>({0, 1, 3, 4, 5, 6, 7, 8, 9, 10}));
    QVERIFY(!wizard.page(BootloaderWizard::Page_Driver));

    const QStringList names = {"ErrorPage", "IntroPage", "", "Preparations1", "Preparations2", "Preparations3",
                               "Preparations4", "ScanPage", "SetupPage", "InstallPage", "SuccessPage"};
    for (int id : wizard.pageIds())
        QCOMPARE(wizard.page(id)->objectName(), names.at(id));
    // Only these receive the back-button notifications.
    for (int id : wizard.pageIds())
        QCOMPARE(qobject_cast<MyWizardPage *>(wizard.page(id)) != nullptr, QList<int>({0, 7, 8, 9}).contains(id));
    QVERIFY(wizard.page(BootloaderWizard::Page_Install)->isCommitPage());
    QCOMPARE(wizard.startId(), 1);
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
        QCOMPARE(wizard.button(b.which)->text(), QString());
        // Unique, so that each selector picks exactly its button.
        QCOMPARE(wizard.findChildren<QAbstractButton *>(QString::fromLatin1(b.name)),
                 QList<QAbstractButton *>{wizard.button(b.which)});
    }
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

void TestBootloaderWizard::withoutTheStyleSheetTheWizardStillRuns()
{
    Q_CLEANUP_RESOURCE(resources);
    {
        LogCapture log;
        BootloaderWizard wizard;
        QVERIFY(log.contains(QStringLiteral("Unable to open :/stylesheet/style.qss")));
        QCOMPARE(wizard.styleSheet(), QString());
        wizard.show();
        QCOMPARE(wizard.currentId(), 1);
    }
    Q_INIT_RESOURCE(resources);
    QVERIFY(QFile::exists(QStringLiteral(":/stylesheet/style.qss")));
}

void TestBootloaderWizard::backNotifiesThePagesByTheirIds_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("notices");
    // No page has id 2 and the intro page is a plain page.
    QTest::newRow("from Preparations1") << 3 << 1 << "";
    QTest::newRow("from setup") << 8 << 7 << "8 left, 7 revisited";
    QTest::newRow("from scan") << 7 << 6 << "7 left";
    // A failed scan turns to the error page; the setup page under id 8 was
    // never shown, yet it is told it was left.
    QTest::newRow("from the error page after a failed scan") << 0 << 7 << "8 left, 7 revisited";
}

void TestBootloaderWizard::backNotifiesThePagesByTheirIds()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, notices);
    BootloaderWizard wizard;
    QMap<int, ProbePage *> probes;
    // Every page that may be notified, and one (3) that must not be.
    for (int id : {0, 3, 7, 8, 9})
        probes[id] = probeAt(wizard, id, id == 7 && from == 0 ? BootloaderWizard::Page_Error : -2);
    wizard.show();
    acceptTerms(wizard);
    while (wizard.currentId() != from) {
        const int before = wizard.currentId();
        wizard.next();
        QVERIFY(wizard.currentId() != before);
    }

    LogCapture log;
    QVERIFY(wizard.button(QWizard::BackButton)->isEnabled());
    wizard.button(QWizard::BackButton)->click();
    QCOMPARE(wizard.currentId(), to);
    QCOMPARE(log.count(QStringLiteral("backButtonPressed(int) called.")), 1);
    QStringList seen;
    for (int id : {9, 8, 7, 3, 0}) {
        for (int i = 0; i < probes[id]->backs; ++i)
            seen << QStringLiteral("%1 left").arg(id);
        for (int i = 0; i < probes[id]->revisits; ++i)
            seen << QStringLiteral("%1 revisited").arg(id);
    }
    QCOMPARE(seen.join(QStringLiteral(", ")), notices);
}

QTEST_MAIN(TestBootloaderWizard)
#include "tst_bootloaderwizard.moc"
