#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quillon::sim {

// Tells when some program opens or closes the device node, including when it dies
// without closing: the kernel closes its descriptors and inotify reports that like any
// close. Descriptors opened before the watch began are not seen.
class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

    bool watch(const QString& path, QString* error);
    // Takes the news that is waiting now, for an owner that must know the state of the
    // device at this very moment rather than when the event loop comes round to it.
    void catchUp();

signals:
    void opened();
    // One for each descriptor closed. Also when the kernel lost track of events
    // (its queue overflowed), since a close may have been among them.
    void closed();

private:
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quillon::sim
