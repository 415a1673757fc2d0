#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace quillon {

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
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    virtual void setPortNumber(int number) = 0;
    virtual int portNumber() const = 0;
    // Strictly parsed; a bad string is refused and the previous settings stay.
    virtual int setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;
    virtual int open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // 1: commEvent for every arrival; 0: data only waits for readAll().
    virtual void setReceiveThreshold(int threshold) = 0;
    virtual int receiveThreshold() const = 0;
    virtual void setSendThreshold(int threshold) = 0;
    virtual QByteArray readAll() = 0;
    virtual int write(const QByteArray& data) = 0;
    virtual qint64 bytesWaiting() const = 0;
    // What raised the latest commEvent (received data, output emptied, error).
    virtual int eventCode() const = 0;

Q_SIGNALS:
    void commEvent();
    // The device went away under an open port; the port is already closed.
    void deviceLost(int errorNumber);
};

enum class CommEventCode { Receive = 2, Send = 1, Error = 1000 };

using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

} // namespace quillon
