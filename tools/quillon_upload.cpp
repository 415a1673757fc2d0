// quillon-upload: the window's upload (start handshake, modem dial, XMODEM-CRC)
// from a shell, for production lines and service scripts.

#include "core/edition.h"
#include "core/error_report.h"
#include "core/serial_link.h"
#include "core/session.h"
#include "core/session_capture.h"
#include "core/text_file.h"
#include "platform/console_text.h"
#include "platform/port_map.h"
#include "platform/port_settings.h"
#include "platform/qt_serial_port.h"
#include "platform/settings_location.h"
#include "platform/signal_watch.h"
#include "tools/console_front.h"
#include "tools/upload_options.h"
#include "transfer/modem_link.h"
#include "transfer/program_file.h"
#include "transfer/upload.h"
#include "transfer/upload_capture.h"
#include "transfer/upload_journal.h"
#include "transfer/xmodem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace quillon;
using namespace quillon::cli;

namespace {

enum ExitCode {
    kSent = 0,
    kTransferFailed = 1,
    kUsage = 2,
    kPortFailed = 3,
    kFileFailed = 4,
    kInterrupted = 130,
};

const QString kPrefix = QStringLiteral("quillon-upload: ");
const QString kDialFailedTitle = QStringLiteral("Erro de Conexão com o Modem");

// The checks the upload makes once the controller has asked for the first
// block, made before anything goes on the line: nobody should press B1 and B2
// only to learn that the file is missing. The upload still makes them itself.
// Answers the error number, 0 when the file can be sent.
int checkProgramFile(const QString& path, Dialogs& dialogs, qint64& length) {
    const QFileInfo info(path);
    QFile file(path);
    int error = 0;
    if (!info.isFile()) {
        error = programFileErrorNumber(file, path);
    } else if (info.size() == 0) {
        dialogs.message(QStringLiteral("Quillon"), emptyProgramFileText(path),
                        MessageIcon::Exclamation, MessageButtons::Ok);
        return UploadFailure::EmptyProgramFile;
    } else if (!xmodem::blockCount(info.size())) {
        error = kBlockCountOverflow;
    } else if (!file.open(QIODevice::ReadOnly)) {
        error = programFileErrorNumber(file, path);
    }
    if (error != 0) {
        showLastError(dialogs, error);
        return error;
    }
    length = info.size();
    return 0;
}

int exitCodeFor(const UploadRecord& record, bool interrupted) {
    if (record.outcome == UploadRecord::Outcome::Sent)
        return kSent; // every block acknowledged: stopping after that changes nothing
    if (interrupted)
        return kInterrupted;
    if (record.outcome == UploadRecord::Outcome::Cancelled)
        return kTransferFailed;
    switch (failureKind(record.errorNumber)) {
    case FailureKind::File:
        return kFileFailed;
    case FailureKind::Port:
        // Once blocks went out, a port that fails is a line lost mid-transfer.
        return record.blocksTotal == 0 ? kPortFailed : kTransferFailed;
    case FailureKind::Transfer:
        break;
    }
    return kTransferFailed;
}

// Where QuillonV2 keeps its journal, as the window would write it.
QString journalPath() {
    const Edition& edition = fullEdition();
    const QString folder =
        companionProgramFolder(QCoreApplication::applicationDirPath(), edition.programName);
    return UploadJournal::besideSettings(settingsFilePath(folder, edition.programName));
}

QString outcomeLabel(int code) {
    switch (code) {
    case kSent:
        return QStringLiteral("PROGRAMA ENVIADO COM SUCESSO");
    case kPortFailed:
        return kPortErrorTitle;
    case kFileFailed:
        return kFileErrorTitle;
    case kInterrupted:
        return QStringLiteral("INTERROMPIDO");
    default:
        return QStringLiteral("CANCELADO");
    }
}

void sayOutcome(ConsoleOut& out, int code, const ConsoleView* view, qint64 length,
                const QElapsedTimer& clock, const QByteArray& sha256 = {}) {
    const int acknowledged = view ? view->blocksAcknowledged() : 0;
    const int total = view ? view->blocksTotal() : 0;
    const qint64 bytes = std::min<qint64>(qint64(acknowledged) * xmodem::kDataSize, length);
    out.line(kPrefix +
             QStringLiteral("%1: %2 de %3 blocos, %4 bytes, %5 s, %6 erros")
                 .arg(outcomeLabel(code))
                 .arg(acknowledged)
                 .arg(total)
                 .arg(bytes)
                 .arg(static_cast<double>(clock.elapsed()) / 1000.0, 0, 'f', 1)
                 .arg(view ? view->resends() : 0) +
             (sha256.isEmpty()
                  ? QString()
                  : QStringLiteral(", SHA-256 ") + QString::fromLatin1(sha256.toHex())));
}

int runUpload(const UploadOptions& options) {
    QElapsedTimer clock;
    clock.start();
    ConsoleOut out(stderr);
    ConsoleDialogs dialogs(out);
    const QString path = QFileInfo(options.file).absoluteFilePath();

    // With --device the port is COM1 of a map that holds only that device.
    const bool byDevice = !options.device.isEmpty();
    const PortMap map = byDevice ? PortMap::single(1, options.device) : PortMap();
    Session session(fullEdition(), QCoreApplication::applicationDirPath(), dialogs,
                    qtPortFactory(map));
    SettingsValues& settings = session.settings;
    settings.portNumber = byDevice ? QStringLiteral("1") : options.portNumber;
    settings.transferSettings = options.settings;
    settings.programFile = path;
    settings.useModem = options.phone.isEmpty() ? 0 : 1;
    settings.phoneNumber = options.phone;
    settings.extraAtCommands = options.extraAt;

    // The record of the line is the user's to read; failing to keep it changes nothing
    // in the upload, its outcome or its exit status.
    const QString writer = QStringLiteral("quillon-upload ") + versionText(fullEdition());
    SessionCapture capture(session.portTaps, writer);
    QObject::connect(&capture, &SessionCapture::writeFailed, &capture, [&](int error) {
        out.line(kPrefix + captureWriteFailedText(options.log, error));
    });
    if (!options.log.isEmpty()) {
        if (const int error = capture.start(options.log))
            out.line(kPrefix + captureOpenFailedText(options.log, error));
    }

    ConsoleSound sound(out, options.quiet);
    session.soundPlayer = &sound;
    const std::unique_ptr<SerialPort> port = session.portFactory();
    // The handshake listens before anything else has opened the port.
    port->setReceiveThreshold(1);
    SerialLink link(session, *port);
    ModemLink modem(session, *port);
    session.modemControl = &modem;
    ConsoleView view(out, options.quiet);
    Upload upload(session, link, view);
    // The console view paces its own output and needs every block for its
    // line per tenth.
    upload.progressEveryMs = 0;
    UploadJournal journal(journalPath(), writer);
    upload.addListener(journal);
    UploadCaptureNotes captureNotes(capture);
    upload.addListener(captureNotes);
    // The journal's trouble is said once, before the outcome, which stays the last line.
    const auto sayJournalFailure = [&] {
        if (const QString failure = journal.takeFailureReport(); !failure.isEmpty())
            out.line(kPrefix + failure);
    };

    if (const int error = parsePortSettings(options.settings).error) {
        showLastError(dialogs, error);
        upload.recordRefused(error);
        sayJournalFailure();
        sayOutcome(out, kPortFailed, nullptr, 0, clock);
        return kPortFailed;
    }
    qint64 length = 0;
    if (const int error = checkProgramFile(path, dialogs, length)) {
        upload.recordRefused(error);
        sayJournalFailure();
        sayOutcome(out, kFileFailed, nullptr, 0, clock);
        return kFileFailed;
    }
    QObject::connect(&link, &SerialLink::portLost, &link,
                     [&session](int number) { session.reportError(number); });

    bool interrupted = false;
    SignalWatch stopSignals;
    QString problem;
    if (!stopSignals.install(&problem))
        out.line(kPrefix + problem);
    QObject::connect(&stopSignals, &SignalWatch::caught, &stopSignals, [&](int) {
        if (interrupted) {
            // Asked twice: whatever the stop still had to do is given up.
            port->close();
            capture.stop();
            view.endProgress();
            sayOutcome(out, kInterrupted, &view, length, clock, upload.record().sha256);
            std::fflush(stderr);
            std::_Exit(kInterrupted);
        }
        interrupted = true;
        // What the window's CANCEL does; a dial under way is given up as by Esc.
        upload.cancel();
        modem.giveUp();
        if (!options.quiet)
            out.line(kPrefix + QStringLiteral("interrompendo..."));
    });
    dialogs.silenceTitle = [&interrupted](const QString& title) {
        // A dial given up on request is not a failed dial.
        return interrupted && title == kDialFailedTitle;
    };

    upload.run();
    view.endProgress();
    port->close();
    capture.stop();
    sayJournalFailure();
    const int code = exitCodeFor(upload.record(), interrupted);
    sayOutcome(out, code, &view, length, clock, upload.record().sha256);
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-upload"));
    QCoreApplication::setApplicationVersion(versionText(fullEdition()));
    // A script that stops reading our output is no reason to leave the
    // controller mid-transfer without EOT.
    outliveClosedOutput();
    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments().mid(1));
    switch (parsed.outcome) {
    case ParsedArguments::Outcome::Help:
    case ParsedArguments::Outcome::Version:
        writeConsoleText(stdout, parsed.text);
        return kSent;
    case ParsedArguments::Outcome::Usage:
        writeConsoleText(stderr, kPrefix + parsed.text + QLatin1Char('\n') +
                                     QStringLiteral("Use quillon-upload --help para ver as "
                                                    "opções.\n"));
        return kUsage;
    case ParsedArguments::Outcome::Run:
        break;
    }
    return runUpload(parsed.options);
}
