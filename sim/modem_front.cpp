#include "sim/modem_front.h"

#include <utility>

namespace quillon::sim {

namespace {

constexpr char Cr = '\r';
constexpr char Lf = '\n';
constexpr char Plus = '+';
constexpr int EscapeLength = 3;

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Where the command starts, or -1 for a line that is none. A modem hunts for "AT" and
// drops what comes before it: the program writes a lone "4" to the port just before it
// dials, and "+" left from an escape attempt that came too late can sit ahead of "ath".
// A line with a word in front is someone typing, though, and gets ERROR.
qsizetype commandStart(QByteArrayView line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (!isLetter(line[i]))
            continue;
        if (i + 1 < line.size() && upper(line[i]) == 'A' && upper(line[i + 1]) == 'T')
            return i;
        return -1;
    }
    return -1;
}

// The number after a command letter; no digits means 0, as for "ATE" or "ATH".
int valueAt(QByteArrayView body, qsizetype* i) {
    int value = 0;
    for (; *i < body.size() && isDigit(body[*i]); ++*i)
        value = qMin(value * 10 + (body[*i] - '0'), 1000);
    return value;
}

// "T" (tone) and "P" (pulse) choose how to dial, they are not part of the number.
QByteArray numberOf(QByteArrayView rest) {
    QByteArray number = rest.toByteArray().trimmed();
    if (!number.isEmpty() && (upper(number.front()) == 'T' || upper(number.front()) == 'P'))
        number = number.sliced(1).trimmed();
    return number;
}

} // namespace

ModemFront::ModemFront(std::unique_ptr<Role> behind, const ModemSettings& settings, QObject* parent)
    : Role(parent), settings_(settings), echo_(settings.echo), behind_(std::move(behind)) {
    line_.reserve(MaxCommandLine);
    dialTimer_.setSingleShot(true);
    dialTimer_.setInterval(settings_.dialDelayMs);
    connect(&dialTimer_, &QTimer::timeout, this, &ModemFront::dialAnswered);
    escapeTimer_.setSingleShot(true);
    // A coarse timer may fire a twentieth early; the silence after an escape must be the
    // whole guard time, or a "+" sent just in time would find the modem gone to commands.
    escapeTimer_.setTimerType(Qt::PreciseTimer);
    escapeTimer_.setInterval(settings_.guardMs);
    connect(&escapeTimer_, &QTimer::timeout, this, &ModemFront::escapeTimeout);
    sinceLastByte_.start();
    if (behind_) {
        // Off line, what the far end says goes nowhere, as on a real call in command
        // state.
        behind_->setSender([this](const QByteArray& bytes) {
            if (state_ == State::Online)
                send(bytes);
        });
        behind_->setReporter([this](const QString& text) { report(text); });
    }
}

ModemFront::~ModemFront() = default;

void ModemFront::receive(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        switch (state_) {
        case State::Command:
            takeCommandByte(bytes[i]);
            break;
        case State::Dialing:
            if (bytes[i] == Lf && std::exchange(lfMayFollowDial_, false))
                break;
            // The rest of the chunk came with the key that aborted: the program's
            // abort is "ath" in one write, and its "th" is no new command.
            abortDial();
            return;
        case State::Online:
            takeOnline(bytes.sliced(i));
            return;
        }
    }
    flushEcho();
}

void ModemFront::receiveNoise(QByteArrayView bytes) {
    if (state_ != State::Online) {
        receive(bytes);
        return;
    }
    // Junk on the line is no silence around an escape, and ends one under way: the
    // "+"s held so far were data.
    sinceLastByte_.restart();
    escapeTimer_.stop();
    const int held = std::exchange(heldPlus_, 0);
    if (!behind_)
        return;
    if (held > 0)
        behind_->receive(QByteArray(held, Plus));
    behind_->receiveNoise(bytes);
}

std::optional<LineSetting> ModemFront::lineSetting() const {
    if (state_ == State::Command)
        return std::nullopt;
    return lockedAt_;
}

void ModemFront::clientClosed() {
    line_.clear();
    overflow_ = false;
    if (state_ == State::Dialing) {
        dialTimer_.stop();
        state_ = State::Command;
        report(QStringLiteral("modem: dial dropped: the port was closed"));
    }
    if (callUp_ && behind_)
        behind_->clientClosed();
}

void ModemFront::takeCommandByte(char c) {
    if (echo_)
        echoOut_ += c;
    if (c == Lf)
        return;
    if (c == Cr) {
        endCommandLine();
        return;
    }
    if (line_.size() >= MaxCommandLine) {
        overflow_ = true;
        return;
    }
    line_ += c;
}

void ModemFront::endCommandLine() {
    const QByteArray line = std::exchange(line_, {});
    if (std::exchange(overflow_, false)) {
        answer("ERROR");
        return;
    }
    // A bare line end is what a terminal sends for a blank line, and a modem ignores it.
    if (line.isEmpty())
        return;
    const qsizetype start = commandStart(line);
    if (start < 0) {
        answer("ERROR");
        return;
    }
    runCommand(QByteArrayView(line).sliced(start + 2));
}

void ModemFront::runCommand(QByteArrayView body) {
    // Only the commands that change what the simulator does are acted on; every other
    // setting is taken and ignored, which is what the program needs of its extra commands.
    for (qsizetype i = 0; i < body.size();) {
        char command = upper(body[i++]);
        if (command == ' ')
            continue;
        if (command == Plus) {
            // An extended command runs to the next ";", and may hold a "D" of its own.
            while (i < body.size() && body[i] != ';')
                ++i;
            continue;
        }
        char prefix = 0;
        if (command == '&' || command == '\\' || command == '%') {
            if (i >= body.size())
                break;
            prefix = command;
            command = upper(body[i++]);
        }
        if (prefix == 0 && command == 'D') {
            dial(body.sliced(i));
            return;
        }
        const int value = valueAt(body, &i);
        if (prefix == '&' && command == 'F') {
            echo_ = settings_.echo;
            continue;
        }
        if (prefix != 0)
            continue;
        switch (command) {
        case 'E':
            echo_ = value != 0;
            break;
        case 'Z':
            echo_ = settings_.echo;
            break;
        case 'H':
            // H1 would take the line off hook without a call; nothing to simulate.
            if (value == 0)
                hangUp();
            break;
        case 'O':
            goOnline();
            return;
        default:
            break;
        }
    }
    answer("OK");
}

void ModemFront::dial(QByteArrayView rest) {
    if (callUp_) {
        answer("ERROR");
        return;
    }
    // The echo of the dial command goes out before anything can abort the dial.
    flushEcho();
    report(QStringLiteral("modem: dialing %1").arg(QString::fromLatin1(numberOf(rest))));
    lockedAt_ = heardAt();
    state_ = State::Dialing;
    lfMayFollowDial_ = true;
    if (!settings_.dialResult.isEmpty())
        dialTimer_.start();
}

void ModemFront::dialAnswered() {
    const QByteArray& result = settings_.dialResult;
    report(QStringLiteral("modem: %1").arg(QString::fromLatin1(result)));
    answer(result);
    if (!result.startsWith("CONNECT")) {
        state_ = State::Command;
        return;
    }
    callUp_ = true;
    connectResult_ = result;
    state_ = State::Online;
    heldPlus_ = 0;
    sinceLastByte_.restart();
}

void ModemFront::abortDial() {
    dialTimer_.stop();
    state_ = State::Command;
    report(QStringLiteral("modem: dial aborted"));
    answer("NO CARRIER");
}

void ModemFront::goOnline() {
    if (!callUp_) {
        answer("NO CARRIER");
        return;
    }
    answer(connectResult_);
    report(QStringLiteral("modem: online again"));
    state_ = State::Online;
    heldPlus_ = 0;
    sinceLastByte_.restart();
}

void ModemFront::hangUp() {
    if (!callUp_)
        return;
    callUp_ = false;
    report(QStringLiteral("modem: hang up"));
    // For the far end the session is over, like a closed port without the modem.
    if (behind_)
        behind_->clientClosed();
}

void ModemFront::takeOnline(QByteArrayView bytes) {
    QByteArray data;
    for (const char c : bytes) {
        const bool quietBefore = sinceLastByte_.elapsed() >= leadSilenceMs();
        sinceLastByte_.restart();
        if (heldPlus_ > 0) {
            if (c == Plus && heldPlus_ < EscapeLength) {
                ++heldPlus_;
                escapeTimer_.start();
                continue;
            }
            // A fourth "+" or anything else: the "+"s were data all along.
            escapeTimer_.stop();
            data.append(std::exchange(heldPlus_, 0), Plus);
            data.append(c);
            continue;
        }
        if (c == Plus && quietBefore) {
            heldPlus_ = 1;
            escapeTimer_.start();
            continue;
        }
        data.append(c);
    }
    if (!data.isEmpty() && behind_)
        behind_->receive(data);
}

void ModemFront::escapeTimeout() {
    const int held = std::exchange(heldPlus_, 0);
    if (state_ != State::Online || held == 0)
        return;
    if (held < EscapeLength) {
        // The pause between two "+" was too long for an escape.
        if (behind_)
            behind_->receive(QByteArray(held, Plus));
        return;
    }
    state_ = State::Command;
    line_.clear();
    overflow_ = false;
    report(QStringLiteral("modem: escape"));
    answer("OK");
}

void ModemFront::answer(QByteArrayView result) {
    flushEcho();
    send(QByteArrayLiteral("\r\n") + result.toByteArray() + QByteArrayLiteral("\r\n"));
}

void ModemFront::flushEcho() {
    send(std::exchange(echoOut_, {}));
}

int ModemFront::leadSilenceMs() const {
    return settings_.guardMs - settings_.guardMs / 10;
}

} // namespace quillon::sim
