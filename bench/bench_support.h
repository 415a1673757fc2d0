#pragma once

#include "tests/support/process_stats.h"

#include "app/main_window.h"
#include "core/session.h"
#include "tests/support/fake_dialogs.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace quillon::bench {

struct Options {
    bool quick = false;
    qsizetype pushBytes = 1024 * 1024;
    int idleMs = 2000;
    // How long a push may take before the run counts as stuck.
    int pushTimeoutMs = 60000;
    qsizetype uploadBytes = 64 * 1024;
    // Only the uploads of the main window against lrzsz, with and without the
    // accessibility bridge.
    bool uploadOnly = false;
    // A child started for one of those two: the window's uploads in this process.
    bool windowUploadChild = false;
    // How long the start handshake repeats on a line where nobody answers.
    int silentHandshakeMs = 10000;
    // Figures only: nothing found makes the run fail (the smoke test on busy machines).
    bool reportOnly = false;
    // Uploads through a noisy line at each of three error rates; 0 leaves them out.
    int noisyRuns = 0;
    bool noisyOnly = false;
    // Only the uploads through the simulator's line that runs at its speed.
    bool pacedOnly = false;
    bool terminalOnly = false;
};

// What one measurement found: the lines to print, and what is far enough off
// that a smoke run must fail.
struct Findings {
    QStringList lines;
    QStringList badlyOff;
    void say(const QString& line);
    void flag(const QString& problem);
};

// A ports folder where no COM number reaches a device on this machine, so a run
// sees only the peers it links in itself.
class IsolatedPorts {
public:
    IsolatedPorts();
    bool ok() const { return ok_; }
    QString dir() const { return temp_.path(); }

private:
    QTemporaryDir temp_;
    bool ok_ = false;
};

// A main window as the program builds it, with its own program folder holding a
// settings file that names COM1 for the terminal.
class WindowRig {
public:
    using WindowMaker = std::function<std::unique_ptr<FrmXmodem>(Session&)>;
    // makeWindow: a window of a derived kind, for a bench that watches it.
    explicit WindowRig(const QString& portsDir, const WindowMaker& makeWindow = {});
    ~WindowRig();
    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;

    Session& session() { return *session_; }
    FrmXmodem& window() { return *window_; }
    test::FakeDialogs& dialogs() { return dialogs_; }
    // The error boxes the window raised so far, one per line, or empty.
    QString shownErrors() const;

private:
    QTemporaryDir appDir_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<FrmXmodem> window_;
};

// Sleeps in an event loop until `done` holds (asked every pollMs) or the time
// is up; true when it held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 10);
// Sleeps in an event loop, serving whatever arrives meanwhile.
void idleFor(int milliseconds);

bool writeFile(const QString& path, const QByteArray& bytes);

qint64 residentBytes();
// User plus system CPU time of the whole process.
using test::cpuSeconds;

// Process CPU time over wall time for one stretch of the run.
struct CpuShare {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double percent() const { return wallSeconds > 0 ? 100.0 * cpuSeconds / wallSeconds : 0; }
};
CpuShare measureCpu(const std::function<void()>& body);
QString shareText(const CpuShare& share);

double median(std::vector<double> values);
// The value at or below which `percent` of them lie.
double percentile(std::vector<double> values, double percent);

QString secondsText(double seconds);
QString ratioText(double numerator, double denominator);
QString megabytesText(double bytes);

void measureStartup(const Options& options, Findings& findings);
void measureTerminalReceive(const Options& options, Findings& findings);
// Answers the plain event loop's share, the yardstick for the other CPU figures.
CpuShare measureWaitingCpu(const Options& options, Findings& findings);
void measureUpload(const Options& options, const CpuShare& idleReference, Findings& findings);
// The command-line uploader against lrzsz on the same arrangement.
void measureCliUpload(const Options& options, Findings& findings);
// Uploads through the simulator's paced line at 9600 and 115200, ours and lrzsz's.
void measurePacedUpload(const Options& options, Findings& findings);
// The main window's own upload against lrzsz, in this process.
void measureWindowUpload(const Options& options, Findings& findings);
// The same in two children, with the accessibility bridge off and on; needs an
// X display and a D-Bus session bus.
void measureAccessibleUpload(const Options& options, Findings& findings);
void measureNoisyUploads(const Options& options, Findings& findings);
// A child started by measureNoisyUploads runs its share and returns true.
bool runNoisyShardIfAsked();
void measureModbus(const Options& options, const CpuShare& idleReference, Findings& findings);

} // namespace quillon::bench
