#include "sim/device_watch.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace quillon::sim {

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {}

DeviceWatch::~DeviceWatch() {
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

bool DeviceWatch::watch(const QString& path, QString* error) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || ::inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_CLOSE) < 0) {
        if (error)
            *error = QStringLiteral("cannot watch %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &DeviceWatch::readEvents);
    return true;
}

void DeviceWatch::readEvents() {
    // Only the fact that a close happened matters, so a whole batch of events (or a queue
    // overflow) counts as one.
    alignas(inotify_event) char buffer[4096];
    bool sawClose = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        sawClose = true;
    }
    if (sawClose)
        emit closed();
}

} // namespace quillon::sim
