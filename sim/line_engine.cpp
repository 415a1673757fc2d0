#include "sim/line_engine.h"

#include "sim/receiving_uart.h"

#include <QtGlobal>

#include <cstdio>
#include <sys/ioctl.h>
#include <termios.h>

namespace quillon::sim {

LineEngine::LineEngine(const QElapsedTimer& start, bool paced, QObject* parent)
    : QObject(parent), start_(start), paced_(paced),
      pacer_([this](const QList<EndedByte>& bytes) { deliverToController(bytes); },
             [this](const QList<EndedByte>& bytes) { deliverToProgram(bytes); }) {
    connect(&line_, &PtyLine::received, this, &LineEngine::onReceived);
    connect(&line_, &PtyLine::sent, this, &LineEngine::onSent);
    connect(&line_, &PtyLine::settingsTouched, this, &LineEngine::checkProgramLine);
    connect(&watch_, &DeviceWatch::opened, this, &LineEngine::onOpened);
    connect(&watch_, &DeviceWatch::closed, this, &LineEngine::onClientClosed);
    pacer_.setBeforeHandOver([this] { catchUp(); });
}

LineEngine::~LineEngine() = default;

bool LineEngine::open(const QString& portsDir, int com, QString* error) {
    if (paced_ && !pacer_.isValid()) {
        if (error)
            *error = QStringLiteral("no timer to pace the line with (see --no-pacing)");
        return false;
    }
    if (!line_.open(error, paced_))
        return false;
    // Watching before reading starts puts close events ahead of new input when both are
    // ready at once, so a quick reopen does not lose its first line to the old session.
    // Without the watch the line still works; only recovery from a dead client suffers.
    QString watchError;
    watching_ = watch_.watch(line_.devicePath(), &watchError);
    if (!watching_)
        qWarning("quillon-sim: %s", qPrintable(watchError));
    if (!link_.create(portsDir, QStringLiteral("COM%1").arg(com), line_.devicePath(), error))
        return false;
    if (paced_) {
        program_ = readProgramLine(line_.slaveFd()).value_or(ProgramLine{});
        if (log_)
            log_->recordSetting(program_.setting);
        pacer_.setProgramSetting(program_.setting);
    }
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
    role_->setSender([this](const QByteArray& bytes) { sendForRole(bytes); });
    // Standard error, not the wire log: the log holds only bytes, in a form scripts read.
    role_->setReporter([](const QString& text) {
        std::fprintf(stderr, "quillon-sim: %s\n", qPrintable(text));
        std::fflush(stderr);
    });
}

void LineEngine::onReceived(const QByteArray& bytes) {
    if (log_)
        log_->record(WireLog::Direction::In, bytes);
    if (!paced_) {
        if (role_)
            role_->receive(bytes);
        return;
    }
    // Without news of changes, the setting is looked at whenever bytes come and go.
    if (!line_.packetMode())
        checkProgramLine();
    pacer_.fromProgram(bytes);
}

void LineEngine::onSent(const QByteArray& bytes) {
    if (log_)
        log_->record(WireLog::Direction::Out, bytes);
}

void LineEngine::sendForRole(const QByteArray& bytes) {
    if (paced_)
        pacer_.fromController(bytes, role_ ? role_->lineSetting() : std::nullopt);
    else
        line_.write(bytes);
}

void LineEngine::onOpened() {
    ++openers_;
}

void LineEngine::onClientClosed() {
    openers_ = qMax(0, openers_ - 1);
    // A serial port library sets exclusive mode on open and clears it on close. If the
    // program died instead, the flag would stay on the terminal we keep alive and every
    // later open by an ordinary user would fail with EBUSY.
    ::ioctl(line_.slaveFd(), TIOCNXCL);
    // On a real line, what is sent while nobody listens is gone; a reply left
    // in the terminal would greet the next program as if it were fresh.
    ::tcflush(line_.slaveFd(), TCIFLUSH);
    if (!role_)
        return;
    if (!paced_) {
        role_->clientClosed();
        return;
    }
    closesAfter_.push_back(pacer_.fromProgramCount());
    tellRoleOfCloses();
}

void LineEngine::tellRoleOfCloses() {
    while (!closesAfter_.empty() && closesAfter_.front() <= handedToRole_) {
        closesAfter_.pop_front();
        if (role_)
            role_->clientClosed();
    }
}

void LineEngine::checkProgramLine() {
    std::optional<ProgramLine> now = readProgramLine(line_.slaveFd());
    // A program that clears the flag would stop the news of its later changes.
    if (line_.packetMode())
        keepReportingSettings(line_.slaveFd());
    if (!now)
        return;
    // Speed 0 hangs a modem line up; the wire keeps the speed it had.
    if (now->setting.baud <= 0)
        now->setting.baud = program_.setting.baud;
    if (*now == program_)
        return;
    const bool timingChanged = !now->setting.sameTiming(program_.setting);
    program_ = *now;
    if (!timingChanged)
        return;
    if (log_)
        log_->recordSetting(program_.setting);
    pacer_.setProgramSetting(program_.setting);
}

void LineEngine::catchUp() {
    watch_.catchUp();
    if (!line_.packetMode())
        checkProgramLine();
}

void LineEngine::deliverToController(const QList<EndedByte>& bytes) {
    for (const EndedByte& byte : bytes) {
        hand(byte);
        ++handedToRole_;
        tellRoleOfCloses();
    }
}

void LineEngine::hand(const EndedByte& byte) {
    if (!role_)
        return;
    if (role_->hearsEveryByte()) {
        role_->setHeardAt(byte.sentAt);
        role_->receive(QByteArrayView(&byte.value, 1));
        return;
    }
    // Asked afresh for every character: the one before may have changed what the
    // controller listens at.
    const LineSetting listener = role_->lineSetting().value_or(program_.setting);
    const Reception reception = receiveAt(byte, listener.baud);
    QByteArray heard;
    for (const HeardByte& one : reception.bytes)
        heard += one.value;
    if (!reception.garbled) {
        role_->setHeardAt(byte.sentAt);
        role_->receive(heard);
        return;
    }
    if (log_)
        log_->record(WireLog::Direction::Noise, heard);
    role_->setHeardAt(listener);
    if (!heard.isEmpty())
        role_->receiveNoise(heard);
}

void LineEngine::deliverToProgram(const QList<EndedByte>& bytes) {
    // What reaches a port nobody has open is gone, as on a real line.
    if (watching_ && openers_ == 0)
        return;
    QByteArray read;
    for (const EndedByte& byte : bytes)
        read += readByProgram(byte, program_);
    line_.write(read);
}

} // namespace quillon::sim
