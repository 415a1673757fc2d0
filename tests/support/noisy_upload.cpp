#include "tests/support/noisy_upload.h"

#include "core/edition.h"
#include "core/serial_link.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "sim/loader_role.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fault_relay.h"
#include "tests/support/rx_gate.h"
#include "tests/support/upload_fakes.h"
#include "transfer/upload.h"
#include "transfer/xmodem.h"

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <random>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace quillon::test {

namespace {

constexpr int kCom = 4;

// The simulator's loader, in this process, on the far end of the line.
class LoaderPeer {
public:
    LoaderPeer(const QString& device, const sim::LoaderSettings& settings) : role_(settings) {
        fd_ = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios raw{};
        ::tcgetattr(fd_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd_, TCSANOW, &raw);
        role_.setSender([this](const QByteArray& bytes) {
            if (::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) < 0)
                qWarning("loader could not answer");
        });
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            char buffer[512];
            ssize_t n;
            while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
                role_.receive(QByteArrayView(buffer, n));
        });
    }
    ~LoaderPeer() {
        notifier_.reset();
        ::close(fd_);
    }

private:
    int fd_ = -1;
    sim::LoaderRole role_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

void sleepFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitForFile(const QString& path, int ms) {
    for (int waited = 0; waited < ms && !QFile::exists(path); waited += 20)
        sleepFor(20);
    return QFile::exists(path);
}

// Empty when `received` is the program followed by its block padding.
QString heldProblem(const QByteArray& program, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the receiver holds no file");
    const QByteArray held = file.readAll();
    const qsizetype blocks = program.size() / xmodem::kDataSize + 1;
    if (!held.startsWith(program))
        return QStringLiteral("the receiver holds %1 other bytes").arg(held.size());
    const QByteArray tail = held.mid(program.size());
    if (held.size() > blocks * xmodem::kDataSize || tail.count(xmodem::kPad) != tail.size())
        return QStringLiteral("%1 bytes after the program").arg(tail.size());
    return {};
}

} // namespace

NoisyLine noisyLineFor(std::mt19937& random, double rate, int maxSize) {
    auto pick = [&random](double a, double b) {
        return std::uniform_real_distribution<double>(a, b)(random);
    };
    static const double rates[] = {0, 1e-3, 3e-3, 1e-2};
    const double picked = rates[random() % 4];
    NoisyLine line;
    line.rate = rate >= 0 ? rate : picked;
    line.toPeer = LineFaults::corrupting(line.rate);
    line.toPeer.drop = line.rate * pick(0, 0.3);
    line.toPeer.duplicate = line.rate * pick(0, 0.3);
    line.toProgram = LineFaults::corrupting(line.rate);
    line.toProgram.drop = line.rate * pick(0, 0.3);
    line.toProgram.duplicate = line.rate * pick(0, 0.3);
    line.program =
        QByteArray(static_cast<qsizetype>(1 + random() % static_cast<quint32>(maxSize)), '\0');
    for (char& c : line.program)
        c = static_cast<char>(random());
    return line;
}

NoisyOutcome noisyUpload(const NoisyRun& run) {
    const NoisyReceiver receiver = run.receiver;
    const quint32 seed = run.seed;
    std::mt19937 random(seed);
    const NoisyLine noisy = noisyLineFor(random, run.rate, run.maxSize);
    const double rate = noisy.rate;
    const LineFaults& toPeer = noisy.toPeer;
    const LineFaults& toProgram = noisy.toProgram;
    const QByteArray& program = noisy.program;

    QTemporaryDir work;
    const QString portsDir = work.filePath(QStringLiteral("ports"));
    FaultRelay line(portsDir, kCom, seed, toPeer, toProgram);
    if (!line.ok())
        return {false, QStringLiteral("no pseudo-terminals"), rate};
    const QString programPath = work.filePath(QStringLiteral("prog.Epr"));
    QFile file(programPath);
    file.open(QIODevice::WriteOnly);
    file.write(program);
    file.close();
    const QString heldPath = work.filePath(QStringLiteral("held.Epr"));

    FakeDialogs dialogs;
    FakeUploadView view;
    Session session(fullEdition(), work.path(), dialogs, qtPortFactory(PortMap(portsDir)));
    session.settings.portNumber = QString::number(kCom);
    session.settings.programFile = programPath;
    std::unique_ptr<SerialPort> port = session.portFactory();
    SerialLink link(session, *port);
    Upload upload(session, link, view);
    // The gate before rx waits for a quiet line, which passes this short never leave.
    upload.handshake().passMs = receiver == NoisyReceiver::Rx ? 300 : 20;
    // Every receiver here asks again after well under a second of silence, and
    // python3-xmodem first waits out a second of quiet line before its NAK: the
    // limit leaves room for a few such rounds, or a lost byte would end the run.
    upload.blockLimitMs = 4000;
    // rx -c answers EOT only after a second of silence: its runs keep the real wait.
    if (receiver != NoisyReceiver::Rx)
        upload.eotReplyMs = 300;

    std::unique_ptr<LoaderPeer> loader;
    std::unique_ptr<RxGate> rx;
    QProcess python;
    if (receiver == NoisyReceiver::Loader) {
        sim::LoaderSettings settings;
        settings.b1b2After = 1;
        settings.savePath = heldPath;
        settings.times.callMs = 50;
        settings.times.interByteMs = 200;
        settings.times.giveUpMs = 6000;
        settings.times.retryMs = 400;
        settings.times.purgeMs = 30;
        settings.faults.nakFirstEot = random() % 2 == 0;
        settings.faults.ackWithNak = random() % 3 == 0;
        loader = std::make_unique<LoaderPeer>(line.peerDevice(), settings);
    } else if (receiver == NoisyReceiver::Rx) {
        rx =
            std::make_unique<RxGate>(line.peerDevice(), work.path(), 1, QStringLiteral("held.Epr"));
        rx->rxOptions = {QStringLiteral("-t"), QStringLiteral("10")};
    } else {
        python.start(QStringLiteral("/usr/bin/python3"),
                     {xmodemReceiveScript(), line.peerDevice(), heldPath, QStringLiteral("0.5")});
        python.waitForStarted();
    }
    // A receiver that never calls is stopped the way the user would.
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, &stuck, [&session] {
        session.transfer.transferStop = true;
        session.waiter.wake();
    });
    stuck.start(20000);
    upload.run();
    stuck.stop();

    NoisyOutcome outcome;
    outcome.rate = rate;
    outcome.success = view.status() == QLatin1String("PROGRAMA ENVIADO COM SUCESSO");
    const bool failureShown = view.status() == QLatin1String("CANCELADO") ||
                              view.status().isEmpty() || !dialogs.messages.isEmpty();
    if (receiver == NoisyReceiver::Rx) {
        if (!rx->waitForRx(outcome.success ? 5000 : 100))
            rx.reset();
    } else if (receiver == NoisyReceiver::Python) {
        python.waitForFinished(outcome.success ? 5000 : 100);
        python.kill();
        python.waitForFinished(1000);
    }
    if (outcome.success) {
        if (receiver == NoisyReceiver::Loader)
            waitForFile(heldPath, 1000);
        outcome.problem = heldProblem(program, heldPath);
        if (!dialogs.messages.isEmpty())
            outcome.problem += QStringLiteral(" and a box after success");
    } else if (!failureShown) {
        outcome.problem =
            QStringLiteral("neither success nor failure shown: \"%1\"").arg(view.status());
    }
    if (!outcome.problem.isEmpty())
        outcome.problem =
            QStringLiteral("seed %1 rate %2 size %3: ").arg(seed).arg(rate).arg(program.size()) +
            outcome.problem;
    return outcome;
}

QString xmodemReceiveScript() {
    return QStringLiteral(QUILLON_SOURCE_DIR "/tests/support/xmodem_receive.py");
}

} // namespace quillon::test

namespace quillon::test {

namespace {

constexpr char kTally[] = "noisy tally: ";
constexpr char kProblem[] = "noisy problem: ";

} // namespace

void runNoisyShard(int runs, const std::function<NoisyRun(int)>& run) {
    const int shard = qEnvironmentVariableIntValue(kNoisyShardVariable);
    const int shards = std::max(1, qEnvironmentVariableIntValue(kNoisyShardsVariable));
    NoisyTally tally;
    for (int i = 0; i < runs; ++i) {
        // Receivers and rates recur every few runs; this spreads the slow ones
        // over all shards.
        if ((i % 16 + i / 16) % shards != shard)
            continue;
        const NoisyRun noisy = run(i);
        const NoisyOutcome outcome = noisyUpload(noisy);
        ++tally.runs;
        tally.successes += outcome.success ? 1 : 0;
        if (!outcome.problem.isEmpty())
            std::printf("%sreceiver %d, %s\n", kProblem, int(noisy.receiver),
                        qPrintable(outcome.problem));
    }
    std::printf("%s%d %d\n", kTally, tally.successes, tally.runs);
    std::fflush(stdout);
}

NoisyTally runNoisyShards(const QString& program, const QStringList& arguments, int shards,
                          const QProcessEnvironment& environment) {
    std::vector<std::unique_ptr<QProcess>> children;
    QEventLoop loop;
    int running = 0;
    for (int shard = 0; shard < shards; ++shard) {
        auto& child = children.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment childEnvironment = QProcessEnvironment::systemEnvironment();
        childEnvironment.insert(environment);
        childEnvironment.insert(QLatin1String(kNoisyShardVariable), QString::number(shard));
        childEnvironment.insert(QLatin1String(kNoisyShardsVariable), QString::number(shards));
        child->setProcessEnvironment(childEnvironment);
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(child.get(), &QProcess::finished, &loop, [&running, &loop] {
            if (--running == 0)
                loop.quit();
        });
        child->start(program, arguments);
        if (child->waitForStarted())
            ++running;
    }
    if (running > 0)
        loop.exec();

    NoisyTally tally;
    for (const auto& child : children) {
        const QString output = QString::fromLocal8Bit(child->readAllStandardOutput());
        if (child->exitStatus() != QProcess::NormalExit || child->exitCode() != 0) {
            tally.childrenFailed = true;
            tally.childOutput += output;
        }
        for (const QString& line : output.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String(kProblem))) {
                tally.problems << line.mid(qsizetype(sizeof kProblem) - 1);
            } else if (line.startsWith(QLatin1String(kTally))) {
                const QStringList counts = line.mid(qsizetype(sizeof kTally) - 1).split(' ');
                tally.successes += counts.value(0).toInt();
                tally.runs += counts.value(1).toInt();
            }
        }
    }
    return tally;
}

} // namespace quillon::test
