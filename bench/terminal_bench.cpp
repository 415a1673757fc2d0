#include "bench/bench_support.h"

#include "app/terminal_box.h"
#include "core/terminal_text.h"
#include "tests/support/pty_peer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace quillon::bench {

namespace {

constexpr qsizetype kChunkBytes = 4096;
constexpr int kLineLength = 80; // CR LF included
constexpr int kKeyTimeoutMs = 5000;
constexpr double kMemoryBadlyOffBytes = 60.0 * 1024 * 1024;

// Printable lines closed by CR LF; the marker line comes last, so seeing it
// means everything before it went through. '#' is kept out of the text so the
// marker cannot turn up early.
QByteArray makePayload(qsizetype size, const QByteArray& marker) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,;:-+=()";
    constexpr qsizetype kAlphabetSize = sizeof kAlphabet - 1;
    const QByteArray tail = marker + "\r\n";
    const qsizetype lines = std::max<qsizetype>(0, size - tail.size()) / kLineLength;
    QByteArray data;
    data.reserve(lines * kLineLength + tail.size());
    for (qsizetype line = 0; line < lines; ++line) {
        for (int column = 0; column < kLineLength - 2; ++column)
            data.append(kAlphabet[(line * 7 + column) % kAlphabetSize]);
        data.append("\r\n");
    }
    data.append(tail);
    return data;
}

QByteArray makeMarker() {
    return QByteArrayLiteral("#QUILLON-BENCH-END-") +
           QByteArray::number(QRandomGenerator::global()->generate64(), 36) + '#';
}

void postKey(QWidget* target, char key) {
    const QString text(QLatin1Char{key});
    const auto code = static_cast<Qt::Key>(Qt::Key_A + (key - 'a'));
    QCoreApplication::postEvent(target,
                                new QKeyEvent(QEvent::KeyPress, code, Qt::NoModifier, text));
    QCoreApplication::postEvent(target,
                                new QKeyEvent(QEvent::KeyRelease, code, Qt::NoModifier, text));
}

// Feeds the peer's data in fixed writes, one per pass of the event loop, so
// the window gets its turn between writes just as it would from a real line.
class Pusher {
public:
    Pusher(test::PtyPeer& peer, QByteArray data) : peer_(peer), data_(std::move(data)) {}

    std::function<void(qsizetype)> onProgress;

    void start() {
        QTimer::singleShot(0, &context_, [this] { next(); });
    }
    void stop() { stopped_ = true; }
    bool finished() const { return offset_ >= data_.size(); }

private:
    void next() {
        if (stopped_ || finished())
            return;
        const qsizetype length = std::min(kChunkBytes, data_.size() - offset_);
        // Waits in an event loop while the pty is full, so the window keeps reading.
        peer_.write(data_.mid(offset_, length));
        offset_ += length;
        if (onProgress)
            onProgress(offset_);
        if (!finished())
            QTimer::singleShot(0, &context_, [this] { next(); });
    }

    test::PtyPeer& peer_;
    QByteArray data_;
    qsizetype offset_ = 0;
    bool stopped_ = false;
    QObject context_;
};

struct PushOutcome {
    qsizetype bytes = 0;
    bool finished = false;
    double seconds = 0;
    qint64 residentGrowth = 0;
    // Time the bench itself spent looking for the marker, inside `seconds`.
    double checkSeconds = 0;
    // Process CPU over the same span: near 100 % means the window, not the
    // feeding, sets the pace.
    double cpuUsed = 0;
    bool keyPressed = false;
    bool keyArrived = false;
    double keyLatencyMs = 0;
};

// Pushes `size` bytes through the peer until `shown` finds the end marker.
// With a key target, a key goes to it a quarter of the way in and the time
// until the peer reads it back is taken.
PushOutcome push(test::PtyPeer& peer, qsizetype size, int timeoutMs,
                 const std::function<bool(const QByteArray&)>& shown,
                 const std::function<void()>& sample, QWidget* keyTarget) {
    PushOutcome outcome;
    const QByteArray marker = makeMarker();
    const QByteArray data = makePayload(size, marker);
    outcome.bytes = data.size();

    QElapsedTimer keyClock;
    peer.clearReceived();
    peer.onReceive = [&](test::PtyPeer&, const QByteArray& bytes) {
        if (outcome.keyPressed && !outcome.keyArrived && bytes.contains('x')) {
            outcome.keyArrived = true;
            outcome.keyLatencyMs = static_cast<double>(keyClock.nsecsElapsed()) / 1e6;
        }
    };
    Pusher pusher(peer, data);
    pusher.onProgress = [&](qsizetype done) {
        if (keyTarget && !outcome.keyPressed && done >= data.size() / 4) {
            outcome.keyPressed = true;
            keyClock.start();
            postKey(keyTarget, 'x');
        }
    };

    const qint64 residentBefore = residentBytes();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    pusher.start();
    waitUntil(
        [&] {
            QElapsedTimer checkClock;
            checkClock.start();
            if (sample)
                sample();
            const bool seen = !outcome.finished && shown(marker);
            if (!outcome.finished)
                outcome.checkSeconds += static_cast<double>(checkClock.nsecsElapsed()) / 1e9;
            if (seen) {
                outcome.finished = true;
                outcome.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
                outcome.residentGrowth = residentBytes() - residentBefore;
                outcome.cpuUsed = cpuSeconds() - cpuBefore;
            }
            const bool keyDone = !keyTarget || outcome.keyArrived ||
                                 (outcome.keyPressed && keyClock.elapsed() > kKeyTimeoutMs);
            return outcome.finished && keyDone;
        },
        timeoutMs);
    pusher.stop();
    peer.onReceive = nullptr;
    if (!outcome.finished)
        outcome.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return outcome;
}

double megabytesPerSecond(const PushOutcome& outcome) {
    if (!(outcome.seconds > 0))
        return 0;
    return static_cast<double>(outcome.bytes) / (1024.0 * 1024.0) / outcome.seconds;
}

QString rateText(const PushOutcome& outcome) {
    const double busy = outcome.seconds > 0 ? 100.0 * outcome.cpuUsed / outcome.seconds : 0;
    return QStringLiteral("%1 = %2 MB/s (CPU busy %3 %, marker checks %4 of it)")
        .arg(secondsText(outcome.seconds))
        .arg(megabytesPerSecond(outcome), 0, 'f', 2)
        .arg(busy, 0, 'f', 0)
        .arg(secondsText(outcome.checkSeconds));
}

// Time from a key posted to the idle window until the peer reads the byte.
double idleKeyLatencyMs(test::PtyPeer& peer, QWidget* target, bool& arrived) {
    peer.clearReceived();
    QElapsedTimer clock;
    clock.start();
    postKey(target, 'x');
    arrived = peer.waitFor(QByteArrayLiteral("x"), kKeyTimeoutMs);
    const double latency = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    peer.clearReceived();
    return latency;
}

QString msText(double milliseconds) {
    return QStringLiteral("%1 ms").arg(milliseconds, 0, 'f', 1);
}

// The same receive while the session is recorded into a file, beside the plain one.
void measureRecordedReceive(test::PtyPeer& peer, const Options& options, FrmXmodem& window,
                            WindowRig& rig, const PushOutcome& plain, Findings& findings) {
    QTemporaryDir folder;
    const QString record = folder.filePath(QStringLiteral("sessao.txt"));
    rig.dialogs().files.enqueue({false, record});
    window.execute(Command::RecordSession);
    if (!window.controller().capturing()) {
        findings.flag(QStringLiteral("the session record did not start: ") + rig.shownErrors());
        return;
    }
    TerminalBox& box = window.terminal();
    const PushOutcome recorded = push(
        peer, options.pushBytes, options.pushTimeoutMs,
        [&](const QByteArray& marker) { return box.toPlainText().contains(QLatin1String(marker)); },
        {}, &box);
    window.execute(Command::RecordSession);
    if (!recorded.finished) {
        findings.flag(QStringLiteral("terminal never showed the end of the data while recording"));
        return;
    }
    findings.say(QStringLiteral("terminal_record: %1 in %2 with the session recorded; RSS growth "
                                "%3; record %4; CPU ratio recorded over plain: %5")
                     .arg(megabytesText(static_cast<double>(recorded.bytes)), rateText(recorded),
                          megabytesText(static_cast<double>(recorded.residentGrowth)),
                          megabytesText(static_cast<double>(QFileInfo(record).size())),
                          ratioText(recorded.cpuUsed, plain.cpuUsed)));
    if (static_cast<double>(recorded.residentGrowth) > kMemoryBadlyOffBytes)
        findings.flag(QStringLiteral("recording grew the process by %1")
                          .arg(megabytesText(static_cast<double>(recorded.residentGrowth))));
}

} // namespace

void measureTerminalReceive(const Options& options, Findings& findings) {
    IsolatedPorts ports;
    if (!ports.ok()) {
        findings.say(QStringLiteral("terminal_receive: skipped, no temporary ports folder"));
        return;
    }
    test::PtyPeer peer(ports.dir(), 1);
    if (!peer.ok()) {
        findings.say(QStringLiteral("terminal_receive: skipped, no pseudo-terminals here"));
        return;
    }
    WindowRig rig(ports.dir());
    FrmXmodem& window = rig.window();
    Session& session = rig.session();
    window.formLoad();
    window.show();
    waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 2000);

    // Reference: the same bytes while the window is in XMODEM mode, where they
    // only land in the bounded receive buffer.
    if (const int error = window.link().openTerminalPort()) {
        findings.flag(QStringLiteral("could not open COM1 on the pty (error %1)").arg(error));
        return;
    }
    session.link.rxBuffer.clear();
    const PushOutcome reference = push(
        peer, options.pushBytes, options.pushTimeoutMs,
        [&](const QByteArray& marker) { return session.link.rxBuffer.contains(marker); }, {},
        nullptr);
    window.mainPort().close();

    session.settings.portNumber = QStringLiteral("1");
    window.execute(Command::Terminal);
    if (!session.link.terminalMode) {
        findings.flag(QStringLiteral("terminal mode did not come on: ") + rig.shownErrors());
        return;
    }
    TerminalBox& box = window.terminal();
    waitUntil([&] { return box.isVisible() && window.windowHandle()->isExposed(); }, 2000);
    bool idleKeyArrived = false;
    const double idleKey = idleKeyLatencyMs(peer, &box, idleKeyArrived);

    qsizetype mostChars = 0;
    const PushOutcome terminal = push(
        peer, options.pushBytes, options.pushTimeoutMs,
        [&](const QByteArray& marker) { return box.toPlainText().contains(QLatin1String(marker)); },
        [&] {
            mostChars = std::max({mostChars, box.characterCount(), box.toPlainText().size()});
        },
        &box);
    const qsizetype endChars = box.characterCount();

    const QString referenceText =
        reference.finished
            ? rateText(reference)
            : QStringLiteral("not finished after %1").arg(secondsText(reference.seconds));
    if (terminal.finished) {
        findings.say(
            QStringLiteral("terminal_receive: %1 in %2; RSS growth %3; box at most %4 "
                           "chars (%5 at the end); XMODEM-mode reference: %6, RSS "
                           "growth %7; ratio terminal over reference: %8")
                .arg(megabytesText(static_cast<double>(terminal.bytes)), rateText(terminal),
                     megabytesText(static_cast<double>(terminal.residentGrowth)))
                .arg(mostChars)
                .arg(endChars)
                .arg(referenceText, megabytesText(static_cast<double>(reference.residentGrowth)),
                     ratioText(terminal.seconds, reference.seconds)));
    } else {
        findings.say(QStringLiteral("terminal_receive: end marker not shown after %1; "
                                    "XMODEM-mode reference: %2")
                         .arg(secondsText(terminal.seconds), referenceText));
        findings.flag(QStringLiteral("terminal never showed the end of the data"));
    }
    if (!reference.finished)
        findings.flag(QStringLiteral("XMODEM-mode receive never saw the end of the data"));

    if (terminal.finished)
        measureRecordedReceive(peer, options, window, rig, terminal, findings);

    const QString pushKey =
        terminal.keyArrived ? msText(terminal.keyLatencyMs) : QStringLiteral("never arrived");
    const QString idleKeyText = idleKeyArrived ? msText(idleKey) : QStringLiteral("never arrived");
    findings.say(QStringLiteral("terminal_key: typed 'x' reached the line %1 after the key during "
                                "the push; on a quiet line %2; ratio: %3")
                     .arg(pushKey, idleKeyText,
                          terminal.keyArrived && idleKeyArrived
                              ? ratioText(terminal.keyLatencyMs, idleKey)
                              : QStringLiteral("n/a")));

    if (terminal.finished && static_cast<double>(terminal.residentGrowth) > kMemoryBadlyOffBytes)
        findings.flag(QStringLiteral("terminal receive grew the process by %1")
                          .arg(megabytesText(static_cast<double>(terminal.residentGrowth))));
    if (mostChars > kTerminalCapacity)
        findings.flag(QStringLiteral("terminal box held %1 chars").arg(mostChars));
    if (!terminal.keyArrived || !idleKeyArrived)
        findings.flag(QStringLiteral("a typed key never reached the line"));
    if (const QString errors = rig.shownErrors(); !errors.isEmpty())
        findings.flag(QStringLiteral("the window showed errors: ") + errors);
}

} // namespace quillon::bench
