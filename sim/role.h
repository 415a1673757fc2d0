#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>
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

private:
    Sender sender_;
    Reporter reporter_;
};

} // namespace quillon::sim
