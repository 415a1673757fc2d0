#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace quillon {

struct PortSettings;
class SerialPort;

// Sees everything a port carries and every change of its state, for a record of the
// line. Called on the port's own thread, inside the port call that caused it.
class LineTap {
public:
    virtual void bytesWritten(const SerialPort& port, const QByteArray& bytes) = 0;
    virtual void bytesRead(const SerialPort& port, const QByteArray& bytes) = 0;
    virtual void portOpened(const SerialPort& port) = 0;
    virtual void settingsChanged(const SerialPort& port) = 0;
    // Closed by its owner, or gone with its device.
    virtual void portClosed(const SerialPort& port) = 0;

protected:
    ~LineTap() = default;
};

// Port failures, reported to the user by number through the shared error report.
namespace PortError {
inline constexpr int None = 0;
inline constexpr int InvalidPortNumber = 8002; // no device behind the COM number
inline constexpr int PortInUse = 8005;     // lock file, EBUSY or TIOCEXCL held by another program
inline constexpr int InvalidDevice = 8006; // the device exists but could not be opened as a port
inline constexpr int BadBaudRate = 8007;
inline constexpr int BadDataBits = 8008;
inline constexpr int BadSettings = 8009; // parity, stop bits or a malformed settings string
inline constexpr int PortNotOpen = 8012;
inline constexpr int AlreadyOpen = 8013;
inline constexpr int SetStateFailed = 8015;   // the driver refused the line settings
inline constexpr int PermissionDenied = 8017; // no access rights to the device (dialout group)
inline constexpr int DeviceLost = 8020;       // adapter pulled, pty closed, read or write failed
} // namespace PortError

// The serial port as the whole program uses it. Calls that can fail return the
// error number (0 on success) so the caller decides whether to report it.
//
// A written byte is handed to the driver at once but is on the wire only later, and a
// UART changes speed at once, whatever it is still shifting out. So every change of
// line settings and every close first waits, sleeping in the event loop, until what
// was written has left the wire at the setting it was written at: the bytes' own line
// time since they began, and the driver's drain.
class SerialPort : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override = default;

    virtual void setPortNumber(int number) = 0;
    virtual int portNumber() const = 0;
    // The device the port number leads to, as a record names it; empty where the
    // number names the port itself, or leads nowhere.
    virtual QString deviceName() const { return {}; }
    // Strictly parsed; a bad string is refused and the previous settings stay.
    int setSettings(const QString& settings);
    virtual QString settings() const = 0;
    int open();
    void close();
    virtual bool isOpen() const = 0;
    // 1: commEvent for every arrival; 0: data only waits for readAll().
    virtual void setReceiveThreshold(int threshold) = 0;
    virtual int receiveThreshold() const = 0;
    virtual void setSendThreshold(int threshold) = 0;
    QByteArray readAll();
    int write(const QByteArray& data);
    virtual qint64 bytesWaiting() const = 0;
    // What raised the latest commEvent (received data, output emptied, error).
    virtual int eventCode() const = 0;

    // When the last byte written so far will have left the wire; in the past once it has.
    Clock::time_point wireIdleAt() const { return wireIdleAt_; }
    // Milliseconds until then, 0 once the line is quiet; timed guards add it to their wait.
    int msUntilWireIdle() const;
    // Waits in the event loop until what was written has left the wire.
    void drain();
    // The far end has answered everything written so far (an XMODEM reply), so it has
    // left the wire, however fast the line really went: a pty, a USB device of the
    // modem class or a network port server carries bytes at once whatever the setting.
    void deliveryConfirmed() { wireIdleAt_ = std::min(wireIdleAt_, Clock::now()); }

    // For a conversation whose far end waits for the next write from the moment it
    // answers (XMODEM's blocks). Between begin and end the port may read on a thread of
    // its own, so that an armed write goes out from the very read that brings its
    // trigger, before any event reaches the owner. Where the platform cannot, begin
    // returns false, armWrite refuses, and the owner writes when it sees the trigger.
    // Nothing else may be written while a write is armed.
    bool beginArmedWrites();
    void endArmedWrites();
    // `bytes` go out the moment the first byte to arrive from now on is `trigger`; any
    // other byte first withdraws them. False when they cannot be armed.
    bool armWrite(char trigger, const QByteArray& bytes);
    struct ArmedWrite {
        int error = 0;
        Clock::time_point at; // when it began, as the line counts it
    };
    // Disarms; when the trigger had come, what the write did. It counts as written then,
    // from the moment it began.
    std::optional<ArmedWrite> withdrawArmedWrite();

    // Null for none; the port does not own it.
    void setLineTap(LineTap* tap) { tap_ = tap; }
    LineTap* lineTap() const { return tap_; }

Q_SIGNALS:
    void commEvent();
    // The device went away under an open port; the port is already closed.
    void deviceLost(int errorNumber);
    // An open port was closed by its owner; whoever was still writing to it stops.
    void closed();

protected:
    // The settings are known good; applied at once when the port is open.
    virtual int applySettings(const QString& text, const PortSettings& settings) = 0;
    virtual int openDevice() = 0;
    virtual QByteArray readDevice() = 0;
    virtual void closeDevice() = 0;
    virtual int writeDevice(const QByteArray& data) = 0;
    // Bytes written but not yet on the line as far as the platform can tell (its own
    // buffer, the driver's queue); 0 where it cannot.
    virtual qint64 bytesInTransit() const { return 0; }
    // The driver's own wait until its output is sent (tcdrain, FlushFileBuffers); asked
    // for only once the driver holds nothing, so that it returns at once.
    virtual void drainDevice() {}
    // For a port read without receive events: `waiting` is all that has arrived and
    // not been read. The tap sees the new part now, so that a record of the line
    // shows bytes when they came, not when their reader got round to them.
    void arrivedUnread(const QByteArray& waiting);
    // What a device's own reader did with an armed write when its trigger came.
    struct FiredWrite {
        qsizetype written = 0; // the driver may have taken less than all
        bool failed = false;
        Clock::time_point at;
    };
    virtual bool startReplyReading() { return false; }
    virtual void stopReplyReading() {}
    virtual bool armDeviceWrite(char /*trigger*/, const QByteArray& /*bytes*/) { return false; }
    virtual std::optional<FiredWrite> withdrawDeviceWrite() { return std::nullopt; }
    // Throws away output the driver still holds (tcflush, PurgeComm).
    virtual void discardOutput() {}
    // For an owner that closes without an event loop left to wait in (a destructor):
    // the same wait, as a plain sleep.
    void drainWithoutEventLoop();
    // The same wait, then the close.
    void closeWithoutEventLoop();

private:
    // How long one character takes at the settings the port has now.
    Clock::duration characterTime() const;
    Clock::time_point drainedAt() const;
    void giveUpStuckOutput();
    // Counts bytes handed to the driver at `at`: the tap sees them, the line's time runs.
    void noteWritten(const QByteArray& data, Clock::time_point at);

    Clock::time_point wireIdleAt_{};
    qsizetype tappedUnread_ = 0; // bytes arrivedUnread showed before their read
    mutable QString timedSettings_;
    mutable Clock::duration characterTime_{};
    LineTap* tap_ = nullptr;
    QByteArray armed_;
};

enum class CommEventCode { Receive = 2, Send = 1, Error = 1000 };

using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

} // namespace quillon
