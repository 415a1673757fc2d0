#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

namespace quillon::bench {

// One line of the simulator's wire log: bytes that came from the program ("in"), bytes
// handed to it ("out"), or anything else (settings, noise).
struct WireChunk {
    enum class Kind { In, Out, Other };
    double seconds = 0;
    Kind kind = Kind::Other;
    QByteArray bytes;
};

// Empty when the file cannot be read; lines it cannot make sense of are left out.
QList<WireChunk> readWireLog(const QString& path);

// An XMODEM upload as the sender's end of the line saw it.
struct UploadOnWire {
    int blocks = 0;  // blocks sent, repeats included
    int repeats = 0; // a block sent again under the same number
    // From each first sending of a block that went again to its next sending: the
    // wait for an answer the receiver lost, or a refusal.
    double resendSeconds = 0;
    double firstBlockSeconds = -1;
    double eotSeconds = -1; // the first EOT after the blocks
    // An ACK handed to the sender until the next block's first byte came from it.
    std::vector<double> reactions;
    // A block's last character on the wire (from its first byte's arrival, at the line's
    // pace) until its ACK was handed back, less the ACK's own character: the receiver's
    // part of each round.
    std::vector<double> turnarounds;

    bool complete() const { return blocks > 0 && eotSeconds > firstBlockSeconds; }
    double spanSeconds() const { return eotSeconds - firstBlockSeconds; }
};

// characterSeconds: one character's line time at the transfer setting.
UploadOnWire uploadOnWire(const QList<WireChunk>& chunks, double characterSeconds);

// The stop-and-wait limit for the blocks sent (each 133 bytes out and one answer back,
// back to back) over the time they took, first block to EOT: 1 for a sender and a
// receiver that never pause.
double stopAndWaitShare(const UploadOnWire& upload, double characterSeconds);
// The same with the blocks sent again and the waits before them left out: the rounds
// that went as they should.
double shareWithoutResends(const UploadOnWire& upload, double characterSeconds);

} // namespace quillon::bench
