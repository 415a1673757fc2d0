#include "sim/sim_options.h"

#include "sim/role_factory.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <optional>

namespace quillon::sim {

namespace {

constexpr int MaxCom = 256;
constexpr int MaxCount = 1'000'000;
const QString SaveName = QStringLiteral("received.Epr");

// Where the main program looks when not told otherwise, so that an installed simulator
// and program, side by side, meet without options.
QString defaultPortsDir() {
    const QString fromEnv = qEnvironmentVariable("QUILLON_PORTS");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ports");
}

// Beside the log, where whoever asked for one is already looking.
QString defaultSavePath(const QString& logPath) {
    const QString dir = logPath.isEmpty() ? QDir::tempPath() : QFileInfo(logPath).absolutePath();
    return QDir(dir).filePath(SaveName);
}

QString roleHelp() {
    return QStringLiteral("What answers on the line: \"controller\" answers typed lines and "
                          "station commands and loads programs, \"terminal\" only answers lines, "
                          "\"loader\" only "
                          "loads programs, \"relay\" passes everything both ways to a second "
                          "pseudo-terminal (named on the second line printed) for a program "
                          "of your own to answer on. Default: %1.")
        .arg(defaultRoleName());
}

const QString LineHelp = QStringLiteral(
    "\nPaced (the default), the line runs at the speed and stop bits the program sets on\n"
    "its end, one character after the other (1 start bit, 8 data bits, the stop bits):\n"
    "the pseudo-terminal keeps no data bits or parity of the program's, so they are\n"
    "taken as 8 and none. A change of speed while a character is on the wire sends the\n"
    "rest of it at the new speed. The controller listens and answers at its own\n"
    "settings: characters at another speed, or caught by a change, reach it as what a\n"
    "UART would make of them (junk), and the program reads its answers likewise.\n"
    "Behind --modem, the modem takes commands at any speed, and a dial locks the line\n"
    "to the speed of its command. The wire log adds \"set\" lines for the program's\n"
    "changes and \"noise\" lines for the junk the controller heard.\n");

QString knownDialResults() {
    QStringList results;
    for (const QByteArray& result : ModemSettings::dialResults())
        results << QLatin1Char('"') + QString::fromLatin1(result) + QLatin1Char('"');
    results << QStringLiteral("\"silence\"");
    return results.join(QStringLiteral(", "));
}

QString dialResultHelp() {
    return QStringLiteral("Modem: what the far end does with a call: %1 (\"silence\": no answer "
                          "ever). Default: \"%2\".")
        .arg(knownDialResults(), QString::fromLatin1(ModemSettings().dialResult));
}

// The dial result as the modem says it: empty for silence, nothing for an unknown one.
std::optional<QByteArray> dialResultOf(const QString& text) {
    if (text.compare(QLatin1String("silence"), Qt::CaseInsensitive) == 0)
        return QByteArray();
    for (const QByteArray& result : ModemSettings::dialResults())
        if (text.compare(QLatin1String(result), Qt::CaseInsensitive) == 0)
            return result;
    return std::nullopt;
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
    const QCommandLineOption roleOption(QStringLiteral("role"), roleHelp(), QStringLiteral("name"),
                                        defaultRoleName());
    const QCommandLineOption b1b2Option(
        QStringLiteral("b1b2-after"),
        QStringLiteral("Loader: the technician presses keys B1 and B2 after n \"1\" commands of "
                       "a start sequence (\"4\", then \"1\" repeated); the loader then calls "
                       "for the program with \"C\" every second for up to 60 s. Default: 2."),
        QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption saveOption(
        QStringLiteral("save"),
        QStringLiteral("Loader: write each received program to file, replacing it, and report "
                       "it on standard error. Default: %1 beside the --log file, else in %2.")
            .arg(SaveName, QDir::toNativeSeparators(QDir::tempPath())),
        QStringLiteral("file"));
    const QCommandLineOption nakEveryOption(
        QStringLiteral("nak-every"),
        QStringLiteral("Loader fault: refuse (NAK) every k-th block the first time it comes."),
        QStringLiteral("k"));
    const QCommandLineOption silentAfterOption(
        QStringLiteral("silent-after"),
        QStringLiteral("Loader fault: answer nothing from block k on."), QStringLiteral("k"));
    const QCommandLineOption cancelAtOption(
        QStringLiteral("cancel-at"),
        QStringLiteral("Loader fault: cancel (CAN CAN CAN) when block k comes, then go idle."),
        QStringLiteral("k"));
    const QCommandLineOption nakAllOption(QStringLiteral("nak-all"),
                                          QStringLiteral("Loader fault: refuse every block."));
    const QCommandLineOption nakFirstEotOption(
        QStringLiteral("nak-first-eot"),
        QStringLiteral("Loader habit: refuse (NAK) the first EOT, take the next."));
    const QCommandLineOption ackNakOption(
        QStringLiteral("ack-nak"),
        QStringLiteral("Loader habit: answer each block taken with ACK and NAK in one write."));
    const ConsoleSettings consoleDefaults;
    const QCommandLineOption stationOption(
        QStringLiteral("station"),
        QStringLiteral("Console: the station this controller answers as. Default: %1.")
            .arg(QString::fromLatin1(consoleDefaults.station)),
        QStringLiteral("text"), QString::fromLatin1(consoleDefaults.station));
    const QCommandLineOption identifierOption(
        QStringLiteral("identifier"),
        QStringLiteral("Console: the identifier this controller answers to. Default: %1.")
            .arg(QString::fromLatin1(consoleDefaults.identifier)),
        QStringLiteral("text"), QString::fromLatin1(consoleDefaults.identifier));
    const QCommandLineOption slaveOption(
        QStringLiteral("slave"),
        QStringLiteral("MODBUS: the RTU slave address this controller answers (03, 04, 06) "
                       "from 1 to 247. Default: 1."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QList<QCommandLineOption> consoleOptions = {stationOption, identifierOption, slaveOption};
    const ControllerLine lineDefaults;
    const QCommandLineOption consoleLineOption(
        QStringLiteral("console-settings"),
        QStringLiteral("The settings (speed,parity n/e/o,data bits 7/8,stop bits 1/1.5/2) the "
                       "controller listens and answers at while its console, terminal and "
                       "MODBUS slave wait. Default: %1.")
            .arg(lineDefaults.console.text()),
        QStringLiteral("settings"), lineDefaults.console.text());
    const QCommandLineOption transferLineOption(
        QStringLiteral("transfer-settings"),
        QStringLiteral("Loader: the settings it listens and answers at from the \"4\" (heard "
                       "at the console settings) to the end of the transfer. Default: %1.")
            .arg(lineDefaults.transfer.text()),
        QStringLiteral("settings"), lineDefaults.transfer.text());
    const QCommandLineOption noPacingOption(
        QStringLiteral("no-pacing"),
        QStringLiteral("Let bytes cross at once and every setting be heard, as if the line "
                       "had no speed."));
    const QList<QCommandLineOption> loaderOptions = {
        b1b2Option,   saveOption,        nakEveryOption, silentAfterOption, cancelAtOption,
        nakAllOption, nakFirstEotOption, ackNakOption,   transferLineOption};
    const ModemSettings modemDefaults;
    const QCommandLineOption modemOption(
        QStringLiteral("modem"),
        QStringLiteral("Put a Hayes-style modem in front of the role: AT commands are answered "
                       "with OK (other lines with ERROR), and the role is reached by dialing "
                       "(ATD...). Online, \"+++\" between guard times returns to commands; "
                       "ATO goes back online, ATH hangs up."));
    const QCommandLineOption modemEchoOption(
        QStringLiteral("modem-echo"),
        QStringLiteral("Modem: echo command characters (ATE1 and ATE0 switch it too)."));
    const QCommandLineOption dialDelayOption(
        QStringLiteral("dial-delay"),
        QStringLiteral("Modem: milliseconds from a dial to its result. Default: %1.")
            .arg(modemDefaults.dialDelayMs),
        QStringLiteral("ms"), QString::number(modemDefaults.dialDelayMs));
    const QCommandLineOption dialResultOption(QStringLiteral("dial-result"), dialResultHelp(),
                                              QStringLiteral("text"),
                                              QString::fromLatin1(modemDefaults.dialResult));
    const QCommandLineOption guardOption(
        QStringLiteral("guard-ms"),
        QStringLiteral("Modem: escape guard time: \"+++\" escapes after nine tenths of it of "
                       "silence, with the \"+\" at most this far apart, and this much silence "
                       "after. Default: %1.")
            .arg(modemDefaults.guardMs),
        QStringLiteral("ms"), QString::number(modemDefaults.guardMs));
    const QList<QCommandLineOption> modemOptions = {modemEchoOption, dialDelayOption,
                                                    dialResultOption, guardOption};
    parser.addOptions(
        {portsOption, comOption, logOption, roleOption, noPacingOption, consoleLineOption});
    parser.addOptions(consoleOptions);
    parser.addOptions(loaderOptions);
    parser.addOption(modemOption);
    parser.addOptions(modemOptions);

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
        result.text = parser.helpText() +
                      QStringLiteral("\nLoader blocks count from 1 over the whole transfer. Faults "
                                     "combine;\na fault given as 0 is off.\n"
                                     "\nWith --modem, any character while a dial is under way "
                                     "aborts it with NO CARRIER,\nand the modem reports dials, "
                                     "results, escapes and hang-ups on standard error.\nBehind "
                                     "the modem the loader starts on \"1\" commands alone: the "
                                     "program sends\nits \"4\" to the modem before it dials.\n") +
                      LineHelp;
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

    // The value of a numeric option if it lies in [least, MaxCount].
    auto count = [&](const QCommandLineOption& option, int least) -> std::optional<int> {
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        if (ok && value >= least && value <= MaxCount)
            return value;
        return std::nullopt;
    };
    auto badCount = [&](const QCommandLineOption& option, int least) {
        return error(QStringLiteral("--%1 needs a number from %2 to %3, not \"%4\"")
                         .arg(option.names().constFirst())
                         .arg(least)
                         .arg(MaxCount)
                         .arg(parser.value(option)));
    };

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
    if (!roleHasLoader(role)) {
        for (const QCommandLineOption& option : loaderOptions)
            if (parser.isSet(option))
                return error(QStringLiteral("--%1 is for a role with a loader, not \"%2\"")
                                 .arg(option.names().constFirst(), role));
    }

    if (!roleHasConsole(role)) {
        for (const QCommandLineOption& option : consoleOptions)
            if (parser.isSet(option))
                return error(QStringLiteral("--%1 is for the controller role, not \"%2\"")
                                 .arg(option.names().constFirst(), role));
    }
    if (!roleListens(role) && parser.isSet(consoleLineOption))
        return error(QStringLiteral("--%1 is for a role that listens, not \"%2\"")
                         .arg(consoleLineOption.names().constFirst(), role));
    ControllerLine line;
    for (const auto& [option, field] : {std::pair{&consoleLineOption, &line.console},
                                        std::pair{&transferLineOption, &line.transfer}}) {
        const std::optional<LineSetting> setting = LineSetting::parse(parser.value(*option));
        if (!setting)
            return error(QStringLiteral("--%1 needs settings such as 9600,n,8,1 (speed, parity "
                                        "n, e or o, data bits 7 or 8, stop bits 1, 1.5 or 2), "
                                        "not \"%2\"")
                             .arg(option->names().constFirst(), parser.value(*option)));
        *field = *setting;
    }
    const std::optional<int> slave = count(slaveOption, 1);
    if (!slave || *slave > 247)
        return error(QStringLiteral("--slave needs a number from 1 to 247, not \"%1\"")
                         .arg(parser.value(slaveOption)));
    const int modbusAddress = *slave;
    ConsoleSettings console;
    console.station = parser.value(stationOption).toLatin1();
    console.identifier = parser.value(identifierOption).toLatin1();
    if (console.identifier.isEmpty() || console.identifier.contains('\r') ||
        console.station.contains('\r'))
        return error(QStringLiteral("--identifier needs a text, and neither may hold a CR"));

    LoaderSettings loader;
    loader.line = line;
    const std::optional<int> b1b2After = count(b1b2Option, 1);
    if (!b1b2After)
        return badCount(b1b2Option, 1);
    loader.b1b2After = *b1b2After;
    for (const auto& [option, field] : {std::pair{&nakEveryOption, &loader.faults.nakEvery},
                                        std::pair{&silentAfterOption, &loader.faults.silentAfter},
                                        std::pair{&cancelAtOption, &loader.faults.cancelAt}}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<int> value = count(*option, 0);
        if (!value)
            return badCount(*option, 0);
        *field = *value;
    }
    loader.faults.nakAll = parser.isSet(nakAllOption);
    loader.faults.nakFirstEot = parser.isSet(nakFirstEotOption);
    loader.faults.ackWithNak = parser.isSet(ackNakOption);
    loader.startsOnCommands = parser.isSet(modemOption);
    if (parser.isSet(saveOption) && parser.value(saveOption).isEmpty())
        return error(QStringLiteral("--save needs a file name"));
    // Checked now rather than after a whole transfer. A log whose folder is missing is
    // reported when it is opened, which comes first.
    if (parser.isSet(saveOption) &&
        !QFileInfo(QFileInfo(parser.value(saveOption)).absolutePath()).isDir())
        return error(
            QStringLiteral("no folder for the --save file %1").arg(parser.value(saveOption)));
    ModemSettings modem;
    modem.enabled = parser.isSet(modemOption);
    if (!modem.enabled) {
        for (const QCommandLineOption& option : modemOptions)
            if (parser.isSet(option))
                return error(
                    QStringLiteral("--%1 is for --modem").arg(option.names().constFirst()));
    }
    modem.echo = parser.isSet(modemEchoOption);
    const std::optional<int> dialDelay = count(dialDelayOption, 0);
    if (!dialDelay)
        return badCount(dialDelayOption, 0);
    modem.dialDelayMs = *dialDelay;
    const std::optional<int> guard = count(guardOption, 1);
    if (!guard)
        return badCount(guardOption, 1);
    modem.guardMs = *guard;
    const std::optional<QByteArray> dialResult = dialResultOf(parser.value(dialResultOption));
    if (!dialResult)
        return error(QStringLiteral("unknown --dial-result \"%1\"; known results: %2")
                         .arg(parser.value(dialResultOption), knownDialResults()));
    modem.dialResult = *dialResult;

    loader.savePath = QFileInfo(parser.isSet(saveOption) ? parser.value(saveOption)
                                                         : defaultSavePath(parser.value(logOption)))
                          .absoluteFilePath();

    result.outcome = ParsedOptions::Outcome::Run;
    result.options = {parser.value(portsOption),
                      com,
                      parser.value(logOption),
                      role,
                      loader,
                      modem,
                      console,
                      modbusAddress,
                      !parser.isSet(noPacingOption)};
    return result;
}

} // namespace quillon::sim
