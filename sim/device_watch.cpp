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
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DeviceWatch::watch(const QString& path, QString* error) {
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0 || ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_CLOSE) < 0) {
        if (error)
            *error = QStringLiteral("cannot watch %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatch::readEvents);
    return true;
}

void DeviceWatch::readEvents() {
    // Only the fact that a close happened matters, so a whole batch of events (or a queue
    // overflow) counts as one.
    alignas(inotify_event) char buffer[4096];
    bool sawClose = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        sawClose = true;
    }
    if (sawClose)
        emit closed();
}

} // namespace quillon::sim
