#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>

namespace quillon {

// Numbers for the failures that are neither a port error (8000-8020) nor a file
// error (48-76), so that every failed upload carries one.
namespace UploadFailure {
// The receiver gave up (CAN), refused a block ten times, or stopped answering.
inline constexpr int ReceiverGaveUp = 9001;
// The modem never reported CONNECT.
inline constexpr int DialFailed = 9002;
// The program file held nothing to send.
inline constexpr int EmptyProgramFile = 9003;
} // namespace UploadFailure

// One upload as it went: what a journal keeps of it and what a front end says at
// its end.
struct UploadRecord {
    enum class Outcome { Sent, Cancelled, Failed };

    QDateTime started; // local time
    QString programFile;
    // The bytes read and sent: 0 and empty when the upload stopped before it read them.
    qint64 bytes = 0;
    QByteArray sha256; // the digest itself, not its hex text
    int portNumber = 0;
    QString device; // empty where the COM number names the port itself
    QString transferSettings;
    QString phoneNumber; // empty when the line is not dialled
    int blocksTotal = 0; // 0 until the blocks start
    int blocksAcknowledged = 0;
    int resends = 0;
    std::chrono::milliseconds duration{0};
    Outcome outcome = Outcome::Cancelled;
    int errorNumber = 0; // what ended a failed upload
};

// How a front end sorts a failure: what it can tell the user to mend.
enum class FailureKind { File, Port, Transfer };
FailureKind failureKind(int errorNumber);
// How a record names its outcome: "ENVIADO", "CANCELADO", "FALHA 8020".
QString outcomeText(const UploadRecord& record);

// Told of each upload; any number may listen.
class UploadListener {
public:
    virtual ~UploadListener() = default;
    // The handshake is done and the file read: the first block goes out next.
    virtual void blocksStarted(const UploadRecord&) {}
    // Once per upload, however it ended, after its outcome has been shown.
    virtual void uploadEnded(const UploadRecord&) {}
};

} // namespace quillon
