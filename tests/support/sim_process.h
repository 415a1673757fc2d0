#pragma once

#include <QProcess>
#include <QStringList>

namespace quillon::test {

// The line simulator started by a test: ready once its port link exists.
class SimulatorProcess {
public:
    ~SimulatorProcess();
    // Empty when it runs; otherwise why not (no simulator path, no start, no link).
    QString start(const QString& portsDir, int com, const QStringList& options);
    QByteArray report(); // what it said on stderr so far
    QProcess process;

private:
    QByteArray report_;
};

} // namespace quillon::test
