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

    void setSender(Sender sender) { m_sender = std::move(sender); }
    void setReporter(Reporter reporter) { m_reporter = std::move(reporter); }

    virtual void receive(QByteArrayView bytes) = 0;

    // The program on the other end closed the device (or died). Half-received input
    // belongs to that session and must not leak into the next one.
    virtual void clientClosed() {}

protected:
    void send(const QByteArray& bytes) {
        if (m_sender && !bytes.isEmpty())
            m_sender(bytes);
    }
    void report(const QString& text) {
        if (m_reporter)
            m_reporter(text);
    }

private:
    Sender m_sender;
    Reporter m_reporter;
};

} // namespace quillon::sim
