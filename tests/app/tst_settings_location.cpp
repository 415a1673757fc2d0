#include "core/settings_file.h"
#include "platform/paths.h"
#include "platform/settings_location.h"
#include "tests/app/window_fixture.h"

#include <QDir>
#include <QFile>
#include <QOperatingSystemVersion>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace quillon;
using namespace quillon::test;

namespace {

bool readOnly(const QString&) {
    return false;
}

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
public:
    EnvGuard(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvGuard() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TstSettingsLocation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void companionFolder_data();
    void companionFolder();
    void chosenFolder_data();
    void chosenFolder();
    void writableCheckAsOrdinaryUser_data();
    void writableCheckAsOrdinaryUser();
    void firstWriteMakesTheFolder();
    void readOnlyProgramWritesNothingBesideItself();
};

void TstSettingsLocation::companionFolder_data() {
    QTest::addColumn<QStringList>("made"); // folders end with "/"
    QTest::addColumn<QString>("own");
    QTest::addColumn<QString>("found");
    QTest::newRow("build") << QStringList{"tools/", "QuillonV2/"} << "tools"
                           << "QuillonV2";
    QTest::newRow("installed") << QStringList{"bin/", "lib/quillon/QuillonV2/"} << "bin"
                               << "lib/quillon/QuillonV2";
    QTest::newRow("beside it (Windows)")
        << QStringList{"QuillonV2/", "QuillonV2/QuillonV2.exe", "QuillonV2/quillon-upload.exe"}
        << "QuillonV2"
        << "QuillonV2";
    QTest::newRow("only the earlier edition")
        << QStringList{"bin/", "lib/quillon/Quillon/"} << "bin"
        << "bin";
}

void TstSettingsLocation::companionFolder() {
    QFETCH(QStringList, made);
    QFETCH(QString, own);
    QFETCH(QString, found);
    QTemporaryDir root;
    for (const QString& entry : made) {
        if (entry.endsWith(QLatin1Char('/')))
            QVERIFY(QDir(root.path()).mkpath(entry));
        else
            QVERIFY(QFile(root.filePath(entry)).open(QIODevice::WriteOnly));
    }
    QCOMPARE(companionProgramFolder(root.filePath(own), QStringLiteral("QuillonV2")),
             root.filePath(found));
}

void TstSettingsLocation::chosenFolder_data() {
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QByteArray>("xdgConfigHome"); // null: unset
    QTest::addColumn<QString>("expected");         // relative to the test's home
#ifdef Q_OS_WIN
    QTest::newRow("portable") << true << "QuillonV2" << QByteArray() << "prog/Quillon.ini";
    QTest::newRow("installed") << false << "QuillonV2" << QByteArray()
                               << "AppData/Roaming/Quillon/QuillonV2/Quillon.ini";
#else
    QTest::newRow("portable") << true << "QuillonV2" << QByteArray("/elsewhere")
                              << "prog/Quillon.ini";
    QTest::newRow("installed, XDG set")
        << false << "QuillonV2" << QByteArray("@/cfg") << "cfg/quillon/QuillonV2/Quillon.ini";
    QTest::newRow("installed, XDG unset")
        << false << "QuillonV2" << QByteArray() << ".config/quillon/QuillonV2/Quillon.ini";
    QTest::newRow("installed, XDG empty")
        << false << "QuillonV2" << QByteArray("") << ".config/quillon/QuillonV2/Quillon.ini";
    // A relative value would move the file with the current directory.
    QTest::newRow("installed, XDG relative")
        << false << "QuillonV2" << QByteArray("cfg") << ".config/quillon/QuillonV2/Quillon.ini";
    QTest::newRow("earlier edition keeps its own")
        << false << "Quillon" << QByteArray() << ".config/quillon/Quillon/Quillon.ini";
#endif
}

void TstSettingsLocation::chosenFolder() {
    QFETCH(bool, writable);
    QFETCH(QString, program);
    QFETCH(QByteArray, xdgConfigHome);
    QFETCH(QString, expected);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString root = QDir(home.path()).canonicalPath();
    xdgConfigHome.replace("@", QFile::encodeName(root));
    EnvGuard homeVar("HOME", QFile::encodeName(root));
    EnvGuard appData("APPDATA", QFile::encodeName(root + QStringLiteral("/AppData/Roaming")));
    EnvGuard xdg("XDG_CONFIG_HOME", xdgConfigHome);
    const QString programFolder = root + QStringLiteral("/prog");
    QVERIFY(QDir().mkpath(programFolder));

    const QString path =
        settingsFilePath(programFolder, program, [&](const QString&) { return writable; });
    QCOMPARE(path, root + QLatin1Char('/') + expected);
}

void TstSettingsLocation::writableCheckAsOrdinaryUser_data() {
    QTest::addColumn<int>("mode"); // -1: no such folder
    QTest::addColumn<bool>("expected");
    QTest::newRow("writable") << 0777 << true;
    QTest::newRow("read-only") << 0555 << false;
    QTest::newRow("missing") << -1 << false;
}

// Root may write anywhere, so the tests, run as root, check the real folderWritable()
// in a child process that has become an ordinary user first.
void TstSettingsLocation::writableCheckAsOrdinaryUser() {
#ifndef Q_OS_UNIX
    QSKIP("needs fork() and set-user-id");
#else
    QFETCH(int, mode);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString folder = dir.filePath(QStringLiteral("prog"));
    if (mode >= 0) {
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), static_cast<mode_t>(mode)) == 0);
    }
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::geteuid() == 0) {
            const gid_t nogroup = 65534;
            const uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(nobody) != 0)
                ::_exit(3);
        }
        ::_exit(folderWritable(folder) ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), expected ? 1 : 0);
#endif
}

void TstSettingsLocation::firstWriteMakesTheFolder() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cfg/quillon/QuillonV2/Quillon.ini"));
    SettingsValues values;
    values.programFile = QStringLiteral("/home/t/A\u00e7\u00e3o.Epr");
    QCOMPARE(saveSettingsFile(path, values, 8), 0);
    QCOMPARE(contentsOf(path), QByteArray("1\r\n9600,n,8,1\r\n1200,n,8,1\r\n/home/t/A\xE7\xE3o.Epr"
                                          "\r\n\r\n0\r\n\r\n\r\n\r\n"));
}

// Installed: the program's folder stays as the package left it, and the user's file
// holds the same bytes a portable copy would write, read back on the next start.
void TstSettingsLocation::readOnlyProgramWritesNothingBesideItself() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString root = QDir(home.path()).canonicalPath();
    EnvGuard homeVar("HOME", QFile::encodeName(root));
    EnvGuard xdg("XDG_CONFIG_HOME", QByteArray());
    EnvGuard appData("APPDATA", QFile::encodeName(root + QStringLiteral("/AppData/Roaming")));
    const QString userFile =
        root + (QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows
                    ? QStringLiteral("/AppData/Roaming/Quillon/QuillonV2/Quillon.ini")
                    : QStringLiteral("/.config/quillon/QuillonV2/Quillon.ini"));
    const auto installed = [](WindowFixture& f) {
        f.session.settingsFile =
            settingsFilePath(f.folder.appDir, QStringLiteral("QuillonV2"), readOnly);
    };
    {
        WindowFixture f;
        installed(f);
        QCOMPARE(f.session.settingsPath(), userFile);
        f.window().formLoad();
        f.window().close();
        QCOMPARE(f.session.lastErrorNumber, 0);
        QCOMPARE(entriesOf(f.folder.appDir), QStringList());
        // A fresh file starts the file dialogs in the user's home, not in the
        // program's folder under /usr.
        // (Windows takes the home from USERPROFILE, not HOME.)
        QCOMPARE(contentsOf(userFile),
                 "1\r\n9600,n,8,1\r\n1200,n,8,1\r\n" + defaultProgramFile().toLocal8Bit() + "\r\n" +
                     QDir::toNativeSeparators(QDir::homePath()).toLocal8Bit() +
                     folderSeparator().toLocal8Bit() + "\r\n0\r\n\r\n\r\n\r\n");
    }
    QFile file(userFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("4\r\n19200,e,7,2\r\n2400,n,8,1\r\n/p/a.Epr\r\n/p/\r\n1\r\nX3\r\n5511\r\n\r\n");
    file.close();
    WindowFixture f;
    installed(f);
    f.window().formLoad();
    QCOMPARE(f.session.settings.transferSettings, QStringLiteral("19200,e,7,2"));
    QCOMPARE(f.session.settings.phoneNumber, QStringLiteral("5511"));
    QCOMPARE(entriesOf(f.folder.appDir), QStringList());
}

QTEST_MAIN(TstSettingsLocation)
#include "tst_settings_location.moc"
