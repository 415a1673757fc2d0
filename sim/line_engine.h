#pragma once

#include "sim/device_watch.h"
#include "sim/line_pacer.h"
#include "sim/port_link.h"
#include "sim/pty_line.h"
#include "sim/role.h"
#include "sim/tty_line.h"
#include "sim/wire_log.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>

namespace quillon::sim {

// One simulated serial line: the pseudo-terminal, its COMn name, the wire log and the
// role that plays the device behind it. Paced, the line runs at the speed the program
// sets on its end, and the role hears only what a UART at its own setting would make
// of it; unpaced, bytes cross at once and every setting is heard.
class LineEngine : public QObject {
    Q_OBJECT
public:
    LineEngine(const QElapsedTimer& start, bool paced, QObject* parent = nullptr);
    ~LineEngine() override;

    // Opens the pseudo-terminal and links it as dir/COM<com>.
    bool open(const QString& portsDir, int com, QString* error);
    bool openLog(const QString& path, QString* error);
    void setRole(std::unique_ptr<Role> role);

    QString devicePath() const { return line_.devicePath(); }
    QString linkPath() const { return link_.path(); }

private:
    void onReceived(const QByteArray& bytes);
    void onSent(const QByteArray& bytes);
    void onOpened();
    void onClientClosed();
    void sendForRole(const QByteArray& bytes);

    // Paced only.
    void checkProgramLine();
    void catchUp();
    void tellRoleOfCloses();
    void deliverToController(const QList<EndedByte>& bytes);
    void hand(const EndedByte& byte);
    void deliverToProgram(const QList<EndedByte>& bytes);

    // Destroyed bottom-up: the role (whose sender points at line_ and the pacer) goes
    // first, and the link is removed while the device it names still exists.
    QElapsedTimer start_;
    bool paced_;
    PtyLine line_;
    DeviceWatch watch_;
    PortLink link_;
    std::unique_ptr<WireLog> log_;
    LinePacer pacer_;
    ProgramLine program_;
    bool watching_ = false;
    int openers_ = 0;
    qint64 handedToRole_ = 0;
    // For each close by the program: how many of its bytes the role must have had
    // before it hears of the close, since the bytes were on the wire before it.
    std::deque<qint64> closesAfter_;
    std::unique_ptr<Role> role_;
};

} // namespace quillon::sim
