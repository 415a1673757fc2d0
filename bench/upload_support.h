#pragma once

#include "bench/bench_support.h"

#include "core/serial_link.h"
#include "core/session.h"
#include "tests/support/fake_dialogs.h"
#include "transfer/upload.h"
#include "transfer/upload_view.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// What the upload benches share: the program they send, the upload as the main
// window runs it without the window, the lrzsz peers and the verdict on what arrived.
namespace quillon::bench {

// The same pseudo-random bytes in every run and every bench.
QByteArray pseudoRandomBytes(qsizetype size);

// Empty when the file holds the source followed by 0x1A up to a block boundary (at
// most one block of it), else what is wrong.
QString receivedProblem(const QByteArray& source, const QString& path);

// The moment the event loop learned of something, on a run's clock, with the process
// CPU used by then.
struct Mark {
    qint64 ns = -1;
    double cpu = 0;
    bool taken() const { return ns >= 0; }
    void take(const QElapsedTimer& clock) {
        ns = clock.nsecsElapsed();
        cpu = cpuSeconds();
    }
};

// When the status line first said the controller asked for the first block.
class TransferMark {
public:
    explicit TransferMark(const QElapsedTimer& clock) : clock_(clock) {}
    void seen(const QString& status);

    Mark transferring;
    std::function<void()> onTransferring;

private:
    const QElapsedTimer& clock_;
};

// The window's indicators, reduced to the status line.
class TimedView final : public UploadView {
public:
    explicit TimedView(const QElapsedTimer& clock) : mark(clock) {}

    void setStatus(const QString& text) override {
        status_ = text;
        mark.seen(text);
    }
    QString status() const override { return status_; }
    void setInfo(const QString&) override {}
    void setLabOk(const QString&) override {}
    void setLabTotal(const QString&) override {}
    void setLabErros(const QString&) override {}
    void setLabPorcento(const QString&) override {}
    void setProgressMaximum(int) override {}
    void setProgressValue(int) override {}
    bool isMinimized() const override { return false; }
    void setCaption(const QString&) override {}

    TransferMark mark;

private:
    QString status_;
};

// The status an upload ends with when everything was acknowledged.
bool uploadSucceeded(const QString& status);

// What the main window puts around an upload: a port from the program's own factory,
// the link that turns its replies into the transfer flags, and the upload command.
struct UploadRig {
    UploadRig(const QString& portsDir, const QString& programFile, const QElapsedTimer& clock,
              int com, const QString& transferSettings);

    QString shownErrors() const;
    // Stopped as the cancel key does it: the handshake ends at its next pass, a block
    // at its limit.
    void stop();
    // The upload, stopped if it still runs after limitMs (only a stuck one gets there).
    void runWithin(int limitMs);

    QTemporaryDir appDir;
    test::FakeDialogs dialogs;
    Session session;
    std::unique_ptr<SerialPort> port;
    SerialLink link;
    TimedView view;
    Upload upload;
};

// A peer program on one end of the line, its terminal as stdin and stdout.
void attach(QProcess& process, const QString& device, const QString& folder);
void endProcess(QProcess& process);
// Empty when the process ended with 0; else its status and what it said.
QString exitProblem(QProcess& process, const QString& name);

// A pseudo-random program in a folder of its own, and ports of their own.
struct UploadGround {
    explicit UploadGround(qsizetype bytes);

    IsolatedPorts ports;
    QTemporaryDir work;
    QByteArray source;
    QString path;
    bool ok;
};

// Says why the measure named `name` cannot run here, if it cannot.
bool groundReady(const UploadGround& ground, const QString& name, Findings& findings);

QString goalText(bool met);

} // namespace quillon::bench
