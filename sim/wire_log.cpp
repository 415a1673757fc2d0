#include "sim/wire_log.h"

#include <QIODevice>

namespace quillon::sim {

namespace {

QByteArray secondsOf(qint64 nsecs) {
    const qint64 micros = nsecs / 1000;
    return QByteArray::number(micros / 1000000) + '.' +
           QByteArray::number(micros % 1000000).rightJustified(6, '0');
}

const char* wordOf(WireLog::Direction direction) {
    switch (direction) {
    case WireLog::Direction::In:
        return " in ";
    case WireLog::Direction::Out:
        return " out ";
    case WireLog::Direction::Noise:
        return " noise ";
    }
    return " ";
}

} // namespace

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
    if (!bytes.isEmpty())
        write(formatLine(start_.nsecsElapsed(), direction, bytes));
}

void WireLog::recordSetting(const LineSetting& setting) {
    write(formatSetting(start_.nsecsElapsed(), setting));
}

void WireLog::write(const QByteArray& line) {
    if (!file_.isOpen())
        return;
    file_.write(line);
    file_.flush();
}

QByteArray WireLog::formatLine(qint64 nsecs, Direction direction, QByteArrayView bytes) {
    return secondsOf(nsecs) + wordOf(direction) + bytes.toByteArray().toHex(' ').toUpper() + '\n';
}

QByteArray WireLog::formatSetting(qint64 nsecs, const LineSetting& setting) {
    return secondsOf(nsecs) + " set " + QByteArray::number(setting.baud) + ' ' +
           setting.stopBitsText().toLatin1() + '\n';
}

} // namespace quillon::sim
