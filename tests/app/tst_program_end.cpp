#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class TstProgramEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endRequestSavesSettings_data();
    void endRequestSavesSettings();
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
    const QString built = qEnvironmentVariable(programVariable.constData());
    QVERIFY2(QFile::exists(built), programVariable.constData());
    // A copy in a folder of its own, so that the settings land there and not in the
    // build folder.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QFileInfo(built).fileName());
    QVERIFY(QFile::copy(built, program));
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("ports"))));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUILLON_PORTS"), dir.filePath(QStringLiteral("ports")));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {});
    QVERIFY(process.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return catches(process.processId(), signo); }, 30000));
    ::kill(static_cast<pid_t>(process.processId()), signo);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    QFile ini(dir.filePath(QStringLiteral("Quillon.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QVERIFY2(text.startsWith("1\r\n9600,n,8,1\r\n"), text.constData());
    QCOMPARE(text.count("\r\n"), lines + 1);
}

QTEST_MAIN(TstProgramEnd)
#include "tst_program_end.moc"
