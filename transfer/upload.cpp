#include "transfer/upload.h"

#include "core/text_file.h"
#include "core/text_helpers.h"
#include "platform/paths.h"
#include "transfer/program_file.h"
#include "transfer/sounds.h"
#include "transfer/xmodem.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <cmath>

namespace quillon {

bool Upload::gaveUp() {
    session_.transfer.transferStop = true;
    session_.transfer.transferFailed = true;
    return true;
}

void Upload::sendBlock(const QByteArray& block) {
    TransferState& transfer = session_.transfer;
    LinkState& link = session_.link;
    QElapsedTimer clock; // monotonic: a clock change cannot stretch the limit
    clock.start();
    int blockErrors = 0;
    if (port_.write(block) != 0) {
        gaveUp();
        return;
    }
    for (;;) {
        const bool somethingPending =
            link.ackReceived || link.nakReceived || link.cancelReceived || transfer.transferStop;
        if (!somethingPending)
            session_.waiter.sleepUpTo(static_cast<int>(blockLimitMs - clock.elapsed()) + 1);
        if (clock.elapsed() > blockLimitMs) {
            gaveUp();
            return;
        }
        if (link.ackReceived) {
            link.ackReceived = false;
            return;
        }
        // A receiver that gives up says so with CAN; waiting out the limit
        // would only delay the same failure.
        if (link.cancelReceived) {
            link.cancelReceived = false;
            gaveUp();
            return;
        }
        if (link.nakReceived) {
            link.nakReceived = false;
            if (port_.write(block) != 0) {
                gaveUp();
                return;
            }
            ++blockErrors;
            view_.setLabErros(QString::number(blockErrors));
            if (blockErrors >= kMaxBlockErrors) {
                gaveUp();
                return;
            }
        }
        if (transfer.transferStop)
            return;
    }
}

void Upload::cancel() {
    session_.transfer.transferStop = true;
    session_.transfer.transferBusy = false;
    session_.waiter.wake();
}

void Upload::run() {
    TransferState& transfer = session_.transfer;
    if (transfer.transferBusy)
        return; // one upload at a time: the running one is on screen
    transfer.transferStop = false;
    transfer.transferBusy = true;

    if (!handshake_.startController()) {
        transfer.transferStop = false;
        if (session_.settings.useModem == 1 && session_.modemControl && session_.edition.hasModem)
            session_.modemControl->hangUpModem();
        transfer.transferBusy = false;
        return;
    }
    // Replies left from before the controller asked belong to no block.
    session_.link.ackReceived = false;
    session_.link.nakReceived = false;
    session_.link.cancelReceived = false;

    const QString path = localPath(session_.settings.programFile);
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile()) {
        failWithError(programFileErrorNumber(file, path));
        return;
    }
    const qint64 length = info.size();
    if (length == 0) {
        session_.dialogs.message(QStringLiteral("Quillon"), emptyProgramFileText(path),
                                 MessageIcon::Exclamation, MessageButtons::Ok);
        view_.setStatus({});
        finish();
        return;
    }
    const auto blocks = xmodem::blockCount(length);
    if (!blocks) {
        failWithError(kBlockCountOverflow);
        return;
    }
    view_.setProgressMaximum(*blocks);
    view_.setProgressValue(0);
    view_.setLabTotal(QString::number(*blocks));
    if (session_.edition.showsFileSize)
        view_.setInfo(QStringLiteral("Tamanho do Arquivo: ") +
                      QString::number(qint64(*blocks) * xmodem::kDataSize) +
                      QStringLiteral(" bytes"));
    if (!file.open(QIODevice::ReadOnly)) {
        failWithError(programFileErrorNumber(file, path));
        return;
    }
    sendFile(file, *blocks);
}

void Upload::sendFile(QFile& file, qint16 blocks) {
    TransferState& transfer = session_.transfer;
    for (int k = 1; k <= blocks; ++k) {
        const QByteArray data = file.read(xmodem::kDataSize);
        if (file.error() != QFileDevice::NoError) {
            failWithError(FileError::DeviceIo);
            return;
        }
        sendBlock(xmodem::buildBlock(k, data));
        if (transfer.transferStop)
            break;
        view_.setLabOk(QString::number(k));
        view_.setProgressValue(k);
        const double percent = static_cast<double>(k) / blocks * 100.0;
        const QString whole = QString::number(static_cast<int>(std::floor(percent)));
        view_.setLabPorcento(whole + QStringLiteral("%"));
        if (view_.isMinimized())
            view_.setCaption(whole + QStringLiteral("% Enviado"));
    }
    file.close();
    port_.write(QByteArray(1, xmodem::kEot));
    clearCounters();
    if (!transfer.transferFailed && !transfer.transferStop) {
        view_.setStatus(QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
        playOkSound(session_);
    } else if (!transfer.transferFailed) {
        view_.setStatus(QStringLiteral("CANCELADO"));
        playOkSound(session_);
    } else {
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

void Upload::clearCounters() {
    view_.setProgressValue(0);
    view_.setLabErros({});
    view_.setLabOk({});
    view_.setLabTotal({});
    view_.setLabPorcento({});
}

void Upload::finish() {
    if (session_.settings.useModem == 1 && session_.modemControl && session_.edition.hasModem)
        session_.modemControl->hangUpModem();
    resetTransferState();
}

void Upload::resetTransferState() {
    TransferState& transfer = session_.transfer;
    transfer.transferFailed = false;
    transfer.transferStop = session_.edition.leavesTransferStopped;
    session_.link.startRequestReceived = false;
    transfer.transferBusy = false;
    if (session_.edition.showsFileSize)
        view_.setInfo({});
}

void Upload::failWithError(int error) {
    if (error == FileError::FileNotFound)
        view_.setStatus(QStringLiteral("Arquivo não encontrado"));
    else if (error == FileError::PathFileAccess)
        view_.setStatus(QStringLiteral("Acesso negado"));
    else if (error == FileError::PathNotFound)
        view_.setStatus(QStringLiteral("Caminho não encontrado"));
    session_.reportError(error);
    // Nothing of the failed attempt may linger: the window must be ready for
    // the next try, and the terminal switch must not stay blocked.
    clearCounters();
    finish();
}

} // namespace quillon
