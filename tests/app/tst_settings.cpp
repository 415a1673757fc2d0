#include "core/settings_file.h"
#include "platform/paths.h"
#include "tests/app/window_fixture.h"
#include "tests/support/drawn_colours.h"
#include "tests/support/odd_files.h"
#include "tests/support/pty_peer.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

using namespace quillon;
using namespace quillon::test;

namespace {

QComboBox* combo1(FrmXmodem& w) {
    return w.findChild<QComboBox*>(QStringLiteral("Combo1"));
}

// The text the list shows as its own: a dimmed placeholder is not that.
QString comboText(FrmXmodem& w) {
    return combo1(w)->currentText();
}

QStringList comboEntries(FrmXmodem& w) {
    auto* combo = w.findChild<QComboBox*>(QStringLiteral("Combo1"));
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}

QString text4(FrmXmodem& w) {
    return w.findChild<QLineEdit*>(QStringLiteral("Text4"))->text();
}

QByteArray iniWithPort(const QByteArray& line1) {
    return line1 + "\r\n9600,n,8,1\r\n1200,n,8,1\r\n/\r\n/tmp/\r\n0\r\n\r\n\r\n\r\n";
}

} // namespace

class TstSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStartWritesDefaults();
    void roundTripKeepsEveryLine();
    void shortFileReadsEmptyLines();
    void useModemLine_data();
    void useModemLine();
    void badFirstLine_data();
    void badFirstLine();
    void unreadableSettingsFile_data();
    void unreadableSettingsFile();
    void failedSaveIsRememberedNotShown();
    void probeRealPorts();
    void savedPortTwelve();
    void noPortFound();
    void noPortTextReadsWhole_data();
    void noPortTextReadsWhole();
    void startupWithFourFreePortsTakesOneWait();
    void combo1ClickSetsText4();
};

void TstSettings::firstStartWritesDefaults() {
    WindowFixture f(true);
    f.window().formLoad();
    QCOMPARE(text4(f.window()), QStringLiteral("1"));
    QVERIFY(comboEntries(f.window()).isEmpty());
    QVERIFY(f.window().portStatus().isEmpty()); // no probe on a first start
    QVERIFY(f.dialogs.messages.isEmpty());
    f.window().close();
    const QByteArray expected = "1\r\n9600,n,8,1\r\n1200,n,8,1\r\n/\r\n" +
                                f.folder.appDir.toUtf8() + "/\r\n0\r\n\r\n\r\n\r\n";
    QCOMPARE(f.folder.readIni(), expected);
}

void TstSettings::roundTripKeepsEveryLine() {
    WindowFixture f;
    const QByteArray ini = "1\r\n19200,e,7,2\r\n2400,n,8,1\r\nC:\\Programas\\A\xE7\xE3o.Epr\r\n"
                           "C:\\Programas\\\r\n1\r\nX3&K0\r\n0,,55 (11) 3322-4455\r\n\r\n";
    f.folder.writeIni(ini);
    f.window().formLoad();
    QCOMPARE(f.session.settings.transferSettings, QStringLiteral("19200,e,7,2"));
    QCOMPARE(f.session.settings.programFile, QStringLiteral("C:\\Programas\\Ação.Epr"));
    QCOMPARE(f.session.settings.useModem, 1);
    QCOMPARE(f.session.settings.phoneNumber, QStringLiteral("0,,55 (11) 3322-4455"));
    f.window().close();
    QCOMPARE(f.folder.readIni(), ini);
}

void TstSettings::shortFileReadsEmptyLines() {
    WindowFixture f;
    f.folder.writeIni("3\r\n9600,n,8,1");
    f.window().formLoad();
    QCOMPARE(text4(f.window()), QStringLiteral("3"));
    QCOMPARE(f.session.settings.terminalSettings, QString());
    QCOMPARE(f.session.settings.useModem, 0);
    QCOMPARE(f.session.settings.phoneNumber, QString());
}

void TstSettings::useModemLine_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("useModem");
    QTest::newRow("abc") << QByteArray("abc") << 0;
    QTest::newRow("1") << QByteArray("1") << 1;
    QTest::newRow("blank 1") << QByteArray("  1x") << 1;
    QTest::newRow("0.6 rounds") << QByteArray("0.6") << 1;
    QTest::newRow("too big") << QByteArray("99999") << 0;
}

void TstSettings::useModemLine() {
    QFETCH(QByteArray, line);
    QFETCH(int, useModem);
    const LoadedSettings loaded = parseSettings(
        QString::fromLatin1("1\r\na\r\nb\r\nc\r\nd\r\n" + line + "\r\n"), 8, QStringLiteral("/x"));
    QCOMPARE(loaded.values.useModem, useModem);
}

void TstSettings::badFirstLine_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("COM3");
    QTest::newRow("overflow") << QByteArray("70000");
}

void TstSettings::badFirstLine() {
    QFETCH(QByteArray, line);
    WindowFixture f;
    f.folder.writeIni(line +
                      "\r\n4800,n,8,1\r\n1200,n,8,1\r\n/p.Epr\r\n/w/\r\n0\r\nX\r\n123\r\n\r\n");
    f.window().formLoad();
    // The port falls back to COM1; every other line is kept.
    QCOMPARE(text4(f.window()), QStringLiteral("1"));
    QCOMPARE(f.session.settings.transferSettings, QStringLiteral("4800,n,8,1"));
    QCOMPARE(f.session.settings.phoneNumber, QStringLiteral("123"));
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstSettings::unreadableSettingsFile_data() {
    addOddFileRows();
}

void TstSettings::unreadableSettingsFile() {
    QFETCH(QString, kind);
    WindowFixture f;
    if (kind == QLatin1String("huge"))
        f.folder.writeIni(iniWithPort("3"));
    QVERIFY(makeOddFile(kind, f.folder.iniPath()));
    QElapsedTimer clock;
    clock.start();
    f.window().formLoad();
    // Read as an unreadable file: an error recorded, not shown, and empty lines.
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(f.session.lastErrorNumber != 0);
    QVERIFY(f.dialogs.messages.isEmpty());
    QCOMPARE(text4(f.window()), QStringLiteral("1"));
    QCOMPARE(f.session.settings.terminalSettings, QString());
    f.window().close();
    if (kind == QLatin1String("huge")) {
        QVERIFY(f.folder.readIni().startsWith("1\r\n"));
    } else {
        // Nothing is written through a FIFO or a link to a device; they stay as they were.
        QVERIFY(!QFileInfo(f.folder.iniPath()).isFile());
        QVERIFY(QFileInfo::exists(f.folder.iniPath()));
        QVERIFY(f.session.lastErrorNumber != 0);
    }
    QVERIFY(!QFileInfo(QStringLiteral("/dev/zero")).isFile());
}

void TstSettings::failedSaveIsRememberedNotShown() {
    WindowFixture f;
    f.window().formLoad();
    // The writer makes a missing folder, so the failure here is a folder in the way.
    QVERIFY(QDir().mkdir(f.folder.iniPath()));
    f.window().close();
    QCOMPARE(f.session.lastErrorNumber, 75);
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstSettings::probeRealPorts() {
    WindowFixture f(true);
    PtyPeer free1(f.folder.portsDir, 1);
    PtyPeer modem2(f.folder.portsDir, 2);
    PtyPeer busy3(f.folder.portsDir, 3);
    QVERIFY(free1.ok() && modem2.ok() && busy3.ok());
    answerLikeModem(modem2);
    auto holder = holdPort(busy3.devicePath());
    QVERIFY(holder);
    f.folder.writeIni(iniWithPort("3"));
    f.window().formLoad();
    QCOMPARE(comboEntries(f.window()),
             (QStringList{QStringLiteral("COM1"), QStringLiteral("COM2 (MODEM)"),
                          QStringLiteral("COM3 (OCUPADO)")}));
    QCOMPARE(comboText(f.window()), QStringLiteral("COM3 (OCUPADO)"));
    QCOMPARE(text4(f.window()), QStringLiteral("3"));
    QCOMPARE(free1.received(), QByteArray("ATV1\r\n"));
    QCOMPARE(modem2.received(), QByteArray("ATV1\r\n"));
    QVERIFY(busy3.received().isEmpty());
    // Every probed port is closed again: the terminal can take it.
    QVERIFY(!f.window().mainPort().isOpen());
    QSerialPort again;
    again.setPortName(free1.devicePath());
    QVERIFY(again.open(QIODevice::ReadWrite));
}

void TstSettings::savedPortTwelve() {
    WindowFixture f(true);
    PtyPeer free2(f.folder.portsDir, 2);
    f.folder.writeIni(iniWithPort("12"));
    f.window().formLoad();
    QCOMPARE(comboEntries(f.window()), QStringList{QStringLiteral("COM2")});
    QCOMPARE(text4(f.window()), QStringLiteral("1"));
    QCOMPARE(f.window().findChild<QComboBox*>(QStringLiteral("Combo1"))->currentIndex(), -1);
    QVERIFY(
        f.window().findChild<QComboBox*>(QStringLiteral("Combo1"))->placeholderText().isEmpty());
}

void TstSettings::noPortFound() {
    WindowFixture f(true);
    f.folder.writeIni(iniWithPort("7"));
    f.window().formLoad();
    QCOMPARE(comboText(f.window()), QStringLiteral("Nenhuma COM encontr...."));
    QVERIFY(combo1(f.window())->placeholderText().isEmpty());
    QCOMPARE(text4(f.window()), QStringLiteral("7"));
    // The text is no port: choosing it leaves the port number alone.
    QCOMPARE(comboEntries(f.window()), QStringList{QStringLiteral("Nenhuma COM encontr....")});
    f.window().combo1Click(0);
    QCOMPARE(text4(f.window()), QStringLiteral("7"));
}

void TstSettings::noPortTextReadsWhole_data() {
    addStyleRows();
}

// "Nenhuma COM encontr...." whole in the list, with the counters still beside it.
void TstSettings::noPortTextReadsWhole() {
    QFETCH(QString, style);
    const StyleForTest styled(style);
    WindowFixture f(true);
    f.folder.writeIni(iniWithPort("1"));
    f.window().formLoad();
    QComboBox* list = combo1(f.window());
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.rect = list->rect();
    const QRect field =
        list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField);
    // The style draws the text a pixel inside that field on each side and cuts what passes.
    QVERIFY(list->fontMetrics().horizontalAdvance(comboText(f.window())) <= field.width() - 2);
    const QWidget* frame = list->parentWidget();
    for (const char* name :
         {"Label2", "Label1", "Label3", "LabErros", "LabOK", "LabTotal", "LabPorcento"}) {
        const auto* counter = frame->findChild<QLabel*>(QString::fromLatin1(name));
        QVERIFY2(counter->x() > list->geometry().right(), name);
        // The widest a counter shows: a finished upload's percentage.
        QVERIFY2(counter->x() + counter->fontMetrics().horizontalAdvance(QStringLiteral("100%")) <
                     frame->width() - 1,
                 name);
    }
}

void TstSettings::startupWithFourFreePortsTakesOneWait() {
    WindowFixture f(true);
    std::vector<std::unique_ptr<PtyPeer>> peers;
    for (int n = 1; n <= 4; ++n)
        peers.push_back(std::make_unique<PtyPeer>(f.folder.portsDir, n));
    f.folder.writeIni(iniWithPort("1"));
    QElapsedTimer clock;
    clock.start();
    f.window().formLoad();
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(comboEntries(f.window()).size(), 4);
    QVERIFY2(elapsed >= 500 && elapsed < 1000, qPrintable(QString::number(elapsed)));
}

void TstSettings::combo1ClickSetsText4() {
    WindowFixture f(true);
    PtyPeer free2(f.folder.portsDir, 2);
    PtyPeer free5(f.folder.portsDir, 5);
    f.folder.writeIni(iniWithPort("2"));
    f.window().formLoad();
    f.window().combo1Click(1);
    QCOMPARE(text4(f.window()), QStringLiteral("5"));
    QVERIFY(!f.window().mainPort().isOpen());
    f.window().close();
    QVERIFY(f.folder.readIni().startsWith("5\r\n"));
}

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
