#pragma once

#include "sim/loader_settings.h"
#include "sim/role.h"
#include "sim/xmodem_receiver.h"

#include <QTimer>

#include <memory>

namespace quillon::sim {

// The controller's program loader. The program starts it by sending "4" (initialise) and
// then "1", repeating both every second; once the technician has pressed B1 and B2 the
// loader calls for blocks with "C" every second until the first one comes, then takes the
// program and writes it to the save path.
class LoaderRole : public Role {
    Q_OBJECT
public:
    enum class Phase {
        Idle,
        // "4" seen, waiting for enough "1" commands.
        Starting,
        // Sending "C" until the first block comes.
        Calling,
        Receiving,
    };

    static constexpr char Initialise = '4';
    static constexpr char Command = '1';

    explicit LoaderRole(const LoaderSettings& settings, QObject* parent = nullptr);
    ~LoaderRole() override;

    void receive(QByteArrayView bytes) override;
    // Until blocks come, junk is no command: the program repeats its "4" at the
    // console's setting, which reaches a loader already at its own as noise. During a
    // transfer it is what became of a block on the line, and the block gets its NAK.
    void receiveNoise(QByteArrayView bytes) override;
    std::optional<LineSetting> lineSetting() const override;
    // The program closes and reopens the port between the start commands, so a close
    // ends nothing before the transfer. During one it means the sender is gone, but the
    // news can overtake the sender's last bytes: the transfer ends only once the line
    // has then been quiet for the inter-byte time.
    void clientClosed() override;

    Phase phase() const { return phase_; }
    // Whether c, arriving while idle, may begin a start sequence.
    bool opensWith(char c) const {
        return c == Initialise || (settings_.startsOnCommands && c == Command);
    }
    // Back to idle, dropping whatever was under way.
    void reset();

private:
    void take(char c);
    void takeStartCommand(char c);
    void startCalling();
    void call();
    void giveUp();
    void senderGone();
    void finish(XmodemReceiver::Outcome outcome);
    void save();
    QString blocksSoFar() const;

    LoaderSettings settings_;
    Phase phase_ = Phase::Idle;
    int commands_ = 0;
    QTimer startQuiet_;
    QTimer callTimer_;
    QTimer giveUp_;
    QTimer afterClose_;
    std::unique_ptr<XmodemReceiver> receiver_;
};

} // namespace quillon::sim
