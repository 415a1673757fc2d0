#include "tty_port.h"

#include "tests/support/event_wait.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::simtest {

namespace {

speed_t speedOf(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    default:
        return B9600;
    }
}

} // namespace

TtyPort::TtyPort() = default;

TtyPort::~TtyPort() {
    close();
}

bool TtyPort::open(const QString& path, int baud, int stopBits) {
    close();
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0 || !setSpeed(baud, stopBits))
        return false;
    received_.clear();
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readAvailable(); });
    return true;
}

bool TtyPort::setSpeed(int baud, int stopBits) {
    termios tio{};
    if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, speedOf(baud));
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    else
        tio.c_cflag &= ~CSTOPB;
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
}

bool TtyPort::write(QByteArrayView bytes) {
    sinceWrite_.start();
    return fd_ >= 0 && ::write(fd_, bytes.data(), static_cast<size_t>(bytes.size())) ==
                           static_cast<ssize_t>(bytes.size());
}

void TtyPort::close() {
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void TtyPort::readAvailable() {
    char buffer[1024];
    ssize_t n = 0;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
        received_.append(buffer, static_cast<qsizetype>(n));
        lastArrivalNs_ = sinceWrite_.isValid() ? sinceWrite_.nsecsElapsed() : 0;
    }
}

QByteArray TtyPort::readUntil(qsizetype want, int timeoutMs) {
    if (notifier_) {
        EventWait wait;
        wait.wakeOn(notifier_.get(), &QSocketNotifier::activated);
        wait.until([&] { return received_.size() >= want; }, timeoutMs);
    }
    return received_;
}

qint64 lineTimeNs(qsizetype characters, int baud, int stopBits) {
    return characters * (1 + 8 + stopBits) * 1'000'000'000LL / baud;
}

void waitLineTime(qsizetype characters, int baud, int stopBits) {
    runEventsFor(static_cast<int>(lineTimeNs(characters, baud, stopBits) / 1'000'000) + 5);
}

} // namespace quillon::simtest
