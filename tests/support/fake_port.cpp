#include "tests/support/fake_port.h"

#include "platform/port_settings.h"

#include <QTimer>

namespace quillon::test {

FakePort::FakePort() {
    clock_.start();
}

int FakePort::setSettings(const QString& settings) {
    const ParsedPortSettings parsed = parsePortSettings(settings);
    if (parsed.error != 0)
        return parsed.error;
    settings_ = settings;
    return 0;
}

int FakePort::open() {
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

QByteArray FakePort::readAll() {
    QByteArray all;
    all.swap(input_);
    return all;
}

int FakePort::write(const QByteArray& data) {
    if (!open_)
        return PortError::PortNotOpen;
    if (writeError_ != 0)
        return writeError_;
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
