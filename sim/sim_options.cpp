#include "sim/sim_options.h"

#include "sim/role_factory.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace quillon::sim {

namespace {

constexpr int MaxCom = 256;

// Where the main program looks when not told otherwise, so that an installed simulator
// and program, side by side, meet without options.
QString defaultPortsDir() {
    const QString fromEnv = qEnvironmentVariable("QUILLON_PORTS");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ports");
}

} // namespace

ParsedOptions parseSimOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stands in for a PXC controller on a pseudo-terminal linked as DIR/COMn."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption portsOption(
        QStringLiteral("ports"),
        QStringLiteral("Folder for the port link, created if missing. Default: $QUILLON_PORTS, "
                       "else \"ports\" beside this program."),
        QStringLiteral("dir"), defaultPortsDir());
    const QCommandLineOption comOption(QStringLiteral("com"),
                                       QStringLiteral("Port number n: the link is named COMn."),
                                       QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption logOption(
        QStringLiteral("log"), QStringLiteral("Log every byte on the line, with times, to file."),
        QStringLiteral("file"));
    const QCommandLineOption roleOption(
        QStringLiteral("role"),
        QStringLiteral("What answers on the line: %1.").arg(roleNames().join(QStringLiteral(", "))),
        QStringLiteral("name"), QStringLiteral("terminal"));
    parser.addOptions({portsOption, comOption, logOption, roleOption});

    ParsedOptions result;
    auto error = [&](const QString& text) {
        result.outcome = ParsedOptions::Outcome::Error;
        result.text = text;
        return result;
    };
    if (!parser.parse(arguments))
        return error(parser.errorText());
    if (parser.isSet(helpOption)) {
        result.outcome = ParsedOptions::Outcome::ShowHelp;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.outcome = ParsedOptions::Outcome::ShowVersion;
        result.text = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion());
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return error(QStringLiteral("unexpected argument: %1")
                         .arg(parser.positionalArguments().constFirst()));

    bool ok = false;
    const int com = parser.value(comOption).toInt(&ok);
    if (!ok || com < 1 || com > MaxCom)
        return error(QStringLiteral("--com needs a number from 1 to %1, not \"%2\"")
                         .arg(MaxCom)
                         .arg(parser.value(comOption)));
    const QString role = parser.value(roleOption);
    if (!roleNames().contains(role))
        return error(QStringLiteral("unknown role \"%1\"; known roles: %2")
                         .arg(role, roleNames().join(QStringLiteral(", "))));
    if (parser.value(portsOption).isEmpty())
        return error(QStringLiteral("--ports needs a folder"));
    if (parser.isSet(logOption) && parser.value(logOption).isEmpty())
        return error(QStringLiteral("--log needs a file name"));

    result.outcome = ParsedOptions::Outcome::Run;
    result.options = {parser.value(portsOption), com, parser.value(logOption), role};
    return result;
}

} // namespace quillon::sim
