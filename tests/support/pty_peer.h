#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QSerialPort;
class QSocketNotifier;

namespace quillon::test {

// The far end of a real pseudo-terminal, linked as COMn in a ports folder, so
// the program opens it like any serial port.
class PtyPeer : public QObject {
    Q_OBJECT
public:
    struct Chunk {
        qint64 atMs;
        QByteArray bytes;
    };

    PtyPeer(const QString& portsDir, int com);
    ~PtyPeer() override;

    bool ok() const { return master_ >= 0; }
    QString devicePath() const { return devicePath_; }
    void write(const QByteArray& bytes);
    // Writes until done or until the program has read nothing for timeoutMs;
    // answers how much went out.
    qsizetype writeWithin(const QByteArray& bytes, int timeoutMs);
    QByteArray received() const;
    const QVector<Chunk>& chunks() const { return chunks_; }
    void clearReceived() { chunks_.clear(); }
    // Sleeps in an event loop until the needle has arrived or the time is up.
    bool waitFor(const QByteArray& needle, int timeoutMs);
    // The device vanishes: master closed and link removed.
    void vanish();
    qint64 elapsedMs() const { return clock_.elapsed(); }

    std::function<void(PtyPeer&, const QByteArray&)> onReceive;

Q_SIGNALS:
    void arrived();

private:
    void readMaster();

    int master_ = -1;
    int slaveKeeper_ = -1;
    QString link_;
    QString devicePath_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QVector<Chunk> chunks_;
    QElapsedTimer clock_;
};

// Another program holding the port the way serial programs do (its lock file),
// which stops a second opener even when the tests run as root.
std::unique_ptr<QSerialPort> holdPort(const QString& devicePath);

// A peer that answers "ATV1" like a Hayes modem.
void answerLikeModem(PtyPeer& peer);

} // namespace quillon::test
