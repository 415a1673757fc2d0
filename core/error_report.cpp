#include "core/error_report.h"

#include "platform/standard_error_texts.h"

#include <QHash>

namespace quillon {

namespace {

QString fileErrorText(int number) {
    static const QHash<int, QString> texts = {
        {53, QStringLiteral("Arquivo não encontrado.")},
        {61, QStringLiteral("Disco cheio.")},
        {64, QStringLiteral("Nome do arquivo errado.")},
        {68, QStringLiteral("Dispositivo não disponível.")},
        {70, QStringLiteral("Permissão negada.")},
        {71, QStringLiteral("Erro de leitura no disco.")},
        {74, QStringLiteral("O nome não pode ser renomeado\r\ncom drive diferente.")},
        {75, QStringLiteral("Caminho ou arquivo especificado inválido.")},
        {76, QStringLiteral("Caminho não encontrado.")},
    };
    return texts.value(number, standardErrorText(number));
}

QString portErrorText(int number) {
    static const QHash<int, QString> texts = {
        {8000, QStringLiteral("Operação não válida enquanto a porta estiver em uso")},
        {8001, QStringLiteral("Timeout value must be greater than zero")},
        {8002, QStringLiteral("Número da porta inválido")},
        {8003, QStringLiteral("Propriedade disponível somente em tempo de execução")},
        {8004, QStringLiteral("Propriedade é lida somente em tempo de execução")},
        {8005, QStringLiteral("Porta já esta em uso")},
        {8006, QStringLiteral("O dispositivo especificado não é válido\rou não está disponível.")},
        {8007, QStringLiteral("Baud rate não existe")},
        {8008, QStringLiteral("O tamanho do byte especificado não é válido")},
        {8009, QStringLiteral("The default parameters are in error")},
        {8010, QStringLiteral("A porta especificada não esta disponível\r(bloqueada por outro "
                              "programa).")},
        {8011, QStringLiteral("The function cannot allocate the queues")},
        {8012, QStringLiteral("O dispositivo não esta aberto")},
        {8013, QStringLiteral("O dispositivo já esta aberto")},
        {8014, QStringLiteral("Could not enable comm notification")},
        {8015, QStringLiteral("não foi possível acertar o estado da COM")},
        {8016, QStringLiteral("Could not set comm event mask")},
        {8018, QStringLiteral("Uma porta de comunicação válida deve ser selecionada")},
        {8019, QStringLiteral("Device busy")},
        {8020, QStringLiteral("Erro de leitura no dispositivo da COM")},
    };
    return texts.value(number, standardErrorText(number));
}

} // namespace

ErrorMessage describeError(int number) {
    if (number >= 8000 && number <= 8020) {
        // 8017 is the platform's own text and, unlike its neighbours, has no icon.
        const MessageIcon icon = number == 8017 ? MessageIcon::None : MessageIcon::Exclamation;
        return {kPortErrorTitle, portErrorText(number), icon};
    }
    if (number >= 48 && number <= 76)
        return {kFileErrorTitle, fileErrorText(number), MessageIcon::Exclamation};
    return {kOtherErrorTitle, standardErrorText(number), MessageIcon::None};
}

QString errorReasonText(int number) {
    QString text = describeError(number).text.simplified();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

void showLastError(Dialogs& dialogs, int lastErrorNumber) {
    if (lastErrorNumber == 0)
        return;
    const ErrorMessage message = describeError(lastErrorNumber);
    dialogs.message(message.title, message.text, message.icon, MessageButtons::Ok);
}

} // namespace quillon
