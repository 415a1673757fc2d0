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
    if (fd_ < 0 ||
        ::inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_OPEN | IN_CLOSE) < 0) {
        if (error)
            *error = QStringLiteral("cannot watch %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &DeviceWatch::catchUp);
    return true;
}

void DeviceWatch::catchUp() {
    if (fd_ < 0)
        return;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return;
        // The kernel writes whole events; each is its header and a name (none for a
        // watched file itself).
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
            if ((event.mask & IN_OPEN) != 0)
                emit opened();
            if ((event.mask & (IN_CLOSE | IN_Q_OVERFLOW)) != 0)
                emit closed();
        }
    }
}

} // namespace quillon::sim
