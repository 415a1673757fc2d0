#pragma once

#include "sim/line_setting.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace quillon::sim {

// What the simulated controller does with the bytes it receives. A role is a QObject so
// it can own QTimers for protocol timeouts; the engine hands it a sender and feeds it
// every chunk read from the line.
class Role : public QObject {
    Q_OBJECT
public:
    using Sender = std::function<void(const QByteArray&)>;
    // Takes one line for a person watching the simulator: what the device did, not bytes.
    using Reporter = std::function<void(const QString&)>;

    explicit Role(QObject* parent = nullptr) : QObject(parent) {}

    void setSender(Sender sender) { sender_ = std::move(sender); }
    void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }

    virtual void receive(QByteArrayView bytes) = 0;
    // What the receiving UART made of characters sent at another speed than it listens
    // at, or caught by a change of speed on the wire: junk, which firmware waiting for
    // a command may ignore.
    virtual void receiveNoise(QByteArrayView bytes) { receive(bytes); }

    // The setting the device listens and answers at now; none while it follows
    // whatever the program sets, as an autobauding modem does.
    virtual std::optional<LineSetting> lineSetting() const { return std::nullopt; }
    // A role that stands for a cable rather than a UART takes every character as it
    // was sent, garbled or not.
    virtual bool hearsEveryByte() const { return false; }

    // The setting the characters about to be received were sent at.
    void setHeardAt(const LineSetting& setting) { heardAt_ = setting; }

    // The program on the other end closed the device (or died). Half-received input
    // belongs to that session and must not leak into the next one.
    virtual void clientClosed() {}

protected:
    void send(const QByteArray& bytes) {
        if (sender_ && !bytes.isEmpty())
            sender_(bytes);
    }
    void report(const QString& text) {
        if (reporter_)
            reporter_(text);
    }
    const LineSetting& heardAt() const { return heardAt_; }

private:
    Sender sender_;
    Reporter reporter_;
    LineSetting heardAt_;
};

} // namespace quillon::sim
