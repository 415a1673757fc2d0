#include "tests/support/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

// Whether the process has its own handler for signo yet: before that, the signal
// would kill it as it would any program.
bool catches(qint64 pid, int signo) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool ok = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask >> (signo - 1) & 1u);
        }
    }
    return false;
}

// The program copied into a folder of its own, so that its settings land there and not
// in the build folder, and started offscreen on the ports of that folder.
struct ProgramCopy {
    QTemporaryDir dir;
    QString program;
    QString ports = dir.filePath(QStringLiteral("ports"));
    QProcess process;

    explicit ProgramCopy(const QByteArray& programVariable) {
        const QString built = qEnvironmentVariable(programVariable.constData());
        program = dir.filePath(QFileInfo(built).fileName());
        QFile::copy(built, program);
        QDir().mkdir(ports);
    }
    bool ready() const { return QFile::exists(program); }
    void start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUILLON_PORTS"), ports);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, {});
    }
    QByteArray ini() const {
        QFile file(dir.filePath(QStringLiteral("Quillon.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

} // namespace

class TstProgramEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endRequestSavesSettings_data();
    void endRequestSavesSettings();
    void endRequestDuringTheProbe_data();
    void endRequestDuringTheProbe();
};

void TstProgramEnd::endRequestSavesSettings_data() {
    QTest::addColumn<QByteArray>("programVariable");
    QTest::addColumn<int>("signo");
    QTest::addColumn<int>("lines");
    QTest::newRow("QuillonV2, kill") << QByteArray("QUILLON_V2") << int(SIGTERM) << 8;
    QTest::newRow("QuillonV2, Ctrl+C") << QByteArray("QUILLON_V2") << int(SIGINT) << 8;
    QTest::newRow("Quillon, logout") << QByteArray("QUILLON_V1") << int(SIGHUP) << 5;
}

// Logout, shutdown and kill must not lose what the user set, as the close box does not.
void TstProgramEnd::endRequestSavesSettings() {
    QFETCH(QByteArray, programVariable);
    QFETCH(int, signo);
    QFETCH(int, lines);
    ProgramCopy copy(programVariable);
    QVERIFY2(copy.ready(), programVariable.constData());
    QProcess& process = copy.process;
    copy.start();
    QVERIFY(process.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return catches(process.processId(), signo); }, 30000));
    ::kill(static_cast<pid_t>(process.processId()), signo);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    const QByteArray text = copy.ini();
    QVERIFY2(text.startsWith("1\r\n9600,n,8,1\r\n"), text.constData());
    QCOMPARE(text.count("\r\n"), lines + 1);
}

void TstProgramEnd::endRequestDuringTheProbe_data() {
    QTest::addColumn<int>("signo");
    QTest::newRow("kill") << int(SIGTERM);
    QTest::newRow("Ctrl+C") << int(SIGINT);
    QTest::newRow("logout") << int(SIGHUP);
}

// Before the window is shown the probe listens to the ports; an end request then must
// end the program as the close box would, not leave a window that saves nothing more.
void TstProgramEnd::endRequestDuringTheProbe() {
    QFETCH(int, signo);
    ProgramCopy copy("QUILLON_V2");
    QVERIFY(copy.ready());
    for (int n = 1; n <= 10; ++n) {
        QFile entry(copy.ports + QStringLiteral("/COM%1").arg(n));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("/nonexistent/device\n");
    }
    // COM3 never stops talking, so the probe listens to it as long as it ever does.
    quillon::test::PtyPeer line(copy.ports, 3);
    QVERIFY(line.ok());
    QTimer chatter;
    QObject::connect(&chatter, &QTimer::timeout, [&line] { line.write("."); });
    chatter.start(50);
    // Written by hand: no final empty line, which the program's own file has.
    const QByteArray saved =
        "3\r\n9600,n,8,1\r\n2400,n,8,1\r\n/p.Epr\r\n/tmp/\r\n0\r\nX1\r\n5551234";
    {
        QFile ini(copy.dir.filePath(QStringLiteral("Quillon.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(saved);
    }
    QProcess& process = copy.process;
    copy.start();
    QVERIFY(process.waitForStarted());
    QVERIFY(line.waitFor("ATV1\r\n", 30000));
    // The handler is in place before the probe starts.
    QVERIFY(catches(process.processId(), signo));
    ::kill(static_cast<pid_t>(process.processId()), signo);
    QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(copy.ini(), saved + "\r\n\r\n");
}

QTEST_MAIN(TstProgramEnd)
#include "tst_program_end.moc"
