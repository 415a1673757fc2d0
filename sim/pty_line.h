#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quillon::sim {

// The simulator's end of a pseudo-terminal. The slave device is what the program under
// test opens as its serial port.
class PtyLine : public QObject {
    Q_OBJECT
public:
    // Output the other side does not read piles up here; past this the line drops bytes,
    // as a real serial line would, instead of eating memory.
    static constexpr qsizetype MaxPending = 64 * 1024;

    explicit PtyLine(QObject* parent = nullptr);
    ~PtyLine() override;

    bool open(QString* error);
    // Kept apart from open() so the owner can register its own notifiers first: Qt
    // dispatches ready notifiers in registration order.
    void startReading();

    QString devicePath() const { return devicePath_; }
    // Our own descriptor for the slave side, for terminal ioctls on the device.
    int slaveFd() const { return slave_; }

    void write(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);
    void sent(const QByteArray& bytes);

private:
    void readAvailable();
    void flushPending();

    int master_ = -1;
    int slave_ = -1;
    QString devicePath_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray pending_;
};

} // namespace quillon::sim
