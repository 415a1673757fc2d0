#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace quillon::simtest {

// The simulator program run as a child, the way the demo runs it.
class SimProcess {
public:
    // From QUILLON_SIM, else the one built next to the tests.
    static QString program();

    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess();

    // Starts it and waits for the line announcing the port. On failure `why` says what
    // the simulator printed.
    bool start(const QStringList& arguments, QString* why);
    // Runs it on COMn of a ports folder (a stale link there is removed first). Empty when it
    // runs; otherwise why not.
    QString startOnPort(const QString& portsDir, int com, const QStringList& options);

    // The announcement, without its line end, and the device it names.
    QString banner() const { return banner_; }
    QString device() const { return device_; }
    qint64 pid() const { return process_.processId(); }

    // Sends the signal and waits for the exit.
    bool stopWith(int signo, int timeoutMs);
    QProcess& process() { return process_; }

    // CPU time (user + system) used so far, from /proc.
    double cpuSeconds() const;
    // What it said on stderr so far.
    QByteArray report();

private:
    QProcess process_;
    QString banner_;
    QString device_;
    QByteArray report_;
};

} // namespace quillon::simtest
