#pragma once

#include "tests/support/pty_pair.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace quillon::test {

// Two pseudo-terminals joined back to back, like a null-modem cable: the
// program opens one as COMn, a real peer program (rx, a MODBUS slave) opens
// the other as a tty. Both ends may close and reopen freely: the bridge holds
// each terminal open, so nobody sees a hang-up.
class PtyBridge : public QObject {
    Q_OBJECT
public:
    PtyBridge(const QString& portsDir, int com);

    bool ok() const { return pair_.ok(); }
    QString programDevice() const { return pair_.device(0); }
    QString peerDevice() const { return pair_.device(1); }
    qint64 bytesToPeer() const { return relayed_[0]; }

private:
    void relay(int from);

    PtyPair pair_;
    QByteArray backlog_[2]; // bound for each end, not taken yet
    qint64 relayed_[2] = {};
};

} // namespace quillon::test
