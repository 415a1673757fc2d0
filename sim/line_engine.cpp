#include "sim/line_engine.h"

#include <QtGlobal>

#include <cstdio>
#include <sys/ioctl.h>
#include <termios.h>

namespace quillon::sim {

LineEngine::LineEngine(const QElapsedTimer& start, QObject* parent)
    : QObject(parent), start_(start) {
    connect(&line_, &PtyLine::received, this, &LineEngine::onReceived);
    connect(&line_, &PtyLine::sent, this, &LineEngine::onSent);
    connect(&watch_, &DeviceWatch::closed, this, &LineEngine::onClientClosed);
}

LineEngine::~LineEngine() = default;

bool LineEngine::open(const QString& portsDir, int com, QString* error) {
    if (!line_.open(error))
        return false;
    // Watching before reading starts puts close events ahead of new input when both are
    // ready at once, so a quick reopen does not lose its first line to the old session.
    // Without the watch the line still works; only recovery from a dead client suffers.
    QString watchError;
    if (!watch_.watch(line_.devicePath(), &watchError))
        qWarning("quillon-sim: %s", qPrintable(watchError));
    if (!link_.create(portsDir, QStringLiteral("COM%1").arg(com), line_.devicePath(), error))
        return false;
    line_.startReading();
    return true;
}

bool LineEngine::openLog(const QString& path, QString* error) {
    auto log = std::make_unique<WireLog>(start_);
    if (!log->open(path, error))
        return false;
    log_ = std::move(log);
    return true;
}

void LineEngine::setRole(std::unique_ptr<Role> role) {
    role_ = std::move(role);
    if (!role_)
        return;
    role_->setSender([this](const QByteArray& bytes) { line_.write(bytes); });
    // Standard error, not the wire log: the log holds only bytes, in a form scripts read.
    role_->setReporter([](const QString& text) {
        std::fprintf(stderr, "quillon-sim: %s\n", qPrintable(text));
        std::fflush(stderr);
    });
}

void LineEngine::onReceived(const QByteArray& bytes) {
    if (log_)
        log_->record(WireLog::Direction::In, bytes);
    if (role_)
        role_->receive(bytes);
}

void LineEngine::onSent(const QByteArray& bytes) {
    if (log_)
        log_->record(WireLog::Direction::Out, bytes);
}

void LineEngine::onClientClosed() {
    // A serial port library sets exclusive mode on open and clears it on close. If the
    // program died instead, the flag would stay on the terminal we keep alive and every
    // later open by an ordinary user would fail with EBUSY.
    ::ioctl(line_.slaveFd(), TIOCNXCL);
    // On a real line, what is sent while nobody listens is gone; a reply left
    // in the terminal would greet the next program as if it were fresh.
    ::tcflush(line_.slaveFd(), TCIFLUSH);
    if (role_)
        role_->clientClosed();
}

} // namespace quillon::sim
