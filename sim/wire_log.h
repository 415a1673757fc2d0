#pragma once

#include "sim/line_setting.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

namespace quillon::sim {

// Records every chunk on the line as "<seconds> <in|out> <hex bytes>": "in" when it came
// from the program, "out" when it was handed to the program. Between them, lines of
// other words: "<seconds> set <baud> <stop bits>" when the program's setting changed,
// and "<seconds> noise <hex bytes>" for what the controller heard garbled (the line's
// speed did not match its own, or changed under a character). Each line is flushed at
// once so a test or a person with `tail -f` sees it while the line runs.
class WireLog {
public:
    enum class Direction { In, Out, Noise };

    // Times are measured from `start`, normally the moment the simulator started.
    explicit WireLog(const QElapsedTimer& start);

    bool open(const QString& path, QString* error);
    void record(Direction direction, QByteArrayView bytes);
    void recordSetting(const LineSetting& setting);

    static QByteArray formatLine(qint64 nsecs, Direction direction, QByteArrayView bytes);
    static QByteArray formatSetting(qint64 nsecs, const LineSetting& setting);

private:
    void write(const QByteArray& line);

    QElapsedTimer start_;
    QFile file_;
};

} // namespace quillon::sim
