#pragma once

#include <QByteArray>
#include <QProcess>

namespace quillon::test {

// Sleeps in an event loop until the process has ended or the time is up; true
// when it ended. Pty bridges and gates of this process go on relaying meanwhile.
bool waitForEnd(QProcess& process, int timeoutMs);

// Bytes that stand for a program file: the same seed gives the same bytes.
QByteArray seededBytes(qsizetype size, quint32 seed);

} // namespace quillon::test
