#pragma once

#include "sim/device_watch.h"
#include "sim/port_link.h"
#include "sim/pty_line.h"
#include "sim/role.h"
#include "sim/wire_log.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

namespace quillon::sim {

// One simulated serial line: the pseudo-terminal, its COMn name, the wire log and the
// role that plays the device behind it.
class LineEngine : public QObject {
    Q_OBJECT
public:
    explicit LineEngine(const QElapsedTimer& start, QObject* parent = nullptr);
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
    void onClientClosed();

    // Destroyed bottom-up: the role (whose sender points at line_) goes first, and the
    // link is removed while the device it names still exists.
    QElapsedTimer start_;
    PtyLine line_;
    DeviceWatch watch_;
    PortLink link_;
    std::unique_ptr<WireLog> log_;
    std::unique_ptr<Role> role_;
};

} // namespace quillon::sim
