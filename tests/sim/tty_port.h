#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace quillon::simtest {

// A program's end of the simulator's line, opened with termios itself, so that a test
// decides when a setting changes: QSerialPort writes from the event loop, after any
// change of settings asked for meanwhile.
class TtyPort {
public:
    TtyPort();
    TtyPort(const TtyPort&) = delete;
    TtyPort& operator=(const TtyPort&) = delete;
    ~TtyPort();

    // Raw, at that speed and 1 or 2 stop bits.
    bool open(const QString& path, int baud, int stopBits = 1);
    // At once, whatever is still on the wire.
    bool setSpeed(int baud, int stopBits = 1);
    bool write(QByteArrayView bytes);
    // Closes without putting any earlier settings back.
    void close();

    // Sleeps in the event loop until `want` bytes came in all or the time is up, and
    // answers what came so far.
    QByteArray readUntil(qsizetype want, int timeoutMs);
    // Nanoseconds from the last write to the last byte read.
    qint64 lastArrivalNs() const { return lastArrivalNs_; }

private:
    void readAvailable();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QByteArray received_;
    QElapsedTimer sinceWrite_;
    qint64 lastArrivalNs_ = 0;
};

// The line time of n characters of 1 start bit, 8 data bits and the stop bits.
qint64 lineTimeNs(qsizetype characters, int baud, int stopBits = 1);
// Lets the event loop run for a character's line time, and a bit.
void waitLineTime(qsizetype characters, int baud, int stopBits = 1);

} // namespace quillon::simtest
