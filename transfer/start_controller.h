#pragma once

#include "core/session.h"
#include "transfer/upload_view.h"

#include <QMetaObject>

namespace quillon {

class SerialLink;

// Brings the controller into its loader: "4" at 1200 baud, "1" at the transfer
// settings, repeated once a second while the technician presses B1 and B2,
// until the controller asks for the first block.
class StartHandshake {
public:
    static constexpr int kDialLimitSeconds = 50;
    // One pass of the start sequence (a second; tests shorten it).
    int passMs = 1000;

    StartHandshake(Session& session, SerialLink& link, UploadView& view);
    ~StartHandshake();
    StartHandshake(const StartHandshake&) = delete;
    StartHandshake& operator=(const StartHandshake&) = delete;

    // StartController: true when the controller asked for the first block;
    // false (TransferStop set) when the user stopped, the dial failed or the
    // port failed.
    bool startController();
    // What stopped the last startController(): 0 when the user did, else the port
    // error or UploadFailure::DialFailed.
    int stopError() const { return stopError_; }
    // AnnounceInitWait: the waiting text and one "4"; an error is reported
    // and also returned.
    int announceInitWait();

private:
    int openAt(const QString& settings);
    int reinitialise();
    bool stopped(int error, bool alreadyReported);

    Session& session_;
    SerialPort& port_;
    UploadView& view_;
    // The controller's loader asks for the first block with a "C" that opens a
    // chunk; a "C" behind other bytes is part of something else.
    bool startRequested_ = false;
    int stopError_ = 0;
    QMetaObject::Connection listening_;
};

inline const QString kInitSettings = QStringLiteral("1200,n,8,1");

} // namespace quillon
