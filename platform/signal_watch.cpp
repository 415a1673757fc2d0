#include "platform/signal_watch.h"

#include <QString>

#include <csignal>

#ifdef Q_OS_WIN
#include <QMetaObject>
#include <QPointer>

#include <windows.h>
#else
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quillon {

#ifdef Q_OS_WIN

namespace {

// The console calls its handler on a thread of its own; the watch lives on the
// main thread and is reached only through its event queue.
QPointer<SignalWatch> watching;

BOOL WINAPI onConsoleEvent(DWORD event) {
    const int signo = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (SignalWatch* watch = watching.data()) {
        QMetaObject::invokeMethod(
            watch, [watch, signo] { emit watch->caught(signo); }, Qt::QueuedConnection);
        return TRUE;
    }
    return FALSE;
}

} // namespace

SignalWatch::SignalWatch(QObject* parent) : QObject(parent) {}

SignalWatch::~SignalWatch() {
    if (watching.data() == this) {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        watching = nullptr;
    }
}

bool SignalWatch::install(std::initializer_list<int>, QString* error) {
    watching = this;
    if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        if (error)
            *error = QStringLiteral("SetConsoleCtrlHandler failed");
        return false;
    }
    return true;
}

void SignalWatch::drain() {}

#else

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

SignalWatch::SignalWatch(QObject* parent) : QObject(parent) {}

SignalWatch::~SignalWatch() {
    delete m_notifier;
}

bool SignalWatch::install(std::initializer_list<int> signos, QString* error) {
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signo : signos)
        ::sigaction(signo, &action, nullptr);

    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatch::drain);
    return true;
}

void SignalWatch::drain() {
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        emit caught(byte);
}

#endif

} // namespace quillon
