#include "sim/wire_log.h"

#include <QIODevice>

namespace quillon::sim {

WireLog::WireLog(const QElapsedTimer& start) : m_start(start) {}

bool WireLog::open(const QString& path, QString* error) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("cannot write log %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void WireLog::record(Direction direction, QByteArrayView bytes) {
    if (!m_file.isOpen() || bytes.isEmpty())
        return;
    m_file.write(formatLine(m_start.nsecsElapsed(), direction, bytes));
    m_file.flush();
}

QByteArray WireLog::formatLine(qint64 nsecs, Direction direction, QByteArrayView bytes) {
    const qint64 micros = nsecs / 1000;
    QByteArray line = QByteArray::number(micros / 1000000) + '.' +
                      QByteArray::number(micros % 1000000).rightJustified(6, '0');
    line += direction == Direction::In ? " in " : " out ";
    line += bytes.toByteArray().toHex(' ').toUpper();
    line += '\n';
    return line;
}

} // namespace quillon::sim
