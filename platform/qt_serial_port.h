#pragma once

#include "platform/port_map.h"
#include "platform/port_settings.h"
#include "platform/serial_port.h"

#include <QSerialPort>
#include <QSocketNotifier>

#include <atomic>
#include <memory>

namespace quillon {

class ReplyReader;

// SerialPort on a real device through QSerialPort.
class QtSerialPortDevice final : public SerialPort {
    Q_OBJECT
public:
    // Most a port without receive events holds for its owner's next read; the
    // device keeps a little more, and a line sending beyond that loses the newest.
    static constexpr qint64 kUnreadHold = 64 * 1024;

    explicit QtSerialPortDevice(PortMap map, QObject* parent = nullptr);
    ~QtSerialPortDevice() override;

    void setPortNumber(int number) override { number_ = number; }
    int portNumber() const override { return number_; }
    QString deviceName() const override;
    QString settings() const override { return settingsText_; }
    bool isOpen() const override { return port_.isOpen(); }
    void setReceiveThreshold(int threshold) override;
    int receiveThreshold() const override { return receiveThreshold_; }
    void setSendThreshold(int threshold) override { sendThreshold_ = threshold; }
    qint64 bytesWaiting() const override;
    int eventCode() const override { return eventCode_; }

protected:
    int applySettings(const QString& text, const PortSettings& settings) override;
    int openDevice() override;
    QByteArray readDevice() override;
    void closeDevice() override;
    int writeDevice(const QByteArray& data) override;
    qint64 bytesInTransit() const override;
    void drainDevice() override;
    void discardOutput() override;
    bool startReplyReading() override;
    void stopReplyReading() override;
    bool armDeviceWrite(char trigger, const QByteArray& bytes) override;
    std::optional<FiredWrite> withdrawDeviceWrite() override;

private:
    void onBytesWritten();
    // The send event for bytes that went into the driver without QSerialPort.
    void announceOutputEmptied();
    void onError(QSerialPort::SerialPortError error);
    int openErrorNumber(const QString& path) const;
    int applyLineSettings();
    // All that has arrived and not been read, wherever it waits.
    QByteArray unreadBytes();
    // Raises the receive event, or shows the tap what came for a reader without events.
    void announceArrival();
#ifndef Q_OS_WIN
    std::optional<FiredWrite> withdrawReaderWrite();
#endif
    // QSerialPort's own reading, kept off while the reply reader reads.
    QList<QSocketNotifier*> qtReadNotifiers();
    void quietQtReading();
    void resumeQtReading();
    // Called on the reply reader's thread.
    void postReaderNews();
    void onReaderNews();

    PortMap map_;
    QSerialPort port_;
    int number_ = 1;
    QString settingsText_ = QStringLiteral("9600,n,8,1");
    PortSettings settings_;
    int receiveThreshold_ = 1;
    int sendThreshold_ = 0;
    int eventCode_ = 0;
    bool lost_ = false;
    // Read before QSerialPort's own reading stopped, or by the reply reader before it did.
    QByteArray readAhead_;
#ifndef Q_OS_WIN
    std::unique_ptr<ReplyReader> reader_;
#endif
    std::optional<FiredWrite> firedBeforeStop_;
    std::atomic<bool> readerNewsPosted_{false};
};

PortFactory qtPortFactory(const PortMap& map);

} // namespace quillon
