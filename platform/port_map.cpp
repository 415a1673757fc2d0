#include "platform/port_map.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace quillon {

#ifndef Q_OS_WIN
namespace {

// The device path a text entry holds: its first line, whichever line end a
// program wrote it with. A NUL cannot stand in a path: such an entry names no device.
QString pathInEntryFile(const QString& entry) {
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray line = file.read(4096);
    const auto end =
        std::find_if(line.cbegin(), line.cend(), [](char c) { return c == '\r' || c == '\n'; });
    line.truncate(end - line.cbegin());
    if (line.contains('\0'))
        return {};
    return QString::fromLocal8Bit(line).trimmed();
}

} // namespace
#endif

PortMap::PortMap(QString portsDir)
    : portsDir_(portsDir.isEmpty() ? defaultPortsDir() : std::move(portsDir)) {}

QString PortMap::defaultPortsDir() {
    const QString fromEnv = qEnvironmentVariable("QUILLON_PORTS");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ports");
}

bool PortMap::usesPortsFolder() {
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
}

PortMap PortMap::single(int comNumber, const QString& device) {
    PortMap map;
    map.singleCom_ = comNumber;
    // One device reached by two names must take one lock file.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    map.singleDevice_ = canonical.isEmpty() ? device : canonical;
    return map;
}

QString PortMap::devicePath(int comNumber) const {
    if (comNumber < 1)
        return {};
    if (singleCom_ > 0)
        return comNumber == singleCom_ ? singleDevice_ : QString();
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\COM%1").arg(comNumber);
#else
    const QString entry = portsDir_ + QStringLiteral("/COM%1").arg(comNumber);
    const QFileInfo info(entry);
    if (info.isSymLink()) {
        // The lock file QSerialPort takes is named after the path it opens, so
        // two names for one device must resolve to one path to exclude each other.
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? info.symLinkTarget() : canonical;
    }
    if (info.isFile()) {
        const QString path = pathInEntryFile(entry);
        if (path.isEmpty())
            return {};
        const QString canonical = QFileInfo(path).canonicalFilePath();
        return canonical.isEmpty() ? path : canonical;
    }
    if (comNumber <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
    if (comNumber <= 8)
        return QStringLiteral("/dev/ttyUSB%1").arg(comNumber - 5);
    if (comNumber <= 10)
        return QStringLiteral("/dev/ttyACM%1").arg(comNumber - 9);
    return {};
#endif
}

} // namespace quillon
