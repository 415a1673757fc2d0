#include "tests/support/pty_bridge.h"

namespace quillon::test {

PtyBridge::PtyBridge(const QString& portsDir, int com)
    : pair_(
          portsDir, com, this, [this](int from) { relay(from); },
          [this](int to) { pair_.write(to, backlog_[to]); }) {}

void PtyBridge::relay(int from) {
    const int to = 1 - from;
    const QByteArray bytes = pair_.readAll(from);
    relayed_[from] += bytes.size();
    backlog_[to].append(bytes);
    pair_.write(to, backlog_[to]);
}

} // namespace quillon::test
