#include "tests/support/rx_gate.h"

#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::test {

namespace {

// Longer than the gap between the commands of one pass, far shorter than a pass.
constexpr int kQuietMs = 50;

} // namespace

RxGate::RxGate(const QString& device, const QString& folder, int passes, const QString& fileName)
    : passes_(passes), fileName_(fileName) {
    rx.setWorkingDirectory(folder);
    rx.setStandardInputFile(device);
    rx.setStandardOutputFile(device);
    fd_ = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    ::tcgetattr(fd_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd_, TCSANOW, &raw);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &RxGate::read);
    quiet_.setSingleShot(true);
    quiet_.setInterval(kQuietMs);
    connect(&quiet_, &QTimer::timeout, this, &RxGate::handOver);
}

RxGate::~RxGate() {
    closeLine();
    if (rx.state() != QProcess::NotRunning) {
        rx.kill();
        rx.waitForFinished(2000);
    }
}

bool RxGate::waitForRx(int timeoutMs) {
    if (started_ && rx.state() == QProcess::NotRunning)
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    connect(&rx, &QProcess::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return started_ && rx.state() == QProcess::NotRunning;
}

void RxGate::read() {
    char buffer[256];
    ssize_t n;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
        seen.append(buffer, static_cast<qsizetype>(n));
    // rx takes start commands that reach it for noise and lets the first block
    // go by while it waits for the line to clear: it starts once the pass's
    // commands are over.
    // The sequence opens with "4": a "1" before it (the start-up probe's
    // "ATV1") is no pass.
    const qsizetype opening = seen.indexOf('4');
    if (opening >= 0 && seen.mid(opening).count('1') >= passes_ && !started_)
        quiet_.start();
}

void RxGate::handOver() {
    started_ = true;
    closeLine();
    Q_EMIT rxStarting();
    rx.start(QStringLiteral("rx"),
             QStringList{QStringLiteral("-c"), QStringLiteral("-q")} << rxOptions << fileName_);
}

void RxGate::closeLine() {
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace quillon::test
