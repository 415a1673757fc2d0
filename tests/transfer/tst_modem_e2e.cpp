#include "app/terminal_box.h"
#include "tests/app/window_fixture.h"
#include "tests/support/sim_process.h"
#include "transfer/modem_link.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace quillon;
using namespace quillon::test;

namespace {

struct ThroughModem {
    WindowFixture f{true};
    simtest::SimProcess sim;
    QString saved = f.folder.dir.filePath(QStringLiteral("recebido.Epr"));

    QString start(const QStringList& modemOptions) {
        const QString why = sim.startOnPort(
            f.folder.portsDir, 2,
            QStringList{"--modem", "--dial-delay", "200", "--b1b2-after", "2", "--save", saved} +
                modemOptions);
        if (!why.isEmpty())
            return why;
        FrmXmodem& w = f.window();
        w.formLoad();
        w.modemLink().stepMs = 50; // a faster reply cycle; escape timing stays real
        w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("2"));
        f.session.settings.useModem = 1;
        f.session.settings.extraAtCommands = QStringLiteral("X3");
        f.session.settings.phoneNumber = QStringLiteral("5551234");
        w.show();
        return {};
    }
};

QByteArray programBytes(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return bytes;
}

} // namespace

class TstModemEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void uploadThroughTheModem();
    void failedDialSendsNoBlock();
    void terminalThroughTheModem();
};

void TstModemEndToEnd::init() {
    if (qEnvironmentVariableIsEmpty("QUILLON_SIM"))
        QSKIP("QUILLON_SIM does not name the simulator (run through ctest)");
}

void TstModemEndToEnd::uploadThroughTheModem() {
    ThroughModem m;
    const QString why = m.start({});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = m.f.window();
    const QByteArray program = programBytes(5000);
    const QString path = m.f.folder.dir.filePath(QStringLiteral("maq1.Epr"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(program);
    file.close();
    w.findChild<QLineEdit*>(QStringLiteral("Text6"))->setText(path);
    w.execute(Command::SendProgram);
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label4"))->text(),
             QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QVERIFY(m.f.dialogs.messages.isEmpty());
    QFile copy(m.saved);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll().left(5000), program);
    QTRY_VERIFY_WITH_TIMEOUT(m.sim.report().contains("hang up"), 3000);
    QVERIFY(m.sim.report().contains("dialing 5551234"));
}

void TstModemEndToEnd::failedDialSendsNoBlock() {
    ThroughModem m;
    const QString why = m.start({"--dial-result", "BUSY"});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = m.f.window();
    const QString path = m.f.folder.dir.filePath(QStringLiteral("maq1.Epr"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("program");
    file.close();
    w.findChild<QLineEdit*>(QStringLiteral("Text6"))->setText(path);
    w.execute(Command::SendProgram);
    QCOMPARE(m.f.dialogs.messages.size(), 1);
    QCOMPARE(m.f.dialogs.messages[0].title, QStringLiteral("Erro de Conexão com o Modem"));
    QVERIFY(!QFile::exists(m.saved));
    QVERIFY(!m.f.session.transfer.transferBusy);
}

void TstModemEndToEnd::terminalThroughTheModem() {
    ThroughModem m;
    const QString why = m.start({});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = m.f.window();
    w.execute(Command::Terminal);
    QVERIFY(m.f.session.link.terminalMode);
    QVERIFY(m.f.dialogs.messages.isEmpty());
    QVERIFY(w.mainPort().write("hello\r") == 0);
    QTRY_VERIFY_WITH_TIMEOUT(w.terminal().toPlainText().contains(QStringLiteral("PXC: hello")),
                             3000);
}

QTEST_MAIN(TstModemEndToEnd)
#include "tst_modem_e2e.moc"
