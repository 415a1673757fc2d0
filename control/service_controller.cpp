#include "control/service_controller.h"

#include "console/station_console.h"
#include "core/session_capture.h"
#include "platform/paths.h"
#include "transfer/modem_link.h"
#include "transfer/upload.h"
#include "transfer/upload_capture.h"
#include "transfer/upload_journal.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <utility>

namespace quillon {

ServiceController::ServiceController(Session& session, UploadView& view, QObject* parent)
    : QObject(parent), session_(session), port_(session.portFactory()) {
    // The handshake and the upload listen on the port before the terminal has
    // ever opened it, so it reports every arrival from the start.
    port_->setReceiveThreshold(1);
    link_ = std::make_unique<SerialLink>(session_, *port_);
    modemLink_ = std::make_unique<ModemLink>(session_, *port_);
    if (session_.edition.hasModem && !session_.modemControl)
        session_.modemControl = modemLink_.get();
    upload_ = std::make_unique<Upload>(session_, *link_, view);
    console_ = std::make_unique<StationConsole>(session_, *link_);
    // What the journal and the session record name as their writer.
    const QString writer = session_.edition.programName + u' ' + versionText(session_.edition);
    if (session_.edition.keepsUploadJournal) {
        journal_ = std::make_unique<UploadJournal>(
            UploadJournal::besideSettings(session_.settingsPath()), writer);
        upload_->addListener(*journal_);
    }
    connect(link_.get(), &SerialLink::portLost, this,
            [this](int errorNumber) { session_.reportError(errorNumber); });
    capture_ = std::make_unique<SessionCapture>(session_.portTaps, writer);
    uploadNotes_ = std::make_unique<UploadCaptureNotes>(*capture_);
    upload_->addListener(*uploadNotes_);
    connect(capture_.get(), &SessionCapture::writeFailed, this, [this](int errorNumber) {
        captureFailure_ = errorNumber;
        Q_EMIT captureFailed();
        // The failure comes inside a port call (a handshake's write, a console step): the
        // box waits until that has returned, and an upload until its own outcome.
        QMetaObject::invokeMethod(this, &ServiceController::reportCaptureFailure,
                                  Qt::QueuedConnection);
    });
}

ServiceController::~ServiceController() {
    capture_->disconnect(this);
    upload_->removeListener(*uploadNotes_);
    if (session_.modemControl == modemLink_.get())
        session_.modemControl = nullptr;
}

void ServiceController::setTerminalSink(std::function<void(const QByteArray&)> sink) {
    link_->setTerminalSink(std::move(sink));
}

ServiceController::LoadedSettings ServiceController::loadSettings(const QString& typedPortNumber) {
    LoadedSettings result;
    const Edition& edition = session_.edition;
    const auto loaded =
        loadSettingsFile(session_.settingsPath(), edition.settingsLines, session_.defaultFolder());
    SettingsValues values = loaded ? loaded->values : defaultSettings(session_.defaultFolder());
    if (loaded && !edition.choosesPortFromList)
        result.portLine = loaded->portLine;
    values.portNumber = result.portLine.value_or(typedPortNumber);
    session_.settings = values;
    if (!loaded)
        return result; // first start: no probe, an empty port list
    session_.lastErrorNumber = loaded->readError;
    if (!edition.probesPorts)
        return result;
    // The port number the list will give the port box, held from now on: an end
    // request during the probe saves the file's port, not the box's first "1".
    const QString savedNumber = buildPortListing({}, loaded->savedPort).portNumberText;
    if (!savedNumber.isEmpty())
        session_.settings.portNumber = savedNumber;
    PortProbe probe(session_.portFactory);
    probe_ = &probe;
    result.portStatus = probe.run(5000);
    probe_ = nullptr;
    if (!session_.mainWindow.alive())
        return result;
    result.listing = buildPortListing(result.portStatus, loaded->savedPort);
    return result;
}

void ServiceController::unload() {
    if (!session_.mainWindow.end())
        return;
    if (probe_)
        probe_->stop();
    closePort();
    stopCapture();
    // A failed save is remembered, not shown: the program is ending.
    session_.lastErrorNumber = saveSettingsFile(session_.settingsPath(), session_.settings,
                                                session_.edition.settingsLines);
}

ServiceController::TerminalStart ServiceController::startTerminal(int& error) {
    error = link_->openTerminalPort();
    if (error)
        return TerminalStart::Failed;
    if (session_.dialsByModem() && dialer_) {
        session_.modem.modemResult = dialer_();
        if (session_.modem.modemResult == ModemLink::kDialGaveUp)
            return TerminalStart::DialGaveUp;
    }
    return TerminalStart::Opened;
}

int ServiceController::openTerminalPort() {
    return link_->openTerminalPort();
}

void ServiceController::enterTerminalMode(bool on) {
    if (!on)
        closePort();
    session_.link.terminalMode = on;
}

int ServiceController::reopenWithTerminalSettings(const QString& settings) {
    // The port keeps the number it was opened with; only the settings change.
    session_.applySettings({.terminalSettings = settings});
    port_->setSendThreshold(1);
    return reopenPortAt(*port_, settings);
}

void ServiceController::closePort() {
    if (port_->isOpen())
        port_->close();
}

void ServiceController::releasePort() {
    port_->close();
}

void ServiceController::reclaimPort() {
    // Failures are skipped: a port another program took meanwhile simply stays
    // closed until the user opens it again.
    port_->open();
}

void ServiceController::sendKey(char code) {
    if (const int error = link_->sendKey(code))
        session_.reportError(error);
}

void ServiceController::sendProgram() {
    if (session_.link.terminalMode)
        return;
    upload_->run();
    reportCaptureFailure();
    // After the upload's own outcome, boxes and sounds: a journal that could not be
    // written is worth a word, not a wait in the middle of an upload.
    if (journal_) {
        const QString failure = journal_->takeFailureReport();
        if (!failure.isEmpty())
            session_.dialogs.message(QStringLiteral("Quillon"), failure, MessageIcon::Exclamation,
                                     MessageButtons::Ok);
    }
}

void ServiceController::cancelTransfer() {
    upload_->cancel();
}

bool ServiceController::uploadOnStack() const {
    return session_.transfer.transferBusy || session_.transfer.uploadRunning;
}

bool ServiceController::capturing() const {
    return capture_->running();
}

void ServiceController::stopCapture() {
    capture_->stop();
}

void ServiceController::reportCaptureFailure() {
    if (!captureFailure_ || uploadOnStack())
        return;
    const int errorNumber = *std::exchange(captureFailure_, std::nullopt);
    session_.dialogs.message(QStringLiteral("Quillon"),
                             captureWriteFailedText(capture_->fileName(), errorNumber),
                             MessageIcon::Exclamation, MessageButtons::Ok);
}

void ServiceController::switchCapture() {
    if (capture_->running()) {
        capture_->stop();
        return;
    }
    const QString path = captureFileFromUser();
    if (path.isEmpty())
        return;
    if (const int error = capture_->start(path))
        session_.dialogs.message(QStringLiteral("Quillon"), captureOpenFailedText(path, error),
                                 MessageIcon::Exclamation, MessageButtons::Ok);
}

QString ServiceController::captureFileFromUser() {
    const QString directory = localPath(session_.settings.workingDirectory);
    FileDialogRequest request;
    request.save = true;
    request.directory = directory;
    request.initialName =
        QDateTime::currentDateTime().toString(QStringLiteral("'sessao-'yyyyMMdd-HHmmss'.txt'"));
    request.filter = QStringLiteral("*.txt|*.txt|*.*|*.*");
    request.defaultExt = QStringLiteral("txt");
    // No question about replacing an existing file: the record is added to its end.
    const FileDialogResult chosen = session_.dialogs.fileDialog(request);
    if (chosen.cancelled || chosen.fileName.isEmpty())
        return {};
    const QString path = localPath(chosen.fileName);
    return QFileInfo(path).isRelative() ? QDir(directory).filePath(path) : path;
}

} // namespace quillon
