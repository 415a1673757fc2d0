#include "sim/pty_line.h"

#include "sim/tty_line.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::sim {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool makeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool addFlags(int fd, int getCmd, int setCmd, int flags) {
    const int current = ::fcntl(fd, getCmd);
    return current >= 0 && ::fcntl(fd, setCmd, current | flags) == 0;
}

} // namespace

PtyLine::PtyLine(QObject* parent) : QObject(parent) {}

PtyLine::~PtyLine() {
    delete readNotifier_;
    delete writeNotifier_;
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyLine::open(QString* error, bool reportSettings) {
    auto fail = [&](const char* what) {
        if (error)
            *error = systemError(what);
        return false;
    };
    // The slave descriptor stays open for our whole life although we never read it: once
    // the last slave descriptor closes, the master reports EIO/POLLHUP on every poll and
    // a read notifier would spin. Holding it also keeps the device name valid between
    // the other program's open/close cycles.
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        return fail("openpty");
    if (!makeRaw(slave_) || !makeRaw(master_))
        return fail("cannot make the pseudo-terminal raw");
    // In packet mode every read of the master starts with a byte of its own: 0 before
    // data, or the news that the terminal's settings were set (which needs EXTPROC on
    // the slave side), ahead of any data still waiting.
    int on = 1;
    packetMode_ =
        reportSettings && keepReportingSettings(slave_) && ::ioctl(master_, TIOCPKT, &on) == 0;
    if (!addFlags(master_, F_GETFL, F_SETFL, O_NONBLOCK))
        return fail("cannot make the pseudo-terminal non-blocking");
    if (!addFlags(master_, F_GETFD, F_SETFD, FD_CLOEXEC) ||
        !addFlags(slave_, F_GETFD, F_SETFD, FD_CLOEXEC))
        return fail("cannot set close-on-exec on the pseudo-terminal");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0)
        return fail("ptsname");
    devicePath_ = QString::fromLocal8Bit(name);

    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    readNotifier_->setEnabled(false);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyLine::readAvailable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyLine::flushPending);
    return true;
}

void PtyLine::startReading() {
    if (readNotifier_)
        readNotifier_->setEnabled(true);
}

void PtyLine::readAvailable() {
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
        takeRead(buffer, static_cast<qsizetype>(n));
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // EIO or end of file: the slave side is gone. That should not happen while we hold
    // our own slave descriptor, but if it does, look again later rather than let the
    // notifier fire back to back.
    readNotifier_->setEnabled(false);
    QTimer::singleShot(100, readNotifier_,
                       [notifier = readNotifier_] { notifier->setEnabled(true); });
}

void PtyLine::takeRead(const char* bytes, qsizetype n) {
    if (!packetMode_) {
        emit received(QByteArray(bytes, n));
        return;
    }
    if (bytes[0] != TIOCPKT_DATA) {
        emit settingsTouched();
        return;
    }
    if (n > 1)
        emit received(QByteArray(bytes + 1, n - 1));
}

void PtyLine::write(const QByteArray& bytes) {
    if (master_ < 0)
        return;
    if (pending_.size() + bytes.size() > MaxPending)
        return;
    pending_ += bytes;
    flushPending();
}

void PtyLine::flushPending() {
    while (!pending_.isEmpty()) {
        const ssize_t n =
            ::write(master_, pending_.constData(), static_cast<size_t>(pending_.size()));
        if (n > 0) {
            emit sent(pending_.left(n));
            pending_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The other side is not reading; carry on when the pty has room again.
            writeNotifier_->setEnabled(true);
            return;
        }
        pending_.clear();
    }
    writeNotifier_->setEnabled(false);
}

} // namespace quillon::sim
