#include "sim/wire_log.h"

#include <QIODevice>

namespace quillon::sim {

WireLog::WireLog(const QElapsedTimer& start) : start_(start) {}

bool WireLog::open(const QString& path, QString* error) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("cannot write log %1: %2").arg(path, file_.errorString());
        return false;
    }
    return true;
}

void WireLog::record(Direction direction, QByteArrayView bytes) {
    if (!file_.isOpen() || bytes.isEmpty())
        return;
    file_.write(formatLine(start_.nsecsElapsed(), direction, bytes));
    file_.flush();
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
