#include "tests/support/fault_relay.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::test {

FaultRelay::FaultRelay(const QString& portsDir, int com, quint32 seed, const LineFaults& toPeer,
                       const LineFaults& toProgram)
    : random_(seed) {
    clock_.start();
    for (int i = 0; i < 2; ++i) {
        End& end = ends_[i];
        end.faults = i == 0 ? toPeer : toProgram;
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
        end.due.setSingleShot(true);
        end.due.setTimerType(Qt::PreciseTimer);
        connect(&end.due, &QTimer::timeout, this, [this, i] { release(i); });
    }
    QDir().mkpath(portsDir);
    link_ = portsDir + QStringLiteral("/COM%1").arg(com);
    QFile::remove(link_);
    QFile::link(ends_[0].device, link_);
}

FaultRelay::~FaultRelay() {
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

bool FaultRelay::chance(double rate) {
    if (!(rate > 0))
        return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate;
}

QByteArray FaultRelay::spoil(const LineFaults& faults, const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (char c : bytes) {
        if (chance(faults.drop)) {
            ++faults_;
            continue;
        }
        if (chance(faults.flip)) {
            ++faults_;
            c = static_cast<char>(c ^ (1 << std::uniform_int_distribution<int>(0, 7)(random_)));
        }
        out.append(c);
        if (chance(faults.duplicate)) {
            ++faults_;
            out.append(c);
        }
    }
    return out;
}

void FaultRelay::relay(int from) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(ends_[from].master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        const QByteArray bytes =
            spoil(ends_[from].faults, QByteArray(buffer, static_cast<qsizetype>(n)));
        if (bytes.size() > 1 && chance(ends_[from].faults.split)) {
            const auto cut = std::uniform_int_distribution<qsizetype>(1, bytes.size() - 1)(random_);
            hold(from, bytes.left(cut));
            hold(from, bytes.mid(cut));
        } else if (!bytes.isEmpty()) {
            hold(from, bytes);
        }
    }
    release(from);
}

void FaultRelay::hold(int from, QByteArray bytes) {
    End& end = ends_[from];
    qint64 due = clock_.elapsed();
    if (chance(end.faults.delay))
        due += std::uniform_int_distribution<int>(1, std::max(1, end.faults.maxDelayMs))(random_);
    // Never ahead of what is already held: a line delays, it does not reorder.
    if (!end.held.empty())
        due = std::max(due, end.held.back().dueMs);
    end.held.push_back({due, std::move(bytes)});
}

void FaultRelay::release(int from) {
    End& end = ends_[from];
    const qint64 now = clock_.elapsed();
    while (!end.held.empty() && end.held.front().dueMs <= now) {
        end.backlog.append(end.held.front().bytes);
        end.held.pop_front();
    }
    if (!end.held.empty())
        end.due.start(static_cast<int>(end.held.front().dueMs - now));
    drain(1 - from);
}

void FaultRelay::drain(int to) {
    End& source = ends_[1 - to];
    End& target = ends_[to];
    while (!source.backlog.isEmpty()) {
        const ssize_t n = ::write(target.master, source.backlog.constData(),
                                  static_cast<size_t>(source.backlog.size()));
        if (n <= 0)
            break;
        source.backlog.remove(0, n);
    }
    // Wait for room only while something is held back, so the relay sleeps otherwise.
    target.writable->setEnabled(!source.backlog.isEmpty());
}

} // namespace quillon::test
