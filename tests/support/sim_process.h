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

    // A line running at the speed the test sets on its port, where the controller hears
    // only its own settings. Otherwise (unless the test is about speed) bytes cross at
    // once and every setting is heard, so that a test is as quick and as sure as ever.
    void setPaced(bool paced) { paced_ = paced; }

    // Starts it and waits for the line announcing the port. On failure `why` says what
    // the simulator printed.
    bool start(const QStringList& arguments, QString* why);
    // Runs it on COMn of a ports folder (a stale link there is removed first). Empty when it
    // runs; otherwise why not.
    QString startOnPort(const QString& portsDir, int com, const QStringList& options);

    // The announcement, without its line end, and the device it names.
    QString banner() const { return banner_; }
    QString device() const { return device_; }
    // A relay's far end, from the announcement's second line.
    QString farDevice() const { return farDevice_; }
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
    QString farDevice_;
    QByteArray report_;
    bool paced_ = false;
};

} // namespace quillon::simtest
