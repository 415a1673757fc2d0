#pragma once

#include <QString>

namespace quillon {

// Where COM numbers live on this machine. On Linux an entry COMn in the ports
// folder (a symlink to the device, or a text file holding its path) wins over
// the conventional device names; on Windows COMn is native.
class PortMap {
public:
    // portsDir empty: $QUILLON_PORTS, else "ports" beside the program.
    explicit PortMap(QString portsDir = QString());
    // Only COM `comNumber`, on the given device path (a command line naming its
    // device instead of a number); every other number has none.
    static PortMap single(int comNumber, const QString& device);

    // The device for a COM number, or empty when there is none.
    QString devicePath(int comNumber) const;

    const QString& portsDir() const { return portsDir_; }

    static QString defaultPortsDir();
    // False on Windows, where a COM number names the port itself (and a file
    // named COMn cannot be made).
    static bool usesPortsFolder();

private:
    QString portsDir_;
    int singleCom_ = 0;
    QString singleDevice_;
};

} // namespace quillon
