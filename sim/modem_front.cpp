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
    : Role(parent), m_settings(settings), m_echo(settings.echo), m_behind(std::move(behind)) {
    m_line.reserve(MaxCommandLine);
    m_dialTimer.setSingleShot(true);
    m_dialTimer.setInterval(m_settings.dialDelayMs);
    connect(&m_dialTimer, &QTimer::timeout, this, &ModemFront::dialAnswered);
    m_escapeTimer.setSingleShot(true);
    // A coarse timer may fire a twentieth early; the silence after an escape must be the
    // whole guard time, or a "+" sent just in time would find the modem gone to commands.
    m_escapeTimer.setTimerType(Qt::PreciseTimer);
    m_escapeTimer.setInterval(m_settings.guardMs);
    connect(&m_escapeTimer, &QTimer::timeout, this, &ModemFront::escapeTimeout);
    m_sinceLastByte.start();
    if (m_behind) {
        // Off line, what the far end says goes nowhere, as on a real call in command
        // state.
        m_behind->setSender([this](const QByteArray& bytes) {
            if (m_state == State::Online)
                send(bytes);
        });
        m_behind->setReporter([this](const QString& text) { report(text); });
    }
}

ModemFront::~ModemFront() = default;

void ModemFront::receive(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        switch (m_state) {
        case State::Command:
            takeCommandByte(bytes[i]);
            break;
        case State::Dialing:
            if (bytes[i] == Lf && std::exchange(m_lfMayFollowDial, false))
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

void ModemFront::clientClosed() {
    m_line.clear();
    m_overflow = false;
    if (m_state == State::Dialing) {
        m_dialTimer.stop();
        m_state = State::Command;
        report(QStringLiteral("modem: dial dropped: the port was closed"));
    }
    if (m_callUp && m_behind)
        m_behind->clientClosed();
}

void ModemFront::takeCommandByte(char c) {
    if (m_echo)
        m_echoOut += c;
    if (c == Lf)
        return;
    if (c == Cr) {
        endCommandLine();
        return;
    }
    if (m_line.size() >= MaxCommandLine) {
        m_overflow = true;
        return;
    }
    m_line += c;
}

void ModemFront::endCommandLine() {
    const QByteArray line = std::exchange(m_line, {});
    if (std::exchange(m_overflow, false)) {
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
            m_echo = m_settings.echo;
            continue;
        }
        if (prefix != 0)
            continue;
        switch (command) {
        case 'E':
            m_echo = value != 0;
            break;
        case 'Z':
            m_echo = m_settings.echo;
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
    if (m_callUp) {
        answer("ERROR");
        return;
    }
    // The echo of the dial command goes out before anything can abort the dial.
    flushEcho();
    report(QStringLiteral("modem: dialing %1").arg(QString::fromLatin1(numberOf(rest))));
    m_state = State::Dialing;
    m_lfMayFollowDial = true;
    if (!m_settings.dialResult.isEmpty())
        m_dialTimer.start();
}

void ModemFront::dialAnswered() {
    const QByteArray& result = m_settings.dialResult;
    report(QStringLiteral("modem: %1").arg(QString::fromLatin1(result)));
    answer(result);
    if (!result.startsWith("CONNECT")) {
        m_state = State::Command;
        return;
    }
    m_callUp = true;
    m_connectResult = result;
    m_state = State::Online;
    m_heldPlus = 0;
    m_sinceLastByte.restart();
}

void ModemFront::abortDial() {
    m_dialTimer.stop();
    m_state = State::Command;
    report(QStringLiteral("modem: dial aborted"));
    answer("NO CARRIER");
}

void ModemFront::goOnline() {
    if (!m_callUp) {
        answer("NO CARRIER");
        return;
    }
    answer(m_connectResult);
    report(QStringLiteral("modem: online again"));
    m_state = State::Online;
    m_heldPlus = 0;
    m_sinceLastByte.restart();
}

void ModemFront::hangUp() {
    if (!m_callUp)
        return;
    m_callUp = false;
    report(QStringLiteral("modem: hang up"));
    // For the far end the session is over, like a closed port without the modem.
    if (m_behind)
        m_behind->clientClosed();
}

void ModemFront::takeOnline(QByteArrayView bytes) {
    QByteArray data;
    for (const char c : bytes) {
        const bool quietBefore = m_sinceLastByte.elapsed() >= leadSilenceMs();
        m_sinceLastByte.restart();
        if (m_heldPlus > 0) {
            if (c == Plus && m_heldPlus < EscapeLength) {
                ++m_heldPlus;
                m_escapeTimer.start();
                continue;
            }
            // A fourth "+" or anything else: the "+"s were data all along.
            m_escapeTimer.stop();
            data.append(std::exchange(m_heldPlus, 0), Plus);
            data.append(c);
            continue;
        }
        if (c == Plus && quietBefore) {
            m_heldPlus = 1;
            m_escapeTimer.start();
            continue;
        }
        data.append(c);
    }
    if (!data.isEmpty() && m_behind)
        m_behind->receive(data);
}

void ModemFront::escapeTimeout() {
    const int held = std::exchange(m_heldPlus, 0);
    if (m_state != State::Online || held == 0)
        return;
    if (held < EscapeLength) {
        // The pause between two "+" was too long for an escape.
        if (m_behind)
            m_behind->receive(QByteArray(held, Plus));
        return;
    }
    m_state = State::Command;
    m_line.clear();
    m_overflow = false;
    report(QStringLiteral("modem: escape"));
    answer("OK");
}

void ModemFront::answer(QByteArrayView result) {
    flushEcho();
    send(QByteArrayLiteral("\r\n") + result.toByteArray() + QByteArrayLiteral("\r\n"));
}

void ModemFront::flushEcho() {
    send(std::exchange(m_echoOut, {}));
}

int ModemFront::leadSilenceMs() const {
    return m_settings.guardMs - m_settings.guardMs / 10;
}

} // namespace quillon::sim
