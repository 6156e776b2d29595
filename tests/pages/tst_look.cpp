#include <QtTest>

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QtEndian>

// The resource collection: every image the forms and the style sheet name
// must exist at its size, and the style sheet must hold its rules in order.
class TestLook : public QObject
{
    Q_OBJECT

private slots:
    void imagesHaveTheirSizesAndColours_data();
    void imagesHaveTheirSizesAndColours();
    void windowIconIsAWindowsIconWithSixSizes();
    void styleSheetHoldsEveryRuleInOrder();
    void styleSheetNamesOnlyImagesThatExist();
};

namespace {

QString styleSheet()
{
    QFile file(QStringLiteral(":/stylesheet/style.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}

const char *const ButtonSets[] = {"next", "back", "finish", "find", "cancel"};
const char *const ButtonStates[] = {"", "_hover", "_pressed", "_disabled"};

} // namespace

void TestLook::imagesHaveTheirSizesAndColours_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRgb>("fill");  // of a button, with a white label across it
    QTest::newRow("banner") << ":/images/background.png" << QSize(168, 430) << QRgb(0);
    const QRgb green[] = {qRgb(0x59, 0xab, 0x32), qRgb(0x6f, 0xbf, 0x49), qRgb(0x45, 0x7f, 0x28), qRgb(0xbd, 0xbd, 0xbd)};
    const QRgb red[] = {qRgb(0xd2, 0x4d, 0x57), qRgb(0xf2, 0x50, 0x5c), qRgb(0xa3, 0x25, 0x2f), qRgb(0xbd, 0xbd, 0xbd)};
    for (const char *set : ButtonSets)
        for (int s = 0; s < 4; ++s) {
            const QString name = QStringLiteral("%1%2.png").arg(QLatin1String(set), QLatin1String(ButtonStates[s]));
            QTest::newRow(qPrintable(name)) << QStringLiteral(":/images/") + name << QSize(93, 30)
                                            << (qstrcmp(set, "cancel") == 0 ? red : green)[s];
        }
    QTest::newRow("arrow") << ":/images/arrow_down.png" << QSize(12, 8) << QRgb(0);
    QTest::newRow("tick") << ":/images/icon_v.png" << QSize(16, 16) << QRgb(0);
    QTest::newRow("cross") << ":/images/icon_x.png" << QSize(16, 16) << QRgb(0);
    QTest::newRow("error") << ":/images/icon_error.png" << QSize(74, 64) << QRgb(0);
    QTest::newRow("panel") << ":/images/plataforma_plug.png" << QSize(250, 194) << QRgb(0);
    QTest::newRow("connect") << ":/images/icon_connect.png" << QSize(408, 113) << QRgb(0);
    QTest::newRow("power") << ":/images/icon_power.png" << QSize(302, 109) << QRgb(0);
    QTest::newRow("download") << ":/images/icon_download.png" << QSize(207, 207) << QRgb(0);
}

void TestLook::imagesHaveTheirSizesAndColours()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(QRgb, fill);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    if (!fill)
        return;
    QCOMPARE(image.pixel(46, 4) | 0xff000000, fill);
    int white = 0;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 8; y < 22; ++y)
            white += qRed(image.pixel(x, y)) > 240 && qGreen(image.pixel(x, y)) > 240 && qBlue(image.pixel(x, y)) > 240;
    QVERIFY(white > 40);
}

void TestLook::windowIconIsAWindowsIconWithSixSizes()
{
    QFile file(QStringLiteral(":/images/bootloaderwizardapp.icon"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(data.size() > 6);
    const uchar *bytes = reinterpret_cast<const uchar *>(data.constData());
    // Reserved, an icon, six images, each with its directory entry.
    QCOMPARE(qFromLittleEndian<quint16>(bytes), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 4), quint16(6));
    QVERIFY(data.size() >= 6 + 6 * 16);

    QList<int> sizes;
    for (const uchar *entry = bytes + 6; entry < bytes + 6 + 6 * 16; entry += 16) {
        sizes.append(entry[0]);
        QCOMPARE(entry[1], entry[0]);
        QCOMPARE(qFromLittleEndian<quint16>(entry + 6), quint16(32));
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        QVERIFY(quint64(offset) + qFromLittleEndian<quint32>(entry + 8) <= quint64(data.size()));
        // A 32-bit bitmap of the entry's size (twice as high: colour and mask).
        QCOMPARE(qFromLittleEndian<qint32>(bytes + offset + 8), qint32(entry[0]) * 2);
        QCOMPARE(qFromLittleEndian<quint16>(bytes + offset + 14), quint16(32));
    }
    QCOMPARE(sizes, QList<int>({20, 24, 32, 40, 48, 64}));

    // Qt reads every image back, whatever the file's suffix.
    const QIcon icon(QStringLiteral(":/images/bootloaderwizardapp.icon"));
    QCOMPARE(icon.availableSizes().size(), 6);
    const QImage big = icon.pixmap(64, 64).toImage();
    QCOMPARE(big.size(), QSize(64, 64));
    QCOMPARE(qAlpha(big.pixel(32, 32)), 255);
}

void TestLook::styleSheetHoldsEveryRuleInOrder()
{
    const QString sheet = styleSheet();
    QVERIFY(!sheet.isEmpty());
    for (const QChar c : sheet)
        QVERIFY2(c.unicode() < 128, "the style sheet is plain ASCII");

    QStringList selectors;
    const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^{}]*)\\}"));
    for (auto it = rule.globalMatch(sheet); it.hasNext();)
        selectors.append(it.next().captured(1).simplified());

    QStringList expected = {"*", "QWizard", "QWizard QWizardPage", "QLabel", "QWizard QPushButton"};
    for (const char *button : {"cancel", "back", "next", "find", "finish", "commit"})
        for (const char *state : {"", ":hover", ":pressed", ":disabled"})
            expected.append(QStringLiteral("#qt_wizard_%1%2").arg(QLatin1String(button), QLatin1String(state)));
    expected += QStringList{"QTextEdit", "#comboBox", "#comboBox::drop-down", "#comboBox::down-arrow",
                            "#comboBox QListView", "#comboBox QLabel", "#SetupPage QCheckBox",
                            "#SetupPage QCheckBox::indicator:unchecked", "#SetupPage QCheckBox::indicator:checked",
                            "#hexLineEdit", "#InstallPage #progressBar", "#InstallPage #progressBar::chunk",
                            "#InstallPage #labelInstalacao", "#ErrorPage #iconError", "#ErrorPage #error"};
    QCOMPARE(selectors, expected);

    // A few declarations the look depends on.
    QVERIFY(sheet.contains(QLatin1String("background-image: url(:/images/background.png);")));
    QVERIFY(sheet.contains(QLatin1String("padding: 0px 0px 0px 168px;")));
    QVERIFY(sheet.contains(QLatin1String("color:#d55862;")));
    QVERIFY(sheet.contains(QLatin1String("font-size: 15px;")));
}

void TestLook::styleSheetNamesOnlyImagesThatExist()
{
    const QString sheet = styleSheet();
    const QRegularExpression url(QStringLiteral("url\\(([^)]+)\\)"));
    int count = 0;
    for (auto it = url.globalMatch(sheet); it.hasNext(); ++count) {
        const QString path = it.next().captured(1);
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }
    // The banner, 20 button states (commit borrows Next's), the arrow, the
    // two marks and the error sign.
    QCOMPARE(count, 1 + 24 + 1 + 2 + 1);

    // The commit button looks like Next.
    for (const char *state : {"", ":hover", ":pressed", ":disabled"}) {
        const QString selector = QStringLiteral("#qt_wizard_commit%1 {").arg(QLatin1String(state));
        const int at = sheet.indexOf(selector);
        QVERIFY(at >= 0);
        const QString body = sheet.mid(at, sheet.indexOf(QLatin1Char('}'), at) - at);
        QVERIFY2(body.contains(QLatin1String("url(:/images/next")), qPrintable(selector));
    }
}

QTEST_MAIN(TestLook)
#include "tst_look.moc"
