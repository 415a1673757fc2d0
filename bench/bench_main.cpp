#include "bench/bench_support.h"

#include <QApplication>

#include <cstdio>

namespace {

void printUsage() {
    std::fputs("usage: quillon-bench [--quick] [--report] [--noisy N] [--paced-only]\n"
               "  --quick    smaller sizes and shorter waits; exits 1 only when a figure is "
               "far off\n"
               "  --report   print the figures and exit 0 whatever they are\n"
               "  --noisy N  also N uploads through a noisy line at each of three error rates\n"
               "  --noisy-only  only those\n"
               "  --upload-only  only the main window's upload against lrzsz, with the\n"
               "             accessibility bridge off and on (under an X display and D-Bus)\n"
               "  --upload-bytes N  the size of the uploaded program\n"
               "  --paced-only  only the uploads through the simulator's line that runs at\n"
               "             its speed, at 115200 and 9600, against lrzsz's sx\n"
               "  --terminal-only  only the terminal's receive, plain and with the session\n"
               "             recorded\n",
               stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    // Runs on build machines without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (quillon::bench::runNoisyShardIfAsked())
        return 0;

    quillon::bench::Options options;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--quick")) {
            options.quick = true;
        } else if (argument == QLatin1String("--report")) {
            options.reportOnly = true;
        } else if (argument == QLatin1String("--noisy") && i + 1 < arguments.size()) {
            options.noisyRuns = arguments[++i].toInt();
        } else if (argument == QLatin1String("--upload-only")) {
            options.uploadOnly = true;
        } else if (argument == QLatin1String("--upload-bytes") && i + 1 < arguments.size()) {
            options.uploadBytes = arguments[++i].toLongLong();
        } else if (argument == QLatin1String("--window-upload-child")) {
            options.windowUploadChild = true;
        } else if (argument == QLatin1String("--noisy-only")) {
            options.noisyOnly = true;
        } else if (argument == QLatin1String("--paced-only")) {
            options.pacedOnly = true;
        } else if (argument == QLatin1String("--terminal-only")) {
            options.terminalOnly = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            printUsage();
            return 0;
        } else {
            std::fprintf(stderr, "quillon-bench: unknown argument %s\n", qPrintable(argument));
            printUsage();
            return 2;
        }
    }
    if (options.windowUploadChild) {
        quillon::bench::Findings findings;
        quillon::bench::measureWindowUpload(options, findings);
        return 0;
    }
    if (options.quick) {
        options.pushBytes = 200 * 1024;
        options.idleMs = 500;
        options.uploadBytes = 16 * 1024;
        options.silentHandshakeMs = 2000;
    }

    quillon::bench::Findings findings;
    findings.say(QStringLiteral("quillon-bench (%1, QPA %2)")
                     .arg(options.quick ? QStringLiteral("quick") : QStringLiteral("full"),
                          QApplication::platformName()));
    if (options.uploadOnly) {
        quillon::bench::measureAccessibleUpload(options, findings);
    } else if (options.pacedOnly) {
        quillon::bench::measurePacedUpload(options, findings);
    } else if (options.terminalOnly) {
        quillon::bench::measureTerminalReceive(options, findings);
    } else if (!options.noisyOnly) {
        quillon::bench::measureStartup(options, findings);
        quillon::bench::measureTerminalReceive(options, findings);
        const quillon::bench::CpuShare idleReference =
            quillon::bench::measureWaitingCpu(options, findings);
        quillon::bench::measureUpload(options, idleReference, findings);
        quillon::bench::measureCliUpload(options, findings);
        quillon::bench::measurePacedUpload(options, findings);
        quillon::bench::measureModbus(options, idleReference, findings);
        if (!options.quick)
            quillon::bench::measureAccessibleUpload(options, findings);
    }
    quillon::bench::measureNoisyUploads(options, findings);

    if (findings.badlyOff.isEmpty() || options.reportOnly)
        return 0;
    std::fprintf(stderr, "quillon-bench: %lld figure(s) badly off\n",
                 static_cast<long long>(findings.badlyOff.size()));
    return 1;
}
