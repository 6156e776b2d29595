#include <QtTest>

#include <QAbstractButton>

#include "app/bootloaderwizard.h"
#include "device/errorcodes.h"
#include "app/runoutcome.h"
#include "device/systemreport.h"

class TestBootloaderWizard : public QObject
{
    Q_OBJECT

private slots:
    void everyCodeHasItsMessage();
    void theSupportLogSaysHowTheRunEnded_data();
    void theSupportLogSaysHowTheRunEnded();
};

// What the technician reads, and reads out to support over the phone: each
// code's number and message exactly as agreed. Message 1 has no final full
// stop and message 6 breaks onto a second line.
void TestBootloaderWizard::everyCodeHasItsMessage()
{
    const struct {
        ErrorCode code;
        const char *message;
    } table[] = {
        {NoError, "Nenhum erro reportado."},
        {DeviceNotFound, "Dispositivo não encontrado ou não reconhecido. Certifique-se que a instalação do driver "
                         "tenha sido concluída e se o Windows reconheceu o dispositivo USB"},
        {ConnectionFailed, "Falha de conexão com o dispositivo."},
        {EraseFailed, "Erro ao tentar apagar o dispositivo."},
        {ConfigParseFailed, "Erro ao interpretar arquivo de configuração."},
        {WriteFailed, "Erro ao tentar escrever no dispositivo."},
        {FileAccessFailed, "Erro ao tentar acessar arquivos.\nInstale este software novamente."},
    };
    QCOMPARE(ErrorCodeCount, int(std::size(table)));
    for (int number = 0; number < ErrorCodeCount; ++number) {
        QCOMPARE(int(table[number].code), number);
        QCOMPARE(errorMessages[number], QString::fromUtf8(table[number].message));
    }
}

void TestBootloaderWizard::theSupportLogSaysHowTheRunEnded_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("action");  // 0 none, 1 Cancel, 2 Escape, 3 the close box
    QTest::addColumn<QString>("ending");
    QTest::newRow("success") << int(BootloaderWizard::Page_Success) << 1 << "Run ended: success.";
    QTest::newRow("an error") << int(BootloaderWizard::Page_Error) << 3 << "Run ended: error 6 (Erro ao tentar "
                                                                         "acessar arquivos. Instale este software novamente.).";
    QTest::newRow("Cancel") << int(BootloaderWizard::Page_Intro) << 1 << "Run ended: cancelled by the technician on IntroPage.";
    QTest::newRow("Escape") << int(BootloaderWizard::Page_Intro) << 2 << "Run ended: cancelled by the technician on IntroPage.";
    QTest::newRow("close box") << int(BootloaderWizard::Page_Intro) << 3 << "Run ended: the window was closed on IntroPage.";
    QTest::newRow("neither") << int(BootloaderWizard::Page_Intro) << 0 << "Run ended: the program quit on IntroPage.";
}

void TestBootloaderWizard::theSupportLogSaysHowTheRunEnded()
{
    QFETCH(int, page);
    QFETCH(int, action);
    QFETCH(QString, ending);
    BootloaderWizard wizard;
    wizard.setError(FileAccessFailed);
    wizard.setStartId(page);
    RunOutcome outcome(&wizard);
    wizard.show();
    if (action == 1)
        wizard.button(QWizard::CancelButton)->click();
    else if (action == 2)
        QTest::keyClick(&wizard, Qt::Key_Escape);
    else if (action == 3)
        wizard.close();
    QCOMPARE(outcome.ending(), ending);
    // Support reads the adaptor off the port lines.
    const QStringList report = SystemReport::lines({{"ttyUSB0", "/dev/ttyUSB0", 0x10c4, 0xea60, "CP2102 Bridge"}});
    QVERIFY(report.contains("Serial port: ttyUSB0 (/dev/ttyUSB0), USB 10c4:ea60, \"CP2102 Bridge\""));
}

QTEST_MAIN(TestBootloaderWizard)
#include "tst_bootloaderwizard.moc"
