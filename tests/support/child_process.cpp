#include "tests/support/child_process.h"

#include "tests/support/event_wait.h"

namespace quillon::test {

bool waitForEnd(QProcess& process, int timeoutMs) {
    return simtest::EventWait()
        .wakeOn(&process, &QProcess::finished)
        .wakeOn(&process, &QProcess::errorOccurred)
        .until([&process] { return process.state() == QProcess::NotRunning; }, timeoutMs);
}

QByteArray seededBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, '\0');
    for (char& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<char>(seed >> 24);
    }
    return bytes;
}

} // namespace quillon::test
