#include "platform/signal_watch.h"

#include <QSocketNotifier>
#include <QString>

#include <csignal>

#ifdef Q_OS_WIN
#include <QMetaObject>
#include <QPointer>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quillon {

#ifndef Q_OS_WIN
namespace {

// One process, one pipe: a signal handler cannot reach an object.
int pipeFds[2] = {-1, -1};

void onSignal(int signo) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t ignored = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace
#else
namespace {

// The console calls its handler on a thread of its own: the watch is reached only
// through a queued call, which Qt makes safe across threads.
QPointer<SignalWatch> consoleWatch;

int signalFor(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_BREAK_EVENT:
        return SIGINT;
    case CTRL_CLOSE_EVENT:
        return SIGTERM;
    default:
        return 0;
    }
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    const int signo = signalFor(event);
    SignalWatch* watch = consoleWatch.data();
    if (signo == 0 || watch == nullptr)
        return FALSE;
    QMetaObject::invokeMethod(
        watch, [watch, signo] { emit watch->caught(signo); }, Qt::QueuedConnection);
    if (event == CTRL_CLOSE_EVENT)
        ::Sleep(5000); // the console ends the process when this returns: give the run time to stop
    return TRUE;
}

} // namespace
#endif

SignalWatch::SignalWatch(QObject* parent) : QObject(parent) {}

SignalWatch::~SignalWatch() {
    delete notifier_;
}

bool SignalWatch::install(QString* error) {
#ifdef Q_OS_WIN
    // A window program has no console: the call fails quietly and nothing is watched.
    Q_UNUSED(error);
    consoleWatch = this;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    return true;
#else
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signo : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signo, &action, nullptr);

    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatch::drain);
    return true;
#endif
}

void SignalWatch::drain() {
#ifndef Q_OS_WIN
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        emit caught(byte);
#endif
}

} // namespace quillon
