#include "bench/bench_support.h"

#include "core/edition.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace quillon::bench {

namespace {

// Port 1 for both modes, no modem: the terminal opens COM1 straight away.
constexpr char kSettingsText[] = "1\r\n9600,n,8,1\r\n1200,n,8,1\r\n/\r\n/tmp/\r\n0\r\n\r\n\r\n\r\n";

} // namespace

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void Findings::say(const QString& line) {
    lines.append(line);
    // Printed at once so a slow or stuck run still shows how far it got.
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void Findings::flag(const QString& problem) {
    badlyOff.append(problem);
    say(QStringLiteral("  BADLY OFF: ") + problem);
}

IsolatedPorts::IsolatedPorts() {
    ok_ = temp_.isValid();
    // Without an entry, COM1..COM10 would fall back to this machine's real
    // serial devices and a run would probe whatever happens to be plugged in.
    for (int com = 1; ok_ && com <= 10; ++com)
        ok_ = writeFile(temp_.filePath(QStringLiteral("COM%1").arg(com)), "/nonexistent\n");
}

WindowRig::WindowRig(const QString& portsDir, const WindowMaker& makeWindow) {
    writeFile(appDir_.filePath(QStringLiteral("Quillon.ini")), kSettingsText);
    session_ = std::make_unique<Session>(fullEdition(), appDir_.path(), dialogs_,
                                         qtPortFactory(PortMap(portsDir)));
    window_ = makeWindow ? makeWindow(*session_) : std::make_unique<FrmXmodem>(*session_);
}

WindowRig::~WindowRig() {
    // The window holds a reference to the session: it must go first.
    window_.reset();
    session_.reset();
}

QString WindowRig::shownErrors() const {
    QStringList texts;
    for (const test::FakeDialogs::Shown& shown : dialogs_.messages)
        texts.append(shown.title + QStringLiteral(": ") + shown.text);
    return texts.join(QStringLiteral(" | "));
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QTimer limit;
    bool held = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            held = true;
            loop.quit();
        }
    });
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(pollMs);
    limit.start(timeoutMs);
    loop.exec();
    return held || done();
}

void idleFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields.at(1).toLongLong() * static_cast<qint64>(::sysconf(_SC_PAGESIZE));
}

CpuShare measureCpu(const std::function<void()>& body) {
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    body();
    CpuShare share;
    share.wallSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    share.cpuSeconds = cpuSeconds() - cpuBefore;
    return share;
}

QString shareText(const CpuShare& share) {
    return QStringLiteral("%1 % (%2 ms CPU in %3)")
        .arg(share.percent(), 0, 'f', 2)
        .arg(share.cpuSeconds * 1000.0, 0, 'f', 2)
        .arg(secondsText(share.wallSeconds));
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double percentile(std::vector<double> values, double percent) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank: a value that was measured, not one between two.
    const auto rank =
        static_cast<std::size_t>(std::ceil(percent / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

QString secondsText(double seconds) {
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', seconds < 0.1 ? 3 : 2);
}

QString ratioText(double numerator, double denominator) {
    if (!(denominator > 0))
        return QStringLiteral("n/a");
    return QString::number(numerator / denominator, 'f', 2);
}

QString megabytesText(double bytes) {
    return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
}

} // namespace quillon::bench
