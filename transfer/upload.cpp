#include "transfer/upload.h"

#include "core/serial_link.h"
#include "core/text_file.h"
#include "core/text_helpers.h"
#include "platform/paths.h"
#include "platform/port_settings.h"
#include "transfer/program_file.h"
#include "transfer/sounds.h"
#include "transfer/xmodem.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace quillon {

Upload::Upload(Session& session, SerialLink& link, UploadView& view)
    : session_(session), port_(link.port()), view_(view), handshake_(session, link, view) {
    listening_ = QObject::connect(&link, &SerialLink::received, [this](const QByteArray& chunk) {
        // After the cancel key nothing is waited for; an answer then belongs to nobody.
        if (session_.transfer.transferStop)
            return;
        replies_.take(chunk, XmodemReplies::Clock::now());
        // Answered where it arrives: the receiver's next block, or its resend, goes out
        // without waiting for the wait loop to wake.
        if (inFlight_)
            takeReplies();
    });
    // Connected before anyone who reports the loss, so that the run already
    // knows while the report is on screen.
    watchingDevice_ = QObject::connect(&link, &SerialLink::portLost, [this] {
        if (session_.transfer.uploadRunning)
            session_.transfer.portLost = true;
    });
}

Upload::~Upload() {
    QObject::disconnect(listening_);
    QObject::disconnect(watchingDevice_);
}

bool Upload::gaveUp() {
    session_.transfer.transferStop = true;
    session_.transfer.transferFailed = true;
    return true;
}

int Upload::writeFresh(const QByteArray& bytes) {
    // Whatever came before this write answers an earlier one.
    replies_.clear();
    const int error = port_.write(bytes);
    if (error != 0)
        writeError_ = error;
    return error;
}

int Upload::resendSettleMs() const {
    // Time for one block to cross the line at the transfer speed, and a margin.
    const ParsedPortSettings parsed = parsePortSettings(session_.settings.transferSettings);
    const qint64 baud = parsed.error == 0 ? parsed.settings.baudRate : 9600;
    return static_cast<int>(xmodem::kBlockSize * 10 * 1000 / qMax<qint64>(baud, 1)) + 50;
}

bool Upload::settleAfterResend() {
    // After a resend the receiver may hold both copies and answer each; the answer to
    // the second copy must not be taken for the next block. What arrives while the
    // second copy can still be crossing the line is dropped, unless it is the
    // receiver giving up.
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(resendSettleMs());
    for (;;) {
        if (replies_.holdsCancelPair())
            return gaveUp();
        if (session_.transfer.transferStop || session_.transfer.portLost)
            break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0)
            break;
        session_.waiter.sleepUpTo(static_cast<int>(left.count()) + 1);
    }
    replies_.clear();
    return false;
}

void Upload::takeReplies() {
    BlockInFlight& flight = *inFlight_;
    const auto limit = std::chrono::milliseconds(blockLimitMs);
    while (flight.state == BlockInFlight::State::Waiting && !replies_.isEmpty()) {
        const TransferReply reply = replies_.takeFirst();
        if (reply.at - flight.firstWrite > limit) {
            flight.state = BlockInFlight::State::GaveUp;
            return;
        }
        // The receiver answers a block once it has all of it.
        if (reply.byte == xmodem::kAck || reply.byte == xmodem::kNak)
            port_.deliveryConfirmed();
        if (reply.byte == xmodem::kCan) {
            // Two in a row is a receiver giving up; one alone is line noise.
            if (flight.cancelBefore) {
                flight.state = BlockInFlight::State::GaveUp;
                return;
            }
            flight.cancelBefore = true;
            continue;
        }
        flight.cancelBefore = false;
        if (reply.byte == xmodem::kAck) {
            replies_.clear();
            flight.state = BlockInFlight::State::Delivered;
            // The receiver waits for the next block from the moment it answers; it goes
            // out now, not a turn of the event loop later. After a resend the answer to
            // the second copy has to be let by first.
            if (flight.errors == 0 && !nextBlock_.isEmpty()) {
                // Where it can, the port wrote it from the very read that brought the ACK.
                if (const std::optional<SerialPort::ArmedWrite> armed =
                        port_.withdrawArmedWrite()) {
                    if (armed->error != 0)
                        writeError_ = armed->error;
                    nextWrite_ = {armed->error, armed->at};
                } else {
                    nextWrite_ = {writeFresh(nextBlock_), Clock::now()};
                }
                nextBlock_.clear();
            }
            return;
        }
        if (reply.byte == xmodem::kNak) {
            dropNextBlock();
            if (writeFresh(flight.block) != 0) {
                flight.state = BlockInFlight::State::GaveUp;
                return;
            }
            ++flight.errors;
            ++record_.resends;
            view_.setLabErros(QString::number(flight.errors));
            if (flight.errors >= kMaxBlockErrors) {
                flight.state = BlockInFlight::State::GaveUp;
                return;
            }
        }
    }
}

void Upload::dropNextBlock() {
    nextBlock_.clear();
    // Should its ACK have come meanwhile, what went out is counted as written.
    port_.withdrawArmedWrite();
}

void Upload::sendBlock(const QByteArray& block, const QByteArray& next) {
    TransferState& transfer = session_.transfer;
    // Monotonic: a clock change cannot stretch the limit. Replies are judged by when
    // they arrived, so a reply that waited behind a modal box still counts.
    BlockInFlight& flight = inFlight_.emplace(BlockInFlight{block, Clock::now()});
    const auto done = qScopeGuard([this] { inFlight_.reset(); });
    if (const std::optional<NextWrite> written = std::exchange(nextWrite_, std::nullopt)) {
        // Already on its way since the answer to the block before.
        flight.firstWrite = written->at;
        if (written->error != 0) {
            gaveUp();
            return;
        }
    } else if (writeFresh(block) != 0) {
        gaveUp();
        return;
    }
    nextBlock_ = next;
    if (!next.isEmpty())
        port_.armWrite(xmodem::kAck, next);
    const auto limit = std::chrono::milliseconds(blockLimitMs);
    for (;;) {
        takeReplies();
        if (flight.state == BlockInFlight::State::GaveUp) {
            dropNextBlock();
            gaveUp();
            return;
        }
        if (flight.state == BlockInFlight::State::Delivered) {
            dropNextBlock();
            if (flight.errors > 0)
                settleAfterResend();
            return;
        }
        if (transfer.transferStop) {
            dropNextBlock();
            return;
        }
        // The adapter went away: no reply can come, and waiting out the limit
        // would only hide what happened.
        if (transfer.portLost) {
            dropNextBlock();
            gaveUp();
            return;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            limit - (Clock::now() - flight.firstWrite));
        if (left.count() < 0) {
            dropNextBlock();
            gaveUp();
            return;
        }
        session_.waiter.sleepUpTo(static_cast<int>(left.count()) + 1);
    }
}

void Upload::cancel() {
    session_.transfer.transferStop = true;
    session_.transfer.transferBusy = false;
    session_.waiter.wake();
}

void Upload::run() {
    TransferState& transfer = session_.transfer;
    // One upload at a time: the cancel key clears transferBusy at once, but a stopped
    // run is still on the stack until it has unwound.
    if (transfer.transferBusy || transfer.uploadRunning)
        return;
    transfer.uploadRunning = true;
    nextBlock_.clear();
    nextWrite_.reset();
    writeError_ = 0;
    beginRecord();
    transfer.portLost = false;
    transfer.transferStop = false;
    transfer.transferBusy = true;
    runSteps();
    endRecord();
    transfer.portLost = false;
    transfer.uploadRunning = false;
}

void Upload::beginRecord() {
    record_ = UploadRecord{};
    record_.started = QDateTime::currentDateTime();
    record_.programFile = localPath(session_.settings.programFile);
    record_.transferSettings = session_.settings.transferSettings;
    if (session_.dialsByModem())
        record_.phoneNumber = session_.settings.phoneNumber;
    runClock_.start();
}

void Upload::recordRefused(int errorNumber) {
    beginRecord();
    // The port was never opened; the record still names the one it would have been.
    if (const std::optional<int> number = comNumber(session_.settings.portNumber))
        port_.setPortNumber(*number);
    settle(UploadRecord::Outcome::Failed, errorNumber);
    endRecord();
}

void Upload::addListener(UploadListener& listener) {
    listeners_.push_back(&listener);
}

void Upload::removeListener(UploadListener& listener) {
    std::erase(listeners_, &listener);
}

void Upload::settle(UploadRecord::Outcome outcome, int errorNumber) {
    record_.outcome = outcome;
    record_.errorNumber = errorNumber;
}

void Upload::endRecord() {
    // The port asked for: a number that leads nowhere never reached the port.
    const std::optional<int> number = comNumber(session_.settings.portNumber);
    record_.portNumber = number.value_or(0);
    if (number && *number == port_.portNumber())
        record_.device = port_.deviceName();
    record_.duration = std::chrono::milliseconds(runClock_.elapsed());
    // A listener may leave the list while it is told.
    const std::vector<UploadListener*> told = listeners_;
    for (UploadListener* listener : told)
        listener->uploadEnded(record_);
}

void Upload::runSteps() {
    TransferState& transfer = session_.transfer;
    if (!handshake_.startController()) {
        const int error = handshake_.stopError();
        settle(error == 0 ? UploadRecord::Outcome::Cancelled : UploadRecord::Outcome::Failed,
               error);
        transfer.transferStop = false;
        hangUp();
        transfer.transferBusy = false;
        return;
    }

    const QString path = localPath(session_.settings.programFile);
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile()) {
        failWithError(programFileErrorNumber(file, path));
        return;
    }
    // Refused before it is read: a count that overflows needs no reading.
    if (!xmodem::blockCount(info.size())) {
        failWithError(kBlockCountOverflow);
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        failWithError(programFileErrorNumber(file, path));
        return;
    }
    // Read whole before the first block: what goes out is the file as it was
    // chosen, even if it is rebuilt or cut short while the blocks go out.
    const QByteArray program = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed) {
        failWithError(FileError::DeviceIo);
        return;
    }
    if (program.isEmpty()) {
        session_.dialogs.message(QStringLiteral("Quillon"), emptyProgramFileText(path),
                                 MessageIcon::Exclamation, MessageButtons::Ok);
        view_.setStatus({});
        settle(UploadRecord::Outcome::Failed, UploadFailure::EmptyProgramFile);
        finish();
        return;
    }
    const auto blocks = xmodem::blockCount(program.size());
    if (!blocks) {
        failWithError(kBlockCountOverflow);
        return;
    }
    record_.bytes = program.size();
    record_.sha256 = QCryptographicHash::hash(program, QCryptographicHash::Sha256);
    record_.blocksTotal = *blocks;
    view_.setProgressMaximum(*blocks);
    view_.setProgressValue(0);
    view_.setLabTotal(QString::number(*blocks));
    if (session_.edition.showsFileSize)
        view_.setInfo(QStringLiteral("Tamanho do Arquivo: ") +
                      QString::number(qint64(*blocks) * xmodem::kDataSize) +
                      QStringLiteral(" bytes"));
    sendProgram(program, *blocks);
}

void Upload::showProgress(int k, int blocks) {
    view_.setLabOk(QString::number(k));
    view_.setProgressValue(k);
    const double percent = static_cast<double>(k) / blocks * 100.0;
    const QString whole = QString::number(static_cast<int>(std::floor(percent)));
    view_.setLabPorcento(whole + QStringLiteral("%"));
    if (view_.isMinimized())
        view_.setCaption(whole + QStringLiteral("% Enviado"));
}

void Upload::sendProgram(const QByteArray& program, qint16 blocks) {
    TransferState& transfer = session_.transfer;
    // The counters follow at the screen's pace; the last acknowledged block is
    // always shown before the outcome.
    QElapsedTimer shown;
    shown.start();
    int acknowledged = 0;
    int onScreen = 0;
    const auto blockNumber = [&program](int k) {
        const qsizetype from = qsizetype(k - 1) * xmodem::kDataSize;
        return xmodem::buildBlock(k, program.mid(from, xmodem::kDataSize));
    };
    const std::vector<UploadListener*> told = listeners_;
    for (UploadListener* listener : told)
        listener->blocksStarted(record_);
    QByteArray block = blockNumber(1);
    port_.beginArmedWrites();
    for (int k = 1; k <= blocks; ++k) {
        QByteArray next = k < blocks ? blockNumber(k + 1) : QByteArray();
        sendBlock(block, next);
        block = std::move(next);
        if (transfer.transferStop)
            break;
        acknowledged = k;
        record_.blocksAcknowledged = k;
        if (shown.elapsed() >= progressEveryMs || k == 1 || k == blocks) {
            showProgress(k, blocks);
            onScreen = k;
            shown.restart();
        }
    }
    port_.endArmedWrites();
    if (acknowledged != onScreen)
        showProgress(acknowledged, blocks);
    endOfTransfer();
    clearCounters();
    if (!transfer.transferFailed && !transfer.transferStop) {
        settle(UploadRecord::Outcome::Sent);
        view_.setStatus(QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
        playOkSound(session_);
    } else if (!transfer.transferFailed) {
        settle(UploadRecord::Outcome::Cancelled);
        view_.setStatus(QStringLiteral("CANCELADO"));
        playOkSound(session_);
    } else {
        // A lost device also fails the writes after it; the loss is what ended it.
        settle(UploadRecord::Outcome::Failed, transfer.portLost  ? int(PortError::DeviceLost)
                                              : writeError_ != 0 ? writeError_
                                                                 : UploadFailure::ReceiverGaveUp);
        view_.setStatus(QStringLiteral("CANCELADO"));
        playErrorSound(session_);
        session_.dialogs.message(QStringLiteral("Quillon"),
                                 QStringLiteral("OPERARAÇÃO CANCELADA!") + kCrLf + kCrLf +
                                     QStringLiteral("Não foi possível transferir o arquivo.") +
                                     kCrLf +
                                     QStringLiteral("Tente novamente ou reinicie o controlador!"),
                                 MessageIcon::Exclamation, MessageButtons::Ok);
    }
    finish();
}

void Upload::endOfTransfer() {
    TransferState& transfer = session_.transfer;
    const QByteArray eot(1, xmodem::kEot);
    const bool allAcknowledged = !transfer.transferFailed && !transfer.transferStop;
    const int written = writeFresh(eot);
    eotWritten_ = true;
    if (!allAcknowledged)
        return;
    if (written != 0) {
        gaveUp();
        return;
    }
    // Careful receivers refuse the first EOT to make sure the end is real: the
    // end counts once it is answered with ACK or left unanswered.
    int refusals = 0;
    int silences = 0;
    bool cancelBefore = false;
    // The receiver's answer can only come once the EOT has reached it: the check counts
    // from the EOT's last bit on the wire.
    const auto answerTime = std::chrono::milliseconds(eotReplyMs);
    Clock::time_point deadline = port_.wireIdleAt() + answerTime;
    while (!transfer.transferStop) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            // Silence also ends it (some receivers lose their last ACK as they
            // exit), but only after a second EOT: a lost EOT leaves the receiver
            // waiting for a block and the file unsaved.
            if (++silences >= kSilentEotRounds)
                return;
            if (writeFresh(eot) != 0) {
                gaveUp();
                return;
            }
            deadline = port_.wireIdleAt() + answerTime;
            continue;
        }
        if (replies_.isEmpty()) {
            session_.waiter.sleepUpTo(static_cast<int>(left.count()) + 1);
            continue;
        }
        const char reply = replies_.takeFirst().byte;
        if (reply == xmodem::kAck || reply == xmodem::kNak)
            port_.deliveryConfirmed();
        if (reply == xmodem::kAck)
            return;
        if (reply == xmodem::kCan && cancelBefore) {
            gaveUp();
            return;
        }
        cancelBefore = reply == xmodem::kCan;
        if (reply != xmodem::kNak)
            continue;
        if (++refusals > kMaxBlockErrors || writeFresh(eot) != 0) {
            gaveUp();
            return;
        }
        deadline = port_.wireIdleAt() + answerTime;
    }
}

void Upload::hangUp() {
    if (!session_.dialsByModem() || !session_.modemControl)
        return;
    // A pulled adapter takes the call with it; there is no line left to hang up.
    if (session_.transfer.portLost)
        return;
    // The receiver's end check and the modem's escape guard both want a silent
    // line after the last EOT; a "+" inside it is data to the far end. The silence
    // starts once the EOT has left the wire.
    if (eotWritten_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            port_.wireIdleAt() + std::chrono::milliseconds(kQuietAfterEotMs) -
            SerialPort::Clock::now());
        if (left.count() > 0)
            session_.waiter.waitMs(static_cast<double>(left.count()));
    }
    session_.modemControl->hangUpModem();
}

void Upload::clearCounters() {
    view_.setProgressValue(0);
    view_.setLabErros({});
    view_.setLabOk({});
    view_.setLabTotal({});
    view_.setLabPorcento({});
}

void Upload::finish() {
    hangUp();
    eotWritten_ = false;
    resetTransferState();
}

void Upload::resetTransferState() {
    TransferState& transfer = session_.transfer;
    // A block that went out on an answer nobody waited for any more belongs to this run.
    nextBlock_.clear();
    nextWrite_.reset();
    transfer.transferFailed = false;
    transfer.transferStop = session_.edition.leavesTransferStopped;
    transfer.transferBusy = false;
    if (session_.edition.showsFileSize)
        view_.setInfo({});
}

void Upload::failWithError(int error) {
    settle(UploadRecord::Outcome::Failed, error);
    // Nothing is sent after a file error, so "TRANSFERINDO" must not stay; the three
    // errors a user can mend by choosing the file again are named.
    view_.setInfo({});
    if (error == FileError::FileNotFound)
        view_.setStatus(QStringLiteral("Arquivo não encontrado"));
    else if (error == FileError::PathFileAccess)
        view_.setStatus(QStringLiteral("Acesso negado"));
    else if (error == FileError::PathNotFound)
        view_.setStatus(QStringLiteral("Caminho não encontrado"));
    else
        view_.setStatus({});
    session_.reportError(error);
    // Nothing of the failed attempt may linger: the window must be ready for
    // the next try, and the terminal switch must not stay blocked.
    clearCounters();
    finish();
}

} // namespace quillon
