#pragma once

#include "core/session.h"
#include "transfer/start_controller.h"
#include "transfer/upload_record.h"
#include "transfer/upload_view.h"
#include "transfer/xmodem_replies.h"

#include <QElapsedTimer>

#include <chrono>
#include <optional>
#include <vector>

namespace quillon {

// The upload command: start handshake, then the program file block by block
// with XMODEM-CRC, the counters, the outcome and the closing sound.
class Upload {
public:
    static constexpr int kMaxBlockErrors = 10;

    // Listens to the link for the receiver's answers while it lives.
    Upload(Session& session, SerialLink& link, UploadView& view);
    ~Upload();
    Upload(const Upload&) = delete;
    Upload& operator=(const Upload&) = delete;

    // mnuSnd_Click.
    void run();
    // CancelTransfer's part in the session: the handshake and the blocks stop
    // at their next check, and a block waiting for its reply sees it now.
    void cancel();
    // SendBlock: the outcome is left in TransferStop / TransferFailed. `next`, when
    // given, goes out the moment the receiver acknowledges `block`.
    void sendBlock(const QByteArray& block, const QByteArray& next = {});

    // Listeners are told in the order they were added; a listener must outlive
    // its place in the list.
    void addListener(UploadListener& listener);
    void removeListener(UploadListener& listener);
    // An upload refused before its start (its settings or its file checked first),
    // told to the listeners as any failed upload.
    void recordRefused(int errorNumber);
    // The latest upload, as far as it has gone.
    const UploadRecord& record() const { return record_; }

    // The time one block may take, from its first write (10 s; tests shorten it).
    int blockLimitMs = 10000;
    StartHandshake& handshake() { return handshake_; }
    // How long the end waits for the receiver's answer to EOT. Longer than the
    // second of silence some receivers keep before they answer and exit, so a
    // second EOT never lands inside that check.
    int eotReplyMs = 1500;
    // Unanswered EOTs after which the end counts as taken.
    static constexpr int kSilentEotRounds = 2;
    // Quiet kept after the last EOT before a modem escape.
    static constexpr int kQuietAfterEotMs = 1200;
    // How often the counters are redrawn while blocks go out: a window's
    // redraw costs more than a block; a view that keeps its own pace takes 0.
    int progressEveryMs = 50;

private:
    using Clock = std::chrono::steady_clock;
    // The block whose answer is awaited, and what its answers have made of it.
    struct BlockInFlight {
        enum class State { Waiting, Delivered, GaveUp };
        QByteArray block;
        Clock::time_point firstWrite;
        int errors = 0;
        bool cancelBefore = false;
        State state = State::Waiting;
    };
    // The next block, written as its predecessor's ACK came in.
    struct NextWrite {
        int error;
        Clock::time_point at;
    };

    // Judges the answers that have come for the block in flight, resending on NAK.
    void takeReplies();
    void dropNextBlock();
    void runSteps();
    void sendProgram(const QByteArray& program, qint16 blocks);
    void showProgress(int k, int blocks);
    void endOfTransfer();
    void hangUp();
    int writeFresh(const QByteArray& bytes);
    bool settleAfterResend();
    int resendSettleMs() const;
    void finish();
    void settle(UploadRecord::Outcome outcome, int errorNumber = 0);
    void beginRecord();
    void endRecord();
    void failWithError(int error);
    void resetTransferState();
    void clearCounters();
    bool gaveUp();

    Session& session_;
    SerialPort& port_;
    UploadView& view_;
    StartHandshake handshake_;
    XmodemReplies replies_;
    QMetaObject::Connection listening_;
    QMetaObject::Connection watchingDevice_;
    std::optional<BlockInFlight> inFlight_;
    QByteArray nextBlock_;
    std::optional<NextWrite> nextWrite_;
    // This run ended its blocks with an EOT, and the line must fall quiet after it.
    bool eotWritten_ = false;
    // The port error of the write that ended the blocks.
    int writeError_ = 0;
    UploadRecord record_;
    QElapsedTimer runClock_;
    std::vector<UploadListener*> listeners_;
};

} // namespace quillon
