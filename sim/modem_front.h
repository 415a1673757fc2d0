#pragma once

#include "sim/modem_settings.h"
#include "sim/role.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

namespace quillon::sim {

// A modem between the line and a role. In command state it answers AT command lines;
// once a dial connects, bytes pass both ways between the line and the role until an
// escape ("+++" between guard times of silence) brings the modem back to its commands.
// The role hears nothing of the commands and is heard only while the call is online.
class ModemFront : public Role {
    Q_OBJECT
public:
    enum class State {
        Command,
        Dialing,
        Online,
    };

    // Characters of one command line; a longer line is refused as a whole when it ends,
    // so a sender that never ends a line cannot make us grow without bound.
    static constexpr qsizetype MaxCommandLine = 256;

    ModemFront(std::unique_ptr<Role> behind, const ModemSettings& settings,
               QObject* parent = nullptr);
    ~ModemFront() override;

    void receive(QByteArrayView bytes) override;
    // Online, junk goes on to the far end as junk; otherwise the modem takes it like
    // any other characters.
    void receiveNoise(QByteArrayView bytes) override;
    // In command state the modem takes each command at whatever speed it comes; a dial
    // locks the line to the setting its command came at, until the modem is back to
    // commands. The far end's own setting does not matter: the far modem adapts.
    std::optional<LineSetting> lineSetting() const override;
    // The program closes and reopens the port between the loader's start commands, so a
    // close does not end a call; the line has no DTR to hang up on. A dial nobody waits
    // for any more is dropped, so that the next program does not find a stale call.
    void clientClosed() override;

    State state() const { return state_; }
    // Connected, whether online or escaped to command state.
    bool callUp() const { return callUp_; }

private:
    void takeCommandByte(char c);
    void endCommandLine();
    void runCommand(QByteArrayView body);
    void dial(QByteArrayView rest);
    void dialAnswered();
    void abortDial();
    void goOnline();
    void hangUp();
    void takeOnline(QByteArrayView bytes);
    void escapeTimeout();
    void answer(QByteArrayView result);
    void flushEcho();
    int leadSilenceMs() const;

    ModemSettings settings_;
    State state_ = State::Command;
    bool callUp_ = false;
    bool echo_ = false;
    QByteArray connectResult_;
    LineSetting lockedAt_;

    QByteArray line_;
    bool overflow_ = false;
    QByteArray echoOut_;

    QTimer dialTimer_;
    // A terminal that ends lines with CR LF sends the LF after the dial has started; it
    // belongs to the dial command, not to a key pressed to abort it.
    bool lfMayFollowDial_ = false;

    QElapsedTimer sinceLastByte_;
    QTimer escapeTimer_;
    int heldPlus_ = 0;

    // Last, so it goes first: its sender points back at us.
    std::unique_ptr<Role> behind_;
};

} // namespace quillon::sim
