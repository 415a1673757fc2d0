#include "tests/support/pty_bridge.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::test {

PtyBridge::PtyBridge(const QString& portsDir, int com) {
    for (int i = 0; i < 2; ++i) {
        End& end = ends_[i];
        char name[256] = {};
        if (::openpty(&end.master, &end.slaveKeeper, name, nullptr, nullptr) != 0) {
            end.master = -1;
            return;
        }
        termios raw{};
        ::tcgetattr(end.slaveKeeper, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(end.slaveKeeper, TCSANOW, &raw);
        ::fcntl(end.master, F_SETFL, ::fcntl(end.master, F_GETFL) | O_NONBLOCK);
        end.device = QString::fromLocal8Bit(name);
        end.readable = std::make_unique<QSocketNotifier>(end.master, QSocketNotifier::Read);
        connect(end.readable.get(), &QSocketNotifier::activated, this, [this, i] { relay(i); });
        end.writable = std::make_unique<QSocketNotifier>(end.master, QSocketNotifier::Write);
        end.writable->setEnabled(false);
        connect(end.writable.get(), &QSocketNotifier::activated, this, [this, i] { drain(i); });
    }
    QDir().mkpath(portsDir);
    link_ = portsDir + QStringLiteral("/COM%1").arg(com);
    QFile::remove(link_);
    QFile::link(ends_[0].device, link_);
}

PtyBridge::~PtyBridge() {
    for (End& end : ends_) {
        end.readable.reset();
        end.writable.reset();
        if (end.master >= 0)
            ::close(end.master);
        if (end.slaveKeeper >= 0)
            ::close(end.slaveKeeper);
    }
    if (!link_.isEmpty())
        QFile::remove(link_);
}

void PtyBridge::relay(int from) {
    const int to = 1 - from;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(ends_[from].master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        ends_[to].backlog.append(buffer, static_cast<qsizetype>(n));
        ends_[from].relayed += n;
    }
    drain(to);
}

void PtyBridge::drain(int to) {
    End& end = ends_[to];
    while (!end.backlog.isEmpty()) {
        const ssize_t n =
            ::write(end.master, end.backlog.constData(), static_cast<size_t>(end.backlog.size()));
        if (n <= 0)
            break;
        end.backlog.remove(0, n);
    }
    // Wait for room only while something is held back, so the bridge sleeps otherwise.
    end.writable->setEnabled(!end.backlog.isEmpty());
}

} // namespace quillon::test
