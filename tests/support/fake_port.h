#pragma once

#include "platform/serial_port.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QVector>

#include <functional>

namespace quillon::test {

// A scripted port: records what is written and delivers what the test injects,
// through the same event the real port raises.
class FakePort : public SerialPort {
    Q_OBJECT
public:
    struct Write {
        qint64 atMs;
        QByteArray bytes;
        QString settings; // what the port was set to when the bytes went out
    };

    FakePort();

    void setPortNumber(int number) override { number_ = number; }
    int portNumber() const override { return number_; }
    QString deviceName() const override { return device; }
    QString settings() const override { return settings_; }
    bool isOpen() const override { return open_; }
    void setReceiveThreshold(int threshold) override { receiveThreshold_ = threshold; }
    int receiveThreshold() const override { return receiveThreshold_; }
    void setSendThreshold(int threshold) override { sendThreshold_ = threshold; }
    qint64 bytesWaiting() const override { return input_.size(); }
    int eventCode() const override { return static_cast<int>(CommEventCode::Receive); }

    // Bytes arriving from the line now, as one chunk.
    void inject(const QByteArray& bytes);
    // Bytes arriving after a delay, as one chunk.
    void injectAfter(int ms, const QByteArray& bytes);
    // The device disappears under the open port.
    void vanish();

    // What the port number leads to, for the upload's record.
    QString device;
    // Per-number open result (default 0 for every number) for probe-like tests.
    std::function<int(int number)> openResult;
    // Called for every write, e.g. to answer like a peer.
    std::function<void(FakePort&, const QByteArray&)> onWrite;

    QByteArray written() const;
    const QVector<Write>& writes() const { return writes_; }
    void clearWritten() { writes_.clear(); }
    // "open 1200,n,8,1", "write 4", "close": the order things happened in.
    const QStringList& events() const { return events_; }
    // The next writes fail as on a vanished device.
    void failWrites(int error) { writeError_ = error; }
    int openCount() const { return openCount_; }

    // The line as copper would carry it: every setting change and close that comes
    // while written bytes are still on the wire, e.g. "close 0.2 ms after 1 byte at
    // 1200,n,8,1 (8.3 ms)". Each one is a byte the far end got cut short.
    const QStringList& lineFaults() const { return lineFaults_; }
    // Closes without letting the line drain, as a careless caller of the device would.
    void closeAtOnce() { closeDevice(); }
    // Output the driver holds and never sends (the far end holds the line off).
    qint64 stuckBytes = 0;
    // The driver's drains asked for, and the stuck output thrown away.
    int drains = 0;
    int discards = 0;

protected:
    int applySettings(const QString& text, const PortSettings& settings) override;
    int openDevice() override;
    QByteArray readDevice() override;
    void closeDevice() override;
    int writeDevice(const QByteArray& data) override;
    qint64 bytesInTransit() const override { return stuckBytes; }
    void drainDevice() override { ++drains; }
    void discardOutput() override {
        ++discards;
        stuckBytes = 0;
    }

private:
    void checkLineIdle(const QString& what);

    int number_ = 1;
    QString settings_ = QStringLiteral("9600,n,8,1");
    bool open_ = false;
    int receiveThreshold_ = 0;
    int sendThreshold_ = 0;
    int openCount_ = 0;
    QByteArray input_;
    QVector<Write> writes_;
    QStringList events_;
    int writeError_ = 0;
    QElapsedTimer clock_;
    // Kept apart from the port's own reckoning, so that a fault in it shows here.
    qint64 lineBusyUntilNs_ = 0;
    QString lastWriteOnLine_;
    QStringList lineFaults_;
};

} // namespace quillon::test
