#include "bench/wire_timing.h"

#include "transfer/xmodem.h"

#include <QFile>

namespace quillon::bench {

namespace {

WireChunk::Kind kindOf(const QByteArray& word) {
    if (word == "in")
        return WireChunk::Kind::In;
    if (word == "out")
        return WireChunk::Kind::Out;
    return WireChunk::Kind::Other;
}

// Follows the sender's bytes frame by frame: a chunk as the simulator read it may end
// inside a block, or hold an EOT or a 0x01 that is block data.
class UploadReader {
public:
    explicit UploadReader(double characterSeconds) : characterSeconds_(characterSeconds) {}

    void fromSender(const WireChunk& chunk) {
        for (const char byte : chunk.bytes) {
            if (frame_.isEmpty() && byte != xmodem::kSoh) {
                startOther(byte, chunk.seconds);
                continue;
            }
            if (frame_.isEmpty())
                startBlock(chunk.seconds);
            frame_.append(byte);
            if (frame_.size() == xmodem::kBlockSize)
                endBlock();
        }
    }

    void toSender(const WireChunk& chunk) {
        if (found_.firstBlockSeconds < 0 || found_.eotSeconds >= 0)
            return;
        for (const char byte : chunk.bytes) {
            if (byte == xmodem::kAck) {
                ackAt_ = chunk.seconds;
                if (answerable_) {
                    found_.turnarounds.push_back(chunk.seconds - blockAt_ -
                                                 (xmodem::kBlockSize + 1) * characterSeconds_);
                }
            } else if (byte == xmodem::kNak) {
                ackAt_ = -1;
            }
            answerable_ = false;
        }
    }

    UploadOnWire found() const { return found_; }

private:
    void startOther(char byte, double seconds) {
        // The start commands and whatever else comes before the first block are no
        // part of the transfer.
        if (byte == xmodem::kEot && found_.blocks > 0 && found_.eotSeconds < 0)
            found_.eotSeconds = seconds;
        ackAt_ = -1;
    }

    void startBlock(double seconds) {
        if (found_.firstBlockSeconds < 0)
            found_.firstBlockSeconds = seconds;
        if (ackAt_ >= 0)
            found_.reactions.push_back(seconds - ackAt_);
        ackAt_ = -1;
        blockAt_ = seconds;
        answerable_ = false;
        ++found_.blocks;
    }

    void endBlock() {
        const int number = static_cast<quint8>(frame_.at(1));
        if (number == lastNumber_) {
            ++found_.repeats;
            found_.resendSeconds += blockAt_ - lastBlockAt_;
        }
        lastNumber_ = number;
        lastBlockAt_ = blockAt_;
        frame_.clear();
        answerable_ = true;
    }

    double characterSeconds_;
    UploadOnWire found_;
    QByteArray frame_;
    int lastNumber_ = -1;
    double ackAt_ = -1;
    double blockAt_ = 0;
    double lastBlockAt_ = 0;
    // A whole block has gone out and nothing has answered it yet.
    bool answerable_ = false;
};

} // namespace

QList<WireChunk> readWireLog(const QString& path) {
    QList<WireChunk> chunks;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return chunks;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() < 2)
            continue;
        bool ok = false;
        WireChunk chunk;
        chunk.seconds = fields.at(0).toDouble(&ok);
        if (!ok)
            continue;
        chunk.kind = kindOf(fields.at(1));
        if (chunk.kind != WireChunk::Kind::Other)
            chunk.bytes = QByteArray::fromHex(fields.mid(2).join());
        chunks.append(chunk);
    }
    return chunks;
}

UploadOnWire uploadOnWire(const QList<WireChunk>& chunks, double characterSeconds) {
    UploadReader reader(characterSeconds);
    for (const WireChunk& chunk : chunks) {
        if (chunk.kind == WireChunk::Kind::In)
            reader.fromSender(chunk);
        else if (chunk.kind == WireChunk::Kind::Out)
            reader.toSender(chunk);
    }
    return reader.found();
}

namespace {

double shareOf(int blocks, double seconds, double characterSeconds) {
    if (blocks <= 0 || !(seconds > 0))
        return 0;
    return blocks * (xmodem::kBlockSize + 1) * characterSeconds / seconds;
}

} // namespace

double stopAndWaitShare(const UploadOnWire& upload, double characterSeconds) {
    if (!upload.complete())
        return 0;
    return shareOf(upload.blocks, upload.spanSeconds(), characterSeconds);
}

double shareWithoutResends(const UploadOnWire& upload, double characterSeconds) {
    if (!upload.complete())
        return 0;
    return shareOf(upload.blocks - upload.repeats, upload.spanSeconds() - upload.resendSeconds,
                   characterSeconds);
}

} // namespace quillon::bench
