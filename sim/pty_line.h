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

    // With reportSettings, the program's changes of line settings are reported (settingsTouched)
    // when they happen, where the terminal can do that (packetMode()).
    bool open(QString* error, bool reportSettings = false);
    // Kept apart from open() so the owner can register its own notifiers first: Qt
    // dispatches ready notifiers in registration order.
    void startReading();

    QString devicePath() const { return devicePath_; }
    bool packetMode() const { return packetMode_; }
    // Our own descriptor for the slave side, for terminal ioctls on the device.
    int slaveFd() const { return slave_; }

    void write(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);
    // The program set the terminal's settings (perhaps to what they were) or flushed it.
    void settingsTouched();
    void sent(const QByteArray& bytes);

private:
    void readAvailable();
    void takeRead(const char* bytes, qsizetype n);
    void flushPending();

    int master_ = -1;
    int slave_ = -1;
    bool packetMode_ = false;
    QString devicePath_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray pending_;
};

} // namespace quillon::sim
