#include "sim/pty_line.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
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
    delete m_readNotifier;
    delete m_writeNotifier;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyLine::open(QString* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = systemError(what);
        return false;
    };
    // The slave descriptor stays open for our whole life although we never read it: once
    // the last slave descriptor closes, the master reports EIO/POLLHUP on every poll and
    // a read notifier would spin. Holding it also keeps the device name valid between
    // the other program's open/close cycles.
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
        return fail("openpty");
    if (!makeRaw(m_slave) || !makeRaw(m_master))
        return fail("cannot make the pseudo-terminal raw");
    if (!addFlags(m_master, F_GETFL, F_SETFL, O_NONBLOCK))
        return fail("cannot make the pseudo-terminal non-blocking");
    if (!addFlags(m_master, F_GETFD, F_SETFD, FD_CLOEXEC) ||
        !addFlags(m_slave, F_GETFD, F_SETFD, FD_CLOEXEC))
        return fail("cannot set close-on-exec on the pseudo-terminal");
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail("ptsname");
    m_devicePath = QString::fromLocal8Bit(name);

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::readAvailable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyLine::flushPending);
    return true;
}

void PtyLine::startReading() {
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
}

void PtyLine::readAvailable() {
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0) {
        emit received(QByteArray(buffer, static_cast<qsizetype>(n)));
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // EIO or end of file: the slave side is gone. That should not happen while we hold
    // our own slave descriptor, but if it does, look again later rather than let the
    // notifier fire back to back.
    m_readNotifier->setEnabled(false);
    QTimer::singleShot(100, m_readNotifier,
                       [notifier = m_readNotifier] { notifier->setEnabled(true); });
}

void PtyLine::write(const QByteArray& bytes) {
    if (m_master < 0)
        return;
    if (m_pending.size() + bytes.size() > MaxPending)
        return;
    m_pending += bytes;
    flushPending();
}

void PtyLine::flushPending() {
    while (!m_pending.isEmpty()) {
        const ssize_t n =
            ::write(m_master, m_pending.constData(), static_cast<size_t>(m_pending.size()));
        if (n > 0) {
            emit sent(m_pending.left(n));
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The other side is not reading; carry on when the pty has room again.
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_pending.clear();
    }
    m_writeNotifier->setEnabled(false);
}

} // namespace quillon::sim
