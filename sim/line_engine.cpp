#include "sim/line_engine.h"

#include <QtGlobal>

#include <cstdio>
#include <sys/ioctl.h>
#include <termios.h>

namespace quillon::sim {

LineEngine::LineEngine(const QElapsedTimer& start, QObject* parent)
    : QObject(parent), m_start(start) {
    connect(&m_line, &PtyLine::received, this, &LineEngine::onReceived);
    connect(&m_line, &PtyLine::sent, this, &LineEngine::onSent);
    connect(&m_watch, &DeviceWatch::closed, this, &LineEngine::onClientClosed);
}

LineEngine::~LineEngine() = default;

bool LineEngine::open(const QString& portsDir, int com, QString* error) {
    if (!m_line.open(error))
        return false;
    // Watching before reading starts puts close events ahead of new input when both are
    // ready at once, so a quick reopen does not lose its first line to the old session.
    // Without the watch the line still works; only recovery from a dead client suffers.
    QString watchError;
    if (!m_watch.watch(m_line.devicePath(), &watchError))
        qWarning("quillon-sim: %s", qPrintable(watchError));
    if (!m_link.create(portsDir, QStringLiteral("COM%1").arg(com), m_line.devicePath(), error))
        return false;
    m_line.startReading();
    return true;
}

bool LineEngine::openLog(const QString& path, QString* error) {
    auto log = std::make_unique<WireLog>(m_start);
    if (!log->open(path, error))
        return false;
    m_log = std::move(log);
    return true;
}

void LineEngine::setRole(std::unique_ptr<Role> role) {
    m_role = std::move(role);
    if (!m_role)
        return;
    m_role->setSender([this](const QByteArray& bytes) { m_line.write(bytes); });
    // Standard error, not the wire log: the log holds only bytes, in a form scripts read.
    m_role->setReporter([](const QString& text) {
        std::fprintf(stderr, "quillon-sim: %s\n", qPrintable(text));
        std::fflush(stderr);
    });
}

void LineEngine::onReceived(const QByteArray& bytes) {
    if (m_log)
        m_log->record(WireLog::Direction::In, bytes);
    if (m_role)
        m_role->receive(bytes);
}

void LineEngine::onSent(const QByteArray& bytes) {
    if (m_log)
        m_log->record(WireLog::Direction::Out, bytes);
}

void LineEngine::onClientClosed() {
    // A serial port library sets exclusive mode on open and clears it on close. If the
    // program died instead, the flag would stay on the terminal we keep alive and every
    // later open by an ordinary user would fail with EBUSY.
    ::ioctl(m_line.slaveFd(), TIOCNXCL);
    // On a real line, what is sent while nobody listens is gone; a reply left
    // in the terminal would greet the next program as if it were fresh.
    ::tcflush(m_line.slaveFd(), TCIFLUSH);
    if (m_role)
        m_role->clientClosed();
}

} // namespace quillon::sim
