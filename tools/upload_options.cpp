#include "tools/upload_options.h"

#include "core/edition.h"

namespace quillon::cli {

namespace {

ParsedArguments usage(const QString& problem) {
    ParsedArguments parsed;
    parsed.outcome = ParsedArguments::Outcome::Usage;
    parsed.text = problem;
    return parsed;
}

bool isPortNumber(const QString& text) {
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok && number >= 1 && number <= 32767;
}

} // namespace

QString usageText() {
    return QStringLiteral(
        "uso: quillon-upload [opções] ARQUIVO\n"
        "Envia um programa (.Epr) ao controlador com XMODEM-CRC, depois do comando de\n"
        "inicialização (pressione B1 e B2 no controlador quando pedido).\n"
        "\n"
        "  --port N          porta COMn, mapeada como na janela (QUILLON_PORTS, pasta ports)\n"
        "  --device CAMINHO  o dispositivo da porta em vez de um número COM\n"
        "  --settings S      configuração da transferência (padrão 9600,n,8,1)\n"
        "  --modem FONE      discar FONE por um modem Hayes antes\n"
        "  --extra AT        comandos AT adicionais para a discagem\n"
        "  --log ARQUIVO     grava a sessão na linha em ARQUIVO (acrescentada ao fim)\n"
        "  --quiet           sem progresso, só a linha final\n"
        "  --help, --version\n"
        "\n"
        "Saída: 0 enviado, 1 transferência falhou, 2 uso, 3 erro na porta, 4 erro no\n"
        "arquivo, 130 interrompido (SIGINT/SIGTERM).\n");
}

ParsedArguments parseArguments(const QStringList& arguments) {
    ParsedArguments parsed;
    UploadOptions& options = parsed.options;
    bool portGiven = false;
    bool settingsGiven = false;
    bool extraGiven = false;
    bool logGiven = false;
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        QString value;
        bool hasValue = false;
        // --name=value as well as --name value.
        if (argument.startsWith(QLatin1String("--")) && argument.contains(QLatin1Char('='))) {
            const qsizetype equals = argument.indexOf(QLatin1Char('='));
            value = argument.mid(equals + 1);
            argument = argument.left(equals);
            hasValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };
        const auto once = [&](bool& given) {
            const bool first = !given;
            given = true;
            return first;
        };
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            parsed.outcome = ParsedArguments::Outcome::Help;
            parsed.text = usageText();
            return parsed;
        }
        if (argument == QLatin1String("--version")) {
            parsed.outcome = ParsedArguments::Outcome::Version;
            parsed.text = QStringLiteral("quillon-upload %1\n").arg(versionText(fullEdition()));
            return parsed;
        }
        if (argument == QLatin1String("--quiet") || argument == QLatin1String("-q")) {
            options.quiet = true;
            continue;
        }
        if (argument == QLatin1String("--port") || argument == QLatin1String("--device") ||
            argument == QLatin1String("--settings") || argument == QLatin1String("--modem") ||
            argument == QLatin1String("--extra") || argument == QLatin1String("--log")) {
            if (!takeValue() || value.isEmpty())
                return usage(QStringLiteral("%1 precisa de um valor").arg(argument));
            if (argument == QLatin1String("--port") || argument == QLatin1String("--device")) {
                if (!once(portGiven))
                    return usage(QStringLiteral("informe a porta uma só vez (--port ou --device)"));
                if (argument == QLatin1String("--port")) {
                    if (!isPortNumber(value))
                        return usage(
                            QStringLiteral("--port: número de porta inválido: %1").arg(value));
                    options.portNumber = value;
                } else {
                    options.device = value;
                }
            } else if (argument == QLatin1String("--settings")) {
                if (!once(settingsGiven))
                    return usage(QStringLiteral("--settings repetido"));
                options.settings = value;
            } else if (argument == QLatin1String("--log")) {
                if (!once(logGiven))
                    return usage(QStringLiteral("--log repetido"));
                options.log = value;
            } else if (argument == QLatin1String("--modem")) {
                if (!options.phone.isEmpty())
                    return usage(QStringLiteral("--modem repetido"));
                options.phone = value;
            } else {
                if (!once(extraGiven))
                    return usage(QStringLiteral("--extra repetido"));
                options.extraAt = value;
            }
            continue;
        }
        if (hasValue || (argument.startsWith(QLatin1Char('-')) && argument.size() > 1))
            return usage(QStringLiteral("opção desconhecida: %1").arg(arguments[i]));
        files.append(argument);
    }
    if (files.isEmpty())
        return usage(QStringLiteral("falta o ARQUIVO do programa"));
    if (files.size() > 1)
        return usage(QStringLiteral("um ARQUIVO só, não %1").arg(files.size()));
    if (!portGiven)
        return usage(QStringLiteral("falta a porta: --port N ou --device CAMINHO"));
    if (extraGiven && options.phone.isEmpty())
        return usage(QStringLiteral("--extra só vale com --modem"));
    options.file = files.first();
    parsed.outcome = ParsedArguments::Outcome::Run;
    return parsed;
}

} // namespace quillon::cli
