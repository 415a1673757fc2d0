#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

namespace quillon::sim {

// Records every chunk on the line as "<seconds> <in|out> <hex bytes>". Each line is
// flushed at once so a test or a person with `tail -f` sees it while the line runs.
class WireLog {
public:
    enum class Direction { In, Out };

    // Times are measured from `start`, normally the moment the simulator started.
    explicit WireLog(const QElapsedTimer& start);

    bool open(const QString& path, QString* error);
    void record(Direction direction, QByteArrayView bytes);

    static QByteArray formatLine(qint64 nsecs, Direction direction, QByteArrayView bytes);

private:
    QElapsedTimer start_;
    QFile file_;
};

} // namespace quillon::sim
