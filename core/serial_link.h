#pragma once

#include "core/session.h"
#include "platform/serial_port.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace quillon {

// The main window's link to its serial port: receive routing, the end of a
// receive burst, the quiet-line wait, typed keys and the terminal port opening.
class SerialLink : public QObject {
    Q_OBJECT
public:
    // Outside terminal mode only the newest bytes are kept: enough for every
    // reply search, bounded however long the program runs.
    static constexpr qsizetype kRxBufferLimit = 64 * 1024;

    SerialLink(Session& session, SerialPort& port, QObject* parent = nullptr);

    SerialPort& port() { return port_; }
    // Where received text goes in terminal mode.
    void setTerminalSink(std::function<void(const QByteArray&)> sink) { sink_ = std::move(sink); }

    // MSComm1_OnComm.
    void onCommEvent();
    // WaitForQuietLine: at least 500 ms, and until 500 ms passed without an event.
    void waitForQuietLine();
    // TxtTerminal_KeyPress: one byte to the port; returns the error number.
    int sendKey(char code);
    // OpenTerminalPort: returns the error number, 0 on success.
    int openTerminalPort();

Q_SIGNALS:
    // A chunk arrived outside terminal mode.
    void received(const QByteArray& chunk);
    // The device went away under the open port; reported once.
    void portLost(int errorNumber);

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kBurstMs{500};

    void onBurstEnded();

    Session& session_;
    SerialPort& port_;
    QTimer burstTimer_;
    Clock::time_point lastEventAt_{};
    std::function<void(const QByteArray&)> sink_;
};

// The COM number a port-number text opens (" 7", "07" and "7.0" all open COM7);
// nothing when it opens none.
std::optional<int> comNumber(const QString& portNumber);
// Closes the port when open, then opens it as COM<portNumber> with the
// settings, raising an event for every arrival; returns the error number.
int openPortOn(SerialPort& port, const QString& portNumber, const QString& settings);
// The same on the number the port already has.
int reopenPortAt(SerialPort& port, const QString& settings);

// WaitMs counted from the moment the last byte written to the port has left the wire,
// not from the write call: a guard of silence starts once the line is silent.
void waitFromWireIdle(Waiter& waiter, const SerialPort& port, double milliseconds);

// Newest-bytes bound shared by every receive buffer.
void appendBounded(QByteArray& buffer, const QByteArray& data, qsizetype limit);

} // namespace quillon
