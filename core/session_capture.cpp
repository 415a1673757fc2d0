#include "core/session_capture.h"

#include "core/error_report.h"
#include "core/text_file.h"
#include "platform/control_names.h"
#include "platform/cp1252.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <memory>
#include <utility>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillon {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
// A line that never ends is written out in pieces of about this size.
constexpr qsizetype kPieceBytes = 8 * 1024;

// Each byte as the record shows it, in UTF-8: the screen's cp1252 character, or the
// tester's name for a control code.
const std::array<QByteArray, 256>& shownBytes() {
    static const std::array<QByteArray, 256> shown = [] {
        std::array<QByteArray, 256> table;
        for (int code = 0; code < 256; ++code) {
            const QString name = controlName(code);
            table[static_cast<std::size_t>(code)] =
                name.isEmpty() ? QString(cp1252Char(static_cast<char>(code))).toUtf8()
                               : name.toLatin1();
        }
        return table;
    }();
    return shown;
}

QString portName(const SerialPort& port) {
    return QStringLiteral("COM%1").arg(port.portNumber());
}

// Opening a FIFO would wait for a reader for ever, and a folder cannot take lines.
bool takesLines(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return false;
#ifndef Q_OS_WIN
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode))
        return false;
#endif
    return true;
}

// A record left without its last line end (a crash) must not run into the next one.
bool endsMidLine(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return false;
    file.seek(file.size() - 1);
    return file.read(1) != "\n";
}

// Every write goes to the end, whatever else writes there, and nothing is ever cut.
bool openForAppend(QFile& file, const QString& path) {
#ifdef Q_OS_WIN
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
#else
    // By descriptor: Qt's own append would try to seek a device such as /dev/full.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return true;
    const int code = errno;
    ::close(fd);
    errno = code;
    return false;
#endif
}

} // namespace

QString captureOpenFailedText(const QString& path, int fileErrorNumber) {
    return QStringLiteral("Não foi possível abrir %1 para gravar a sessão: %2.")
        .arg(path, errorReasonText(fileErrorNumber));
}

QString captureWriteFailedText(const QString& path, int fileErrorNumber) {
    return QStringLiteral("Não foi possível gravar a sessão em %1: %2. A gravação foi encerrada.")
        .arg(path, errorReasonText(fileErrorNumber));
}

CaptureClock CaptureClock::system() {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    return {[clock] { return clock->elapsed(); },
            [] { return QDateTime::currentMSecsSinceEpoch(); }};
}

SessionCapture::SessionCapture(PortTaps& taps, QString program, CaptureClock clock, QObject* parent)
    : QObject(parent), taps_(taps), program_(std::move(program)), clock_(std::move(clock)) {
    quietTimer_.setParent(this);
    quietTimer_.setSingleShot(true);
    quietTimer_.setTimerType(Qt::PreciseTimer);
    connect(&quietTimer_, &QTimer::timeout, this, &SessionCapture::onQuiet);
}

SessionCapture::~SessionCapture() {
    stop();
}

int SessionCapture::start(const QString& path) {
    stop();
    path_ = path;
    const QString local = localPath(path);
    if (!takesLines(local))
        return FileError::PathFileAccess;
    const bool lineEndFirst = endsMidLine(local);
    errno = 0;
    if (!openForAppend(file_, local))
        return fileErrorFromErrno(errno, local, false);
    if (lineEndFirst)
        out_ = kLineEnd;
    writeEvent(QStringLiteral("Gravação iniciada (%1)").arg(program_));
    if (flushOut())
        taps_.setTap(this);
    return 0;
}

void SessionCapture::stop() {
    if (!running())
        return;
    endLine();
    writeEvent(QStringLiteral("Gravação encerrada"));
    if (flushOut())
        finish();
}

void SessionCapture::finish() {
    if (taps_.tap() == this)
        taps_.setTap(nullptr);
    quietTimer_.stop();
    line_.clear();
    out_.clear();
    direction_ = Direction::None;
    file_.close();
}

void SessionCapture::note(const QString& text) {
    endLine();
    writeEvent(text);
    flushOut();
}

void SessionCapture::holdBytes(bool held) {
    endLine();
    flushOut();
    held_ = held;
}

void SessionCapture::bytesWritten(const SerialPort& /*port*/, const QByteArray& bytes) {
    takeBytes(Direction::Sent, bytes);
}

void SessionCapture::bytesRead(const SerialPort& /*port*/, const QByteArray& bytes) {
    takeBytes(Direction::Received, bytes);
}

void SessionCapture::portOpened(const SerialPort& port) {
    note(QStringLiteral("%1 aberta em %2").arg(portName(port), port.settings()));
}

void SessionCapture::settingsChanged(const SerialPort& port) {
    note(QStringLiteral("%1 em %2").arg(portName(port), port.settings()));
}

void SessionCapture::portClosed(const SerialPort& port) {
    note(QStringLiteral("%1 fechada").arg(portName(port)));
}

void SessionCapture::takeBytes(Direction direction, const QByteArray& bytes) {
    if (held_ || !running())
        return;
    const qint64 now = clock_.steadyMs();
    if (direction_ != Direction::None && (direction != direction_ || now - lastByteMs_ >= kQuietMs))
        endLine();
    lastByteMs_ = now;
    const std::array<QByteArray, 256>& shown = shownBytes();
    for (const char byte : bytes) {
        if (direction_ == Direction::None) {
            direction_ = direction;
            line_ = timeStamp() + (direction == Direction::Sent ? QByteArrayLiteral(" TX: ")
                                                                : QByteArrayLiteral(" RX: "));
        }
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x20 && code < 0x7F)
            line_.append(byte);
        else
            line_.append(shown[code]);
        if (byte == '\n')
            endLine();
        if (out_.size() >= kPieceBytes && !flushOut())
            return;
    }
    if (line_.size() >= kPieceBytes)
        out_ += std::exchange(line_, {});
    if (!flushOut())
        return;
    if (direction_ != Direction::None && !quietTimer_.isActive())
        quietTimer_.start(static_cast<int>(kQuietMs));
}

void SessionCapture::onQuiet() {
    if (direction_ == Direction::None)
        return;
    const qint64 quiet = clock_.steadyMs() - lastByteMs_;
    if (quiet >= kQuietMs) {
        endLine();
        flushOut();
    } else {
        quietTimer_.start(static_cast<int>(kQuietMs - quiet));
    }
}

void SessionCapture::endLine() {
    if (direction_ == Direction::None)
        return;
    direction_ = Direction::None;
    quietTimer_.stop();
    line_.append(kLineEnd);
    out_ += line_;
    line_.clear();
}

void SessionCapture::writeEvent(const QString& text) {
    if (!running())
        return;
    out_ += timeStamp() + QByteArrayLiteral(" -- ") + text.toUtf8() + kLineEnd;
}

bool SessionCapture::flushOut() {
    if (!running())
        return false;
    if (out_.isEmpty())
        return true;
    errno = 0;
    const QByteArray bytes = std::exchange(out_, {});
    if (file_.write(bytes) == bytes.size() && file_.flush())
        return true;
    fail();
    return false;
}

void SessionCapture::fail() {
    const int error = fileErrorFromErrno(errno, localPath(path_), false);
    finish();
    Q_EMIT writeFailed(error);
}

QByteArray SessionCapture::timeStamp() {
    const qint64 now = clock_.epochMs();
    if (minuteText_.isEmpty() || now < minuteStartMs_ || now >= minuteStartMs_ + 60'000) {
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(now);
        minuteStartMs_ = now - local.time().second() * 1000 - local.time().msec();
        minuteText_ = local.toString(QStringLiteral("yyyy-MM-dd HH:mm:")).toLatin1();
    }
    const auto within = static_cast<int>(now - minuteStartMs_); // 0 to 59999
    const int second = within / 1000;
    const int ms = within % 1000;
    const char text[] = {static_cast<char>('0' + second / 10),
                         static_cast<char>('0' + second % 10),
                         '.',
                         static_cast<char>('0' + ms / 100),
                         static_cast<char>('0' + ms / 10 % 10),
                         static_cast<char>('0' + ms % 10)};
    QByteArray stamp = minuteText_;
    stamp.append(text, sizeof text);
    return stamp;
}

} // namespace quillon
