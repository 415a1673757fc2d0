#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quillon::sim {

// Tells when some program closes the device node, including when it dies without
// closing: the kernel closes its descriptors and inotify reports that like any close.
class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

    bool watch(const QString& path, QString* error);

signals:
    void closed();

private:
    void readEvents();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quillon::sim
