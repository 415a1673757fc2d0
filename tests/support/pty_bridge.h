#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace quillon::test {

// Two pseudo-terminals joined back to back, like a null-modem cable: the
// program opens one as COMn, a real peer program (rx, a MODBUS slave) opens
// the other as a tty. Both ends may close and reopen freely: the bridge holds
// each terminal open, so nobody sees a hang-up.
class PtyBridge : public QObject {
    Q_OBJECT
public:
    PtyBridge(const QString& portsDir, int com);
    ~PtyBridge() override;

    bool ok() const { return ends_[0].master >= 0 && ends_[1].master >= 0; }
    QString programDevice() const { return ends_[0].device; }
    QString peerDevice() const { return ends_[1].device; }
    qint64 bytesToPeer() const { return ends_[0].relayed; }

private:
    struct End {
        int master = -1;
        int slaveKeeper = -1;
        QString device;
        std::unique_ptr<QSocketNotifier> readable;
        std::unique_ptr<QSocketNotifier> writable;
        QByteArray backlog; // what the other side has not taken yet
        qint64 relayed = 0;
    };
    void relay(int from);
    void drain(int to);

    End ends_[2];
    QString link_;
};

} // namespace quillon::test
