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
    void imagesHaveTheirSizes_data();
    void imagesHaveTheirSizes();
    void buttonImagesCarryTheirStateColours();
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

void TestLook::imagesHaveTheirSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("banner") << ":/images/background.png" << QSize(168, 430);
    for (const char *set : ButtonSets)
        for (const char *state : ButtonStates) {
            const QString name = QStringLiteral("%1%2.png").arg(QLatin1String(set), QLatin1String(state));
            QTest::newRow(qPrintable(name)) << QStringLiteral(":/images/") + name << QSize(93, 30);
        }
    QTest::newRow("arrow") << ":/images/arrow_down.png" << QSize(12, 8);
    QTest::newRow("tick") << ":/images/icon_v.png" << QSize(16, 16);
    QTest::newRow("cross") << ":/images/icon_x.png" << QSize(16, 16);
    QTest::newRow("error") << ":/images/icon_error.png" << QSize(74, 64);
    QTest::newRow("panel") << ":/images/plataforma_plug.png" << QSize(250, 194);
    QTest::newRow("connect") << ":/images/icon_connect.png" << QSize(408, 113);
    QTest::newRow("power") << ":/images/icon_power.png" << QSize(302, 109);
    QTest::newRow("download") << ":/images/icon_download.png" << QSize(207, 207);
}

void TestLook::imagesHaveTheirSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void TestLook::buttonImagesCarryTheirStateColours()
{
    const QRgb green[] = {qRgb(0x59, 0xab, 0x32), qRgb(0x6f, 0xbf, 0x49), qRgb(0x45, 0x7f, 0x28), qRgb(0xbd, 0xbd, 0xbd)};
    const QRgb red[] = {qRgb(0xd2, 0x4d, 0x57), qRgb(0xf2, 0x50, 0x5c), qRgb(0xa3, 0x25, 0x2f), qRgb(0xbd, 0xbd, 0xbd)};
    for (const char *set : ButtonSets) {
        const QRgb *fills = qstrcmp(set, "cancel") == 0 ? red : green;
        for (int s = 0; s < 4; ++s) {
            const QString path = QStringLiteral(":/images/%1%2.png").arg(QLatin1String(set), QLatin1String(ButtonStates[s]));
            const QImage image(path);
            QVERIFY2(!image.isNull(), qPrintable(path));
            QCOMPARE(image.pixel(46, 4) | 0xff000000, fills[s]);
            // The white label is drawn across the middle.
            int white = 0;
            for (int x = 0; x < image.width(); ++x)
                for (int y = 8; y < 22; ++y)
                    if (qRed(image.pixel(x, y)) > 240 && qGreen(image.pixel(x, y)) > 240 && qBlue(image.pixel(x, y)) > 240)
                        ++white;
            QVERIFY2(white > 40, qPrintable(path));
        }
    }
}

void TestLook::windowIconIsAWindowsIconWithSixSizes()
{
    QFile file(QStringLiteral(":/images/bootloaderwizardapp.icon"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(data.size() > 6);
    const uchar *bytes = reinterpret_cast<const uchar *>(data.constData());
    QCOMPARE(qFromLittleEndian<quint16>(bytes), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 4), quint16(6));
    QVERIFY(data.size() >= 6 + 6 * 16);

    QList<int> sizes;
    for (int i = 0; i < 6; ++i) {
        const uchar *entry = bytes + 6 + 16 * i;
        QCOMPARE(entry[0], entry[1]);
        sizes.append(entry[0]);
        QCOMPARE(qFromLittleEndian<quint16>(entry + 6), quint16(32));
        const quint32 length = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        QVERIFY(quint64(offset) + length <= quint64(data.size()));
        // Each payload is a 32-bit bitmap of the entry's size.
        const uchar *dib = bytes + offset;
        QCOMPARE(qFromLittleEndian<quint32>(dib), quint32(40));
        QCOMPARE(qFromLittleEndian<qint32>(dib + 4), qint32(entry[0]));
        QCOMPARE(qFromLittleEndian<qint32>(dib + 8), qint32(entry[0]) * 2);
        QCOMPARE(qFromLittleEndian<quint16>(dib + 14), quint16(32));
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
