#include "platform/paths.h"
#include "platform/port_map.h"
#include "platform/system_info.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

using namespace quillon;

namespace {

const wchar_t* const kPathKey = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const wchar_t* const kLocationKey = L"SOFTWARE\\Microsoft\\Shared Tools Location";

// The machine's own HKEY_LOCAL_MACHINE is left alone: this process's view of it
// is a scratch key under HKEY_CURRENT_USER, which needs no administrator.
const wchar_t* const kScratchKey = L"Software\\QuillonTests\\LocalMachine";

bool setValue(const wchar_t* keyName, const wchar_t* valueName, DWORD type, const QString& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring wide = text.toStdWString();
    const auto bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    const LONG result =
        RegSetValueExW(key, valueName, 0, type, reinterpret_cast<const BYTE*>(wide.c_str()), bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

} // namespace

class TstWindowsPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void systemInfoToolFromRegistry_data();
    void systemInfoToolFromRegistry();
    void comPortsAreNative_data();
    void comPortsAreNative();
    void storedPathsAreKept();
};

void TstWindowsPlatform::init() {
    HKEY scratch = nullptr;
    QCOMPARE(RegCreateKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &scratch, nullptr),
             ERROR_SUCCESS);
    const LONG overridden = RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch);
    RegCloseKey(scratch);
    QCOMPARE(overridden, ERROR_SUCCESS);
}

void TstWindowsPlatform::cleanup() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuillonTests");
}

void TstWindowsPlatform::systemInfoToolFromRegistry_data() {
    QTest::addColumn<QString>("pathValue"); // empty: no entry
    QTest::addColumn<bool>("pathIsString");
    QTest::addColumn<QString>("locationFolder"); // "<dir>": the temporary folder
    QTest::addColumn<bool>("folderHasTool");
    QTest::addColumn<QString>("expected"); // empty: unavailable

    QTest::newRow("no entries") << QString() << true << QString() << false << QString();
    QTest::newRow("the full path") << QStringLiteral("C:\\Tools\\sysinfo.exe") << true << QString()
                                   << false << QStringLiteral("C:\\Tools\\sysinfo.exe");
    QTest::newRow("the full path wins over the folder")
        << QStringLiteral("C:\\Tools\\sysinfo.exe") << true << QStringLiteral("<dir>") << true
        << QStringLiteral("C:\\Tools\\sysinfo.exe");
    QTest::newRow("the folder holding the tool") << QString() << true << QStringLiteral("<dir>")
                                                 << true << QStringLiteral("<dir>\\MSINFO32.EXE");
    QTest::newRow("the folder without the tool")
        << QString() << true << QStringLiteral("<dir>") << false << QString();
    QTest::newRow("a path that is not text is not read")
        << QStringLiteral("C:\\Tools\\sysinfo.exe") << false << QString() << false << QString();
}

void TstWindowsPlatform::systemInfoToolFromRegistry() {
    QFETCH(QString, pathValue);
    QFETCH(bool, pathIsString);
    QFETCH(QString, locationFolder);
    QFETCH(bool, folderHasTool);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = QDir::toNativeSeparators(dir.path());
    if (folderHasTool) {
        QFile tool(dir.filePath(QStringLiteral("MSINFO32.EXE")));
        QVERIFY(tool.open(QIODevice::WriteOnly));
    }
    if (!pathValue.isEmpty())
        QVERIFY(setValue(kPathKey, L"PATH", pathIsString ? REG_SZ : REG_BINARY, pathValue));
    if (!locationFolder.isEmpty())
        QVERIFY(setValue(kLocationKey, L"MSINFO", REG_SZ,
                         locationFolder.replace(QStringLiteral("<dir>"), folder)));

    const auto tool = findSystemInfoTool();
    if (expected.isEmpty()) {
        QVERIFY2(!tool, qPrintable(tool ? tool->program : QString()));
        return;
    }
    QVERIFY(tool);
    QCOMPARE(tool->program, expected.replace(QStringLiteral("<dir>"), folder));
}

void TstWindowsPlatform::comPortsAreNative_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << 1 << QStringLiteral("\\\\.\\COM1");
    QTest::newRow("COM12") << 12 << QStringLiteral("\\\\.\\COM12");
    QTest::newRow("no COM0") << 0 << QString();
}

void TstWindowsPlatform::comPortsAreNative() {
    QFETCH(int, number);
    QFETCH(QString, device);
    // The ports folder is a Linux device map; Windows numbers its ports itself
    // (and "COM1" cannot even be a file name there).
    QTemporaryDir ports;
    QCOMPARE(PortMap(ports.path()).devicePath(number), device);
}

void TstWindowsPlatform::storedPathsAreKept() {
    QCOMPARE(localPath(QStringLiteral("C:\\prog\\a.Epr")), QStringLiteral("C:\\prog\\a.Epr"));
    QCOMPARE(folderSeparator(), QStringLiteral("\\"));
    QCOMPARE(defaultProgramFile(), QStringLiteral("C:\\"));
}

QTEST_GUILESS_MAIN(TstWindowsPlatform)
#include "tst_windows_platform.moc"
