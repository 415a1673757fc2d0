#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace quillon::test {

// Two pseudo-terminals in raw mode for a relay between them: the program opens
// the first as COMn (a link in the ports folder), a peer the second as a tty.
// Each terminal is held open here, so either side may close and reopen without
// anyone seeing a hang-up. The owner moves the bytes: it is called when an end
// has bytes to read and when an end has room again for what was left over.
class PtyPair {
public:
    using EndEvent = std::function<void(int end)>;

    PtyPair(const QString& portsDir, int com, QObject* context, const EndEvent& readable,
            const EndEvent& writable);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return ends_[0].master >= 0 && ends_[1].master >= 0; }
    QString device(int end) const { return ends_[end].device; }
    // Everything the end has to give now.
    QByteArray readAll(int end);
    // Writes what the end takes of `bytes` and removes it; the rest waits for
    // the end's room, so the relay sleeps unless something is held back.
    void write(int end, QByteArray& bytes);

private:
    struct End {
        int master = -1;
        int slaveKeeper = -1;
        QString device;
        std::unique_ptr<QSocketNotifier> readable;
        std::unique_ptr<QSocketNotifier> writable;
    };

    End ends_[2];
    QString link_;
};

} // namespace quillon::test
