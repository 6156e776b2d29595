#include <QtTest>

#include "app/errorcodes.h"

// The messages are what the technician reads and what support is told over
// the phone; they must stand exactly as agreed.
class TestErrorCodes : public QObject
{
    Q_OBJECT

private slots:
    void messagesAreExact_data();
    void messagesAreExact();
};

// Message 1 has no final full stop, message 6 breaks its line once.
void TestErrorCodes::messagesAreExact_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("0") << int(NoError) << QString::fromUtf8("Nenhum erro reportado.");
    QTest::newRow("1") << int(DeviceNotFound)
                       << QString::fromUtf8("Dispositivo não encontrado ou não reconhecido. Certifique-se que a instalação do driver tenha sido concluída e se o Windows reconheceu o dispositivo USB");
    QTest::newRow("2") << int(ConnectionFailed) << QString::fromUtf8("Falha de conexão com o dispositivo.");
    QTest::newRow("3") << int(EraseFailed) << QString::fromUtf8("Erro ao tentar apagar o dispositivo.");
    QTest::newRow("4") << int(ConfigParseFailed) << QString::fromUtf8("Erro ao interpretar arquivo de configuração.");
    QTest::newRow("5") << int(WriteFailed) << QString::fromUtf8("Erro ao tentar escrever no dispositivo.");
    QTest::newRow("6") << int(FileAccessFailed)
                       << QString::fromUtf8("Erro ao tentar acessar arquivos.\nInstale este software novamente.");
}

void TestErrorCodes::messagesAreExact()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QVERIFY(code < ErrorCodeCount);
    QCOMPARE(errorMessages[code], message);
}

QTEST_APPLESS_MAIN(TestErrorCodes)
#include "tst_errorcodes.moc"
