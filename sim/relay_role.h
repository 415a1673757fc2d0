#pragma once

#include "sim/pty_line.h"
#include "sim/role.h"

namespace quillon::sim {

// A cable to another program: a second pseudo-terminal whose far end a third-party
// peer opens. What the program sends reaches the peer, and the peer's answers reach
// the program, both at the pace of the program's setting, byte for byte.
class RelayRole : public Role {
    Q_OBJECT
public:
    explicit RelayRole(QObject* parent = nullptr);

    bool open(QString* error);
    // The device the peer opens.
    QString devicePath() const { return farEnd_.devicePath(); }

    void receive(QByteArrayView bytes) override;
    bool hearsEveryByte() const override { return true; }

private:
    PtyLine farEnd_;
};

} // namespace quillon::sim
