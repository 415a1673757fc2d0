#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

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

    explicit Role(QObject* parent = nullptr) : QObject(parent) {}

    void setSender(Sender sender) { m_sender = std::move(sender); }

    virtual void receive(QByteArrayView bytes) = 0;

    // The program on the other end closed the device (or died). Half-received input
    // belongs to that session and must not leak into the next one.
    virtual void clientClosed() {}

protected:
    void send(const QByteArray& bytes) {
        if (m_sender && !bytes.isEmpty())
            m_sender(bytes);
    }

private:
    Sender m_sender;
};

} // namespace quillon::sim
