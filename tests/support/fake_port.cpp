#include "tests/support/fake_port.h"

#include "platform/port_settings.h"

#include <QTimer>

#include <algorithm>

namespace quillon::test {

FakePort::FakePort() {
    clock_.start();
}

int FakePort::applySettings(const QString& text, const PortSettings& /*settings*/) {
    if (open_ && text != settings_)
        checkLineIdle(QStringLiteral("setting ") + text);
    settings_ = text;
    return 0;
}

void FakePort::closeDevice() {
    if (!open_)
        return;
    checkLineIdle(QStringLiteral("close"));
    events_ << QStringLiteral("close");
    open_ = false;
}

void FakePort::checkLineIdle(const QString& what) {
    const qint64 now = clock_.nsecsElapsed();
    if (now >= lineBusyUntilNs_)
        return;
    lineFaults_ << QStringLiteral("%1 %2 ms before the end of %3")
                       .arg(what)
                       .arg(static_cast<double>(lineBusyUntilNs_ - now) / 1e6, 0, 'f', 2)
                       .arg(lastWriteOnLine_);
}

int FakePort::openDevice() {
    if (open_)
        return PortError::AlreadyOpen;
    const int result = openResult ? openResult(number_) : 0;
    if (result != 0)
        return result;
    open_ = true;
    ++openCount_;
    events_ << QStringLiteral("open ") + settings_;
    return 0;
}

QByteArray FakePort::readDevice() {
    QByteArray all;
    all.swap(input_);
    return all;
}

int FakePort::writeDevice(const QByteArray& data) {
    if (!open_)
        return PortError::PortNotOpen;
    if (writeError_ != 0)
        return writeError_;
    const ParsedPortSettings line = parsePortSettings(settings_);
    const qint64 ns =
        static_cast<qint64>(static_cast<double>(data.size()) * bitsPerCharacter(line.settings) *
                            1e9 / line.settings.baudRate);
    lineBusyUntilNs_ = std::max(lineBusyUntilNs_, clock_.nsecsElapsed()) + ns;
    lastWriteOnLine_ = QStringLiteral("%1 byte(s) at %2 (%3 ms)")
                           .arg(data.size())
                           .arg(settings_)
                           .arg(static_cast<double>(ns) / 1e6);
    writes_.append({clock_.elapsed(), data, settings_});
    QString shown = QStringLiteral("block");
    if (data.size() == 1 && data.at(0) >= 0x20 && data.at(0) < 0x7F)
        shown = QString::fromLatin1(data);
    else if (data.size() <= 8)
        shown = QStringLiteral("0x") + QString::fromLatin1(data.toHex());
    events_ << QStringLiteral("write ") + shown;
    if (onWrite)
        onWrite(*this, data);
    return 0;
}

void FakePort::inject(const QByteArray& bytes) {
    if (!open_)
        return;
    input_.append(bytes);
    if (receiveThreshold_ >= 1)
        Q_EMIT commEvent();
}

void FakePort::injectAfter(int ms, const QByteArray& bytes) {
    QTimer::singleShot(ms, this, [this, bytes] { inject(bytes); });
}

void FakePort::vanish() {
    if (!open_)
        return;
    open_ = false;
    Q_EMIT deviceLost(PortError::DeviceLost);
}

QByteArray FakePort::written() const {
    QByteArray all;
    for (const Write& w : writes_)
        all += w.bytes;
    return all;
}

} // namespace quillon::test
