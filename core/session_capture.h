#pragma once

#include "platform/port_taps.h"
#include "platform/serial_port.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace quillon {

// Where a record of the line takes its times from; tests give their own.
struct CaptureClock {
    std::function<qint64()> steadyMs; // monotonic: how long the line has been quiet
    std::function<qint64()> epochMs;  // the time of day each line shows, in local time
    static CaptureClock system();
};

// A record of a session on the line as UTF-8 text: every byte both ways, under the
// time of day of its line's first byte, and the ports' openings, setting changes and
// closings. The file only grows (it is opened for append), and what a port call ended
// is flushed before the call returns, so a crash loses at most the line being gathered;
// a line without an end is written out in pieces, so memory stays flat however long it
// runs.
class SessionCapture : public QObject, public LineTap {
    Q_OBJECT
public:
    // A line ends after this much quiet.
    static constexpr qint64 kQuietMs = 500;

    // `program` names what writes the record ("QuillonV2 2.3.59"); every port `taps`
    // hands out is recorded while the capture runs.
    SessionCapture(PortTaps& taps, QString program, CaptureClock clock = CaptureClock::system(),
                   QObject* parent = nullptr);
    ~SessionCapture() override;

    // Opens the file and writes the opening line. The file error number when the file
    // cannot be opened; a failed first write ends the capture as any other write does.
    int start(const QString& path);
    // Writes what is pending and the closing line.
    void stop();
    bool running() const { return file_.isOpen(); }
    QString fileName() const { return path_; }

    // A line of its own ("-- Envio: ..."), after the bytes before it.
    void note(const QString& text);
    // While held, bytes are left out (the blocks of an upload); the port's own lines
    // are still written. A hold lasts across a stop and a start.
    void holdBytes(bool held);

    void bytesWritten(const SerialPort& port, const QByteArray& bytes) override;
    void bytesRead(const SerialPort& port, const QByteArray& bytes) override;
    void portOpened(const SerialPort& port) override;
    void settingsChanged(const SerialPort& port) override;
    void portClosed(const SerialPort& port) override;

Q_SIGNALS:
    // A write failed (disk full, file gone): the capture has ended. Once per start.
    void writeFailed(int fileErrorNumber);

private:
    enum class Direction { None, Sent, Received };

    void takeBytes(Direction direction, const QByteArray& bytes);
    void endLine();
    void writeEvent(const QString& text);
    // Writes what has ended and flushes it; false when that failed and ended the capture.
    bool flushOut();
    void fail();
    void finish();
    void onQuiet();
    QByteArray timeStamp();

    PortTaps& taps_;
    QString program_;
    CaptureClock clock_;
    QString path_;
    QFile file_;
    // The line being gathered: its time and direction first, then the bytes shown.
    QByteArray line_;
    // Lines ended and not yet written: those one read of the port ended, which go to
    // the disk together before the read returns, so that a megabyte a second costs a
    // few hundred writes instead of one per line.
    QByteArray out_;
    Direction direction_ = Direction::None; // None while no line is open
    qint64 lastByteMs_ = 0;
    bool held_ = false;
    // The local date and time to the minute, worked out once a minute: a line's time
    // must cost next to nothing at a megabyte a second. Time zones change their offset
    // only on a whole minute.
    qint64 minuteStartMs_ = 0;
    QByteArray minuteText_;
    // Armed by a byte, so that a line the far end left open is written once it is
    // quiet; never runs while nothing is pending.
    QTimer quietTimer_;
};

// What the user is told when the file cannot be opened, and when a write fails.
QString captureOpenFailedText(const QString& path, int fileErrorNumber);
QString captureWriteFailedText(const QString& path, int fileErrorNumber);

} // namespace quillon
