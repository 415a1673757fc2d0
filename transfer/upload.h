#pragma once

#include "core/session.h"
#include "transfer/start_controller.h"
#include "transfer/upload_view.h"

#include <QFile>

namespace quillon {

// The upload command: start handshake, then the program file block by block
// with XMODEM-CRC, the counters, the outcome and the closing sound.
class Upload {
public:
    static constexpr int kMaxBlockErrors = 10;

    Upload(Session& session, SerialPort& port, UploadView& view)
        : session_(session), port_(port), view_(view), handshake_(session, port, view) {}

    // mnuSnd_Click.
    void run();
    // CancelTransfer's part in the session: the handshake and the blocks stop
    // at their next check, and a block waiting for its reply sees it now.
    void cancel();
    // SendBlock: the outcome is left in TransferStop / TransferFailed.
    void sendBlock(const QByteArray& block);

    // The time one block may take, from its first write (10 s; tests shorten it).
    int blockLimitMs = 10000;

private:
    void sendFile(QFile& file, qint16 blocks);
    void finish();
    void failWithError(int error);
    void resetTransferState();
    void clearCounters();
    bool gaveUp();

    Session& session_;
    SerialPort& port_;
    UploadView& view_;
    StartHandshake handshake_;
};

} // namespace quillon
