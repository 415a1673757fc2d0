#include "tests/support/pty_pair.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::test {

PtyPair::PtyPair(const QString& portsDir, int com, QObject* context, const EndEvent& readable,
                 const EndEvent& writable) {
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
        QObject::connect(end.readable.get(), &QSocketNotifier::activated, context,
                         [readable, i] { readable(i); });
        end.writable = std::make_unique<QSocketNotifier>(end.master, QSocketNotifier::Write);
        end.writable->setEnabled(false);
        QObject::connect(end.writable.get(), &QSocketNotifier::activated, context,
                         [writable, i] { writable(i); });
    }
    QDir().mkpath(portsDir);
    link_ = portsDir + QStringLiteral("/COM%1").arg(com);
    QFile::remove(link_);
    QFile::link(ends_[0].device, link_);
}

PtyPair::~PtyPair() {
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

QByteArray PtyPair::readAll(int end) {
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(ends_[end].master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<qsizetype>(n));
    }
    return bytes;
}

void PtyPair::write(int end, QByteArray& bytes) {
    End& target = ends_[end];
    while (!bytes.isEmpty()) {
        const ssize_t n =
            ::write(target.master, bytes.constData(), static_cast<size_t>(bytes.size()));
        if (n <= 0)
            break;
        bytes.remove(0, n);
    }
    target.writable->setEnabled(!bytes.isEmpty());
}

} // namespace quillon::test
