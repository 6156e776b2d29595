#include "device/errorcodes.h"

// The texts are shown exactly as they stand: message 1 has no final full stop
// and message 6 breaks onto a second line.
const QString errorMessages[ErrorCodeCount] = {
    QString::fromUtf8("Nenhum erro reportado."),
    QString::fromUtf8("Dispositivo não encontrado ou não reconhecido. Certifique-se que a "
                      "instalação do driver tenha sido concluída e se o Windows reconheceu o "
                      "dispositivo USB"),
    QString::fromUtf8("Falha de conexão com o dispositivo."),
    QString::fromUtf8("Erro ao tentar apagar o dispositivo."),
    QString::fromUtf8("Erro ao interpretar arquivo de configuração."),
    QString::fromUtf8("Erro ao tentar escrever no dispositivo."),
    QString::fromUtf8("Erro ao tentar acessar arquivos.\nInstale este software novamente."),
};
