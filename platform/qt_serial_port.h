#pragma once

#include "platform/port_map.h"
#include "platform/port_settings.h"
#include "platform/serial_port.h"

#include <QSerialPort>

namespace quillon {

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

private:
    void onReadyRead();
    void onBytesWritten();
    // The send event for bytes that went into the driver without QSerialPort.
    void announceOutputEmptied();
    void onError(QSerialPort::SerialPortError error);
    int openErrorNumber(const QString& path) const;
    int applyLineSettings();

    PortMap map_;
    QSerialPort port_;
    int number_ = 1;
    QString settingsText_ = QStringLiteral("9600,n,8,1");
    PortSettings settings_;
    int receiveThreshold_ = 1;
    int sendThreshold_ = 0;
    int eventCode_ = 0;
    bool lost_ = false;
};

PortFactory qtPortFactory(const PortMap& map);

} // namespace quillon
