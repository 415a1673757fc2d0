#pragma once

#include "sim/role.h"

namespace quillon::sim {

// Answers each line typed at it with "PXC: <line>", like a controller console that only
// acknowledges input. It never echoes single characters: the terminal on the other end
// shows its own typing.
class TerminalRole : public Role {
    Q_OBJECT
public:
    // Longer lines are answered in pieces of this size so a sender that never ends a
    // line cannot make us grow without bound.
    static constexpr qsizetype MaxLine = 256;

    // Listening at `line`, or at whatever the program sets when none is given.
    explicit TerminalRole(std::optional<LineSetting> line = std::nullopt,
                          QObject* parent = nullptr);

    void receive(QByteArrayView bytes) override;
    std::optional<LineSetting> lineSetting() const override { return listensAt_; }
    void clientClosed() override;

    // Part of a line has come and waits for its end.
    bool lineStarted() const { return !line_.isEmpty(); }

private:
    void answer();

    QByteArray line_;
    std::optional<LineSetting> listensAt_;
};

} // namespace quillon::sim
