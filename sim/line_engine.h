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

    QString devicePath() const { return m_line.devicePath(); }
    QString linkPath() const { return m_link.path(); }

private:
    void onReceived(const QByteArray& bytes);
    void onSent(const QByteArray& bytes);
    void onClientClosed();

    // Destroyed bottom-up: the role (whose sender points at m_line) goes first, and the
    // link is removed while the device it names still exists.
    QElapsedTimer m_start;
    PtyLine m_line;
    DeviceWatch m_watch;
    PortLink m_link;
    std::unique_ptr<WireLog> m_log;
    std::unique_ptr<Role> m_role;
};

} // namespace quillon::sim
