#include "tests/support/fault_relay.h"

#include <algorithm>

namespace quillon::test {

FaultRelay::FaultRelay(const QString& portsDir, int com, quint32 seed, const LineFaults& toPeer,
                       const LineFaults& toProgram)
    : pair_(
          portsDir, com, this, [this](int from) { relay(from); },
          [this](int to) { pair_.write(to, ends_[1 - to].backlog); }),
      random_(seed) {
    clock_.start();
    for (int i = 0; i < 2; ++i) {
        End& end = ends_[i];
        end.faults = i == 0 ? toPeer : toProgram;
        end.due.setSingleShot(true);
        end.due.setTimerType(Qt::PreciseTimer);
        connect(&end.due, &QTimer::timeout, this, [this, i] { release(i); });
    }
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
    const QByteArray bytes = spoil(ends_[from].faults, pair_.readAll(from));
    if (bytes.size() > 1 && chance(ends_[from].faults.split)) {
        const auto cut = std::uniform_int_distribution<qsizetype>(1, bytes.size() - 1)(random_);
        hold(from, bytes.left(cut));
        hold(from, bytes.mid(cut));
    } else if (!bytes.isEmpty()) {
        hold(from, bytes);
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
    pair_.write(1 - from, end.backlog);
}

} // namespace quillon::test
