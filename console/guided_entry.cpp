#include "console/guided_entry.h"

#include "core/text_helpers.h"

namespace quillon {

namespace {

QString lines(std::initializer_list<QString> parts) {
    QString text;
    for (const QString& part : parts)
        text += part + kCrLf;
    return text;
}

QString zPrompt(double y) {
    QString prompt =
        lines({QStringLiteral("Entre com o comando Z (Entradas / Saídas)"), QString()});
    if (y == 0)
        prompt += lines(
            {QStringLiteral("0 = Entradas Analógicas"), QStringLiteral("1 = Entradas Digitais")});
    prompt += lines({QStringLiteral("2 = Variáveis de Ajuste (Parâmetros) "),
                     QStringLiteral("3 = Saídas Digitais (Relés)"),
                     QStringLiteral("4 = Saídas Analógicas")});
    return prompt;
}

QString tPrompt(double z, const QString& previous) {
    if (z == 0)
        return QStringLiteral("Entre com a entrada analógica (Sendores 1 a 8): ");
    if (z == 1)
        return QStringLiteral("Entre com a entrada digital (DIX,DIY,DIZ,DIT - 1 a 75):");
    if (z == 2)
        return QStringLiteral("Entre com a variável de ajuste (Parâmetro 1 a n):");
    if (z == 3)
        return QStringLiteral("Entre com a saída digital (Relés 1 a 36):");
    if (z == 4)
        return QStringLiteral("Entre com a saída analógica (SP 1 a 9):");
    return previous;
}

QString wPrompt(double z, const QString& tAnswer, const QString& previous) {
    if (z == 2)
        return QStringLiteral("Entre com um novo valor para o parâmetro ") + tAnswer +
               QStringLiteral(":");
    if (z == 3)
        return QStringLiteral("Entre com o estado do relé a ser ativado: ") + kCrLf +
               QStringLiteral("0 = Desliga Relé, 1 = Liga relé");
    if (z == 4)
        return QStringLiteral("Entre com um novo valor em % para a saída analógica (0 a 100%):");
    return previous;
}

} // namespace

std::optional<QString> enterYztwCommand(Dialogs& dialogs) {
    const QString yPrompt =
        lines({QStringLiteral("Entre com o comando Y"), QString(), QStringLiteral("0 = Leitura"),
               QStringLiteral("1 = Escrita"), QStringLiteral("2 = Ajuda"),
               QStringLiteral("3 = Transferência de Bloco")});
    const QString yAnswer =
        dialogs.inputBox(yPrompt, QStringLiteral("Comando Y"), QStringLiteral("0"));
    if (yAnswer.isEmpty())
        return std::nullopt;
    const double y = answerNumber(yAnswer);
    if (y == 2)
        return QStringLiteral("2,2,2,2");
    if (y == 3)
        return QStringLiteral("3,3,3,3");

    const QString zShown = zPrompt(y);
    const QString zAnswer =
        dialogs.inputBox(zShown, QStringLiteral("Comando Z"), QStringLiteral("2"));
    if (zAnswer.isEmpty())
        return std::nullopt;
    const double z = answerNumber(zAnswer);
    if (y == 1 && (z == 0 || z == 1)) {
        dialogs.message(QStringLiteral("Quillon"),
                        QStringLiteral("Nao é possível gravar um valor em uma entrada!"),
                        MessageIcon::Exclamation, MessageButtons::Ok);
        return std::nullopt;
    }
    const QString tShown = tPrompt(z, zShown);
    const QString tAnswer =
        dialogs.inputBox(tShown, QStringLiteral("Comando T"), QStringLiteral("1"));
    if (tAnswer.isEmpty())
        return std::nullopt;
    const double t = answerNumber(tAnswer);
    const QString head = numberText(y) + QLatin1Char(',') + numberText(z) + QLatin1Char(',') +
                         numberText(t) + QLatin1Char(',');
    if (y == 0)
        return head + QStringLiteral("0");
    const QString wAnswer = dialogs.inputBox(wPrompt(z, tAnswer, tShown),
                                             QStringLiteral("Comando W"), QStringLiteral("0"));
    if (wAnswer.isEmpty())
        return std::nullopt;
    return head + numberText(answerNumber(wAnswer));
}

} // namespace quillon
