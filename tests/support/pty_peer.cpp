#include "tests/support/pty_peer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::test {

PtyPeer::PtyPeer(const QString& portsDir, int com) {
    clock_.start();
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    // Holding the slave open keeps the master from seeing hang-ups each time
    // the program closes its side.
    slaveKeeper_ = slave;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    devicePath_ = QString::fromLocal8Bit(name);
    QDir().mkpath(portsDir);
    link_ = portsDir + QStringLiteral("/COM%1").arg(com);
    QFile::remove(link_);
    QFile::link(devicePath_, link_);
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PtyPeer::readMaster);
}

PtyPeer::~PtyPeer() {
    vanish();
}

void PtyPeer::vanish() {
    notifier_.reset();
    if (master_ >= 0)
        ::close(master_);
    if (slaveKeeper_ >= 0)
        ::close(slaveKeeper_);
    master_ = slaveKeeper_ = -1;
    if (!link_.isEmpty())
        QFile::remove(link_);
    link_.clear(); // a later peer may own that name by now
}

void PtyPeer::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        const QByteArray bytes(buffer, static_cast<qsizetype>(n));
        chunks_.append({clock_.elapsed(), bytes});
        if (onReceive)
            onReceive(*this, bytes);
    }
    Q_EMIT arrived();
}

void PtyPeer::write(const QByteArray& bytes) {
    writeWithin(bytes, -1);
}

qsizetype PtyPeer::writeWithin(const QByteArray& bytes, int timeoutMs) {
    qsizetype done = 0;
    QElapsedTimer stalled;
    stalled.start();
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n =
            ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
            stalled.start();
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            if (timeoutMs >= 0 && stalled.hasExpired(timeoutMs))
                break;
            // The program has not read yet; give it a moment in the event loop.
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
            continue;
        }
        break;
    }
    return done;
}

QByteArray PtyPeer::received() const {
    QByteArray all;
    for (const Chunk& c : chunks_)
        all += c.bytes;
    return all;
}

bool PtyPeer::waitFor(const QByteArray& needle, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!received().contains(needle)) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &PtyPeer::arrived, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(left));
        loop.exec();
    }
    return true;
}

std::unique_ptr<QSerialPort> holdPort(const QString& devicePath) {
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(devicePath);
    if (!port->open(QIODevice::ReadWrite))
        return nullptr;
    return port;
}

void answerLikeModem(PtyPeer& peer) {
    peer.onReceive = [](PtyPeer& self, const QByteArray& bytes) {
        if (bytes.contains("ATV1"))
            self.write(QByteArrayLiteral("ATV1\r\r\nOK\r\n"));
    };
}

} // namespace quillon::test
