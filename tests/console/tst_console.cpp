#include "console/guided_entry.h"
#include "console/station_console.h"
#include "core/serial_link.h"
#include "core/text_helpers.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"

#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;

namespace {

// The console on a fake main port, open or closed.
struct ConsoleFixture {
    explicit ConsoleFixture(bool open = true) {
        port.setReceiveThreshold(1);
        if (open)
            port.open();
    }
    FakeDialogs dialogs;
    FakePort port;
    Session session{fullEdition(), QStringLiteral("/tmp"), dialogs,
                    [] { return std::make_unique<FakePort>(); }};
    SerialLink link{session, port};
    StationConsole console{session, link};
};

} // namespace

class TstConsole : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answerNumbers_data();
    void answerNumbers();
    void guidedEntry_data();
    void guidedEntry();
    void guidedEntryPrompts();
    void guidedEntryPromptsByZ_data();
    void guidedEntryPromptsByZ();
    void reportReadingIsBracketedByAtq();
    void failedAtq0EndsTheReport();
    void framing_data();
    void framing();
    void framingWaitsForAQuietLine();
    void closedPortReportsEachSend();
    void exchangeEndsWhenItsPortCloses_data();
    void exchangeEndsWhenItsPortCloses();
};

void TstConsole::answerNumbers_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("written");
    QTest::newRow("12.5") << QStringLiteral("12.5") << QStringLiteral("12.5");
    QTest::newRow("0.5 loses its zero") << QStringLiteral("0.5") << QStringLiteral(".5");
    QTest::newRow("-3") << QStringLiteral("-3") << QStringLiteral("-3");
    QTest::newRow("-0.25") << QStringLiteral("-0.25") << QStringLiteral("-.25");
    QTest::newRow("comma stops") << QStringLiteral("1,5") << QStringLiteral("1");
    QTest::newRow("text is 0") << QStringLiteral("abc") << QStringLiteral("0");
    QTest::newRow("blanks anywhere") << QStringLiteral(" 1 2") << QStringLiteral("12");
    QTest::newRow("exponent") << QStringLiteral("1e3") << QStringLiteral("1000");
    QTest::newRow("99 unchanged") << QStringLiteral("99") << QStringLiteral("99");
    QTest::newRow("beyond a double is 0") << QString(400, QLatin1Char('9')) << QStringLiteral("0");
}

void TstConsole::answerNumbers() {
    QFETCH(QString, answer);
    QFETCH(QString, written);
    QCOMPARE(numberText(answerNumber(answer)), written);
}

void TstConsole::guidedEntry_data() {
    QTest::addColumn<QStringList>("answers"); // an empty string is Cancel
    QTest::addColumn<QString>("line");        // empty: nothing to send
    QTest::addColumn<int>("prompts");
    QTest::addColumn<bool>("refused"); // the write-to-input message was shown
    QTest::newRow("Y 2") << QStringList{"2"} << QStringLiteral("2,2,2,2") << 1 << false;
    QTest::newRow("Y 3") << QStringList{"3"} << QStringLiteral("3,3,3,3") << 1 << false;
    QTest::newRow("Y abc reads") << QStringList{"abc", "3", "7"} << QStringLiteral("0,3,7,0") << 3
                                 << false;
    QTest::newRow("read relay 7") << QStringList{"0", "3", "7"} << QStringLiteral("0,3,7,0") << 3
                                  << false;
    QTest::newRow("write parameter")
        << QStringList{"1", "2", " 12", "12.5"} << QStringLiteral("1,2,12,12.5") << 4 << false;
    QTest::newRow("write relay 99")
        << QStringList{"1", "3", "99", "1"} << QStringLiteral("1,3,99,1") << 4 << false;
    QTest::newRow("analog output .5")
        << QStringList{"1", "4", "2", "0.5"} << QStringLiteral("1,4,2,.5") << 4 << false;
    QTest::newRow("write to an input") << QStringList{"1", "0"} << QString() << 2 << true;
    QTest::newRow("write to a digital input") << QStringList{"1", "1"} << QString() << 2 << true;
    QTest::newRow("Y 7 writes") << QStringList{"7", "2", "1", "-3"} << QStringLiteral("7,2,1,-3")
                                << 4 << false;
    QTest::newRow("cancel at Y") << QStringList{""} << QString() << 1 << false;
    QTest::newRow("cancel at Z") << QStringList{"0", ""} << QString() << 2 << false;
    QTest::newRow("cancel at T") << QStringList{"0", "2", ""} << QString() << 3 << false;
    QTest::newRow("cancel at W") << QStringList{"1", "2", "5", ""} << QString() << 4 << false;
}

void TstConsole::guidedEntry() {
    QFETCH(QStringList, answers);
    QFETCH(QString, line);
    QFETCH(int, prompts);
    QFETCH(bool, refused);
    FakeDialogs dialogs;
    for (const QString& a : answers)
        dialogs.inputs.enqueue(a);
    const auto result = enterYztwCommand(dialogs);
    QCOMPARE(result.value_or(QString()), line);
    QCOMPARE(dialogs.prompts.size(), prompts);
    QCOMPARE(dialogs.messages.size(), refused ? 1 : 0);
    if (refused)
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("Nao é possível gravar um valor em uma entrada!"));
}

void TstConsole::guidedEntryPrompts() {
    FakeDialogs dialogs;
    for (const char* a : {"1", "2", " 12", "4"})
        dialogs.inputs.enqueue(QString::fromLatin1(a));
    QVERIFY(enterYztwCommand(dialogs).has_value());
    QCOMPARE(dialogs.prompts[0].title, QStringLiteral("Comando Y"));
    QCOMPARE(
        dialogs.prompts[0].text,
        QStringLiteral("Entre com o comando Y\r\n\r\n0 = Leitura\r\n1 = Escrita\r\n2 = Ajuda\r\n"
                       "3 = Transferência de Bloco\r\n"));
    QCOMPARE(dialogs.defaults, (QStringList{"0", "2", "1", "0"}));
    // Writing: inputs are not offered.
    QCOMPARE(dialogs.prompts[1].text,
             QStringLiteral(
                 "Entre com o comando Z (Entradas / Saídas)\r\n\r\n2 = Variáveis de Ajuste "
                 "(Parâmetros) \r\n3 = Saídas Digitais (Relés)\r\n4 = Saídas Analógicas\r\n"));
    QCOMPARE(dialogs.prompts[2].text,
             QStringLiteral("Entre com a variável de ajuste (Parâmetro 1 a n):"));
    QCOMPARE(dialogs.prompts[3].title, QStringLiteral("Comando W"));
    QCOMPARE(dialogs.prompts[3].text,
             QStringLiteral("Entre com um novo valor para o parâmetro  12:"));
}

void TstConsole::guidedEntryPromptsByZ_data() {
    const QString zRead = QStringLiteral(
        "Entre com o comando Z (Entradas / Saídas)\r\n\r\n0 = Entradas Analógicas\r\n"
        "1 = Entradas Digitais\r\n2 = Variáveis de Ajuste (Parâmetros) \r\n"
        "3 = Saídas Digitais (Relés)\r\n4 = Saídas Analógicas\r\n");
    const QString zWrite =
        QStringLiteral("Entre com o comando Z (Entradas / Saídas)\r\n\r\n2 = Variáveis de Ajuste "
                       "(Parâmetros) \r\n3 = Saídas Digitais (Relés)\r\n4 = Saídas Analógicas\r\n");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("z");
    QTest::addColumn<QString>("zPrompt");
    QTest::addColumn<QString>("tPrompt");
    QTest::addColumn<QString>("wPrompt"); // none for a reading
    QTest::newRow("read 0") << "0"
                            << "0" << zRead
                            << QStringLiteral("Entre com a entrada analógica (Sendores 1 a 8): ")
                            << QString();
    QTest::newRow("read 1") << "0"
                            << "1" << zRead
                            << QStringLiteral(
                                   "Entre com a entrada digital (DIX,DIY,DIZ,DIT - 1 a 75):")
                            << QString();
    QTest::newRow("read 2") << "0"
                            << "2" << zRead
                            << QStringLiteral("Entre com a variável de ajuste (Parâmetro 1 a n):")
                            << QString();
    QTest::newRow("read 3") << "0"
                            << "3" << zRead
                            << QStringLiteral("Entre com a saída digital (Relés 1 a 36):")
                            << QString();
    QTest::newRow("read 4") << "0"
                            << "4" << zRead
                            << QStringLiteral("Entre com a saída analógica (SP 1 a 9):")
                            << QString();
    QTest::newRow("read 5: Z asked again") << "0"
                                           << "5" << zRead << zRead << QString();
    QTest::newRow("read -1: Z asked again") << "0"
                                            << "-1" << zRead << zRead << QString();
    QTest::newRow("write 2") << "1"
                             << "2" << zWrite
                             << QStringLiteral("Entre com a variável de ajuste (Parâmetro 1 a n):")
                             << QStringLiteral("Entre com um novo valor para o parâmetro 5:");
    QTest::newRow("write 3") << "1"
                             << "3" << zWrite
                             << QStringLiteral("Entre com a saída digital (Relés 1 a 36):")
                             << QStringLiteral("Entre com o estado do relé a ser ativado: \r\n"
                                               "0 = Desliga Relé, 1 = Liga relé");
    QTest::newRow("write 4")
        << "1"
        << "4" << zWrite << QStringLiteral("Entre com a saída analógica (SP 1 a 9):")
        << QStringLiteral("Entre com um novo valor em % para a saída analógica (0 a 100%):");
    // Z beyond the table: T is asked with the Z prompt, W with T's, which is that again.
    QTest::newRow("write 9: fallbacks") << "1"
                                        << "9" << zWrite << zWrite << zWrite;
    QTest::newRow("Y 7 writes: fallbacks") << "7"
                                           << "8" << zWrite << zWrite << zWrite;
}

void TstConsole::guidedEntryPromptsByZ() {
    QFETCH(QString, y);
    QFETCH(QString, z);
    QFETCH(QString, zPrompt);
    QFETCH(QString, tPrompt);
    QFETCH(QString, wPrompt);
    FakeDialogs dialogs;
    for (const QString& answer : {y, z, QStringLiteral("5"), QStringLiteral("1")})
        dialogs.inputs.enqueue(answer);
    const auto line = enterYztwCommand(dialogs);
    QVERIFY(line.has_value());
    QStringList expected = {zPrompt, tPrompt};
    QStringList titles = {QStringLiteral("Comando Z"), QStringLiteral("Comando T")};
    if (!wPrompt.isEmpty()) {
        expected << wPrompt;
        titles << QStringLiteral("Comando W");
    }
    QCOMPARE(dialogs.prompts.size(), 1 + expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(dialogs.prompts[i + 1].text, expected[i]);
        QCOMPARE(dialogs.prompts[i + 1].title, titles[i]);
    }
    QCOMPARE(*line, wPrompt.isEmpty() ? y + QLatin1Char(',') + z + QStringLiteral(",5,0")
                                      : y + QLatin1Char(',') + z + QStringLiteral(",5,1"));
}

void TstConsole::reportReadingIsBracketedByAtq() {
    ConsoleFixture f;
    QCOMPARE(f.console.readReport(QStringLiteral("B"), QStringLiteral("5839")), 0);
    QStringList seen = f.port.events();
    seen.removeFirst(); // the open
    for (QString& s : seen)
        s.remove(QStringLiteral("write "));
    // Lower case, no terminator, straight to the port around the framing.
    QCOMPARE(seen, (QStringList{"0x61747130", "&", "B", "0x353833390d", "0x332c332c332c330d",
                                "0x61747131"}));
    QCOMPARE(f.port.written().left(4), QByteArray("atq0"));
    QVERIFY(f.port.written().endsWith("\ratq1"));
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstConsole::failedAtq0EndsTheReport() {
    ConsoleFixture f(false);
    // The error goes back to the menu item, which reports it once.
    QCOMPARE(f.console.readReport(QStringLiteral("B"), QStringLiteral("5839")),
             int(PortError::PortNotOpen));
    QVERIFY(f.port.writes().isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstConsole::framing_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("command") << 0 << QStringLiteral("5839") << QStringLiteral("0,2,5,0")
                             << QString() << QStringList{"0x05", "B", "0x353833390d", "cmd"};
    QTest::newRow("identifier -1") << 0 << QStringLiteral("-1") << QStringLiteral("0,2,5,0")
                                   << QString() << QStringList{"0x05", "B", "0x2d310d"};
    QTest::newRow("parameters") << 1 << QStringLiteral("5839") << QStringLiteral("7,7,7,7")
                                << QStringLiteral("0")
                                << QStringList{"0x05", "B", "0x353833390d", "cmd", "0x300d"};
    QTest::newRow("report") << 2 << QStringLiteral("5839") << QStringLiteral("3,3,3,3") << QString()
                            << QStringList{"&", "B", "0x353833390d", "cmd"};
}

void TstConsole::framing() {
    QFETCH(int, kind);
    QFETCH(QString, identifier);
    QFETCH(QString, command);
    QFETCH(QString, extra);
    QFETCH(QStringList, writes);
    ConsoleFixture f;
    f.console.sendStationCommand(static_cast<StationConsole::Kind>(kind), QStringLiteral("B"),
                                 identifier, command, extra);
    QStringList seen = f.port.events();
    seen.removeFirst(); // the open
    for (QString& s : seen)
        s.remove(QStringLiteral("write "));
    writes.replaceInStrings(QStringLiteral("cmd"),
                            QStringLiteral("0x") +
                                QString::fromLatin1((command.toLatin1() + '\r').toHex()));
    QCOMPARE(seen, writes);
    // The pauses: quiet line first, 500 ms after the lead, 200 ms before the command.
    const auto& w = f.port.writes();
    QVERIFY(w[0].atMs >= 500);
    QVERIFY(w[1].atMs - w[0].atMs >= 500);
    if (w.size() > 3)
        QVERIFY(w[3].atMs - w[2].atMs >= 500 + 200);
}

void TstConsole::framingWaitsForAQuietLine() {
    ConsoleFixture f;
    // A controller that keeps talking for 1.2 s holds the first step back.
    for (int at = 0; at <= 1200; at += 300)
        f.port.injectAfter(at, "x");
    f.console.sendStationCommand(StationConsole::Command, QStringLiteral("B"), QStringLiteral("-1"),
                                 {}, {});
    QVERIFY2(f.port.writes()[0].atMs >= 1200 + 500,
             qPrintable(QString::number(f.port.writes()[0].atMs)));
    QVERIFY(f.session.link.rxBuffer.isEmpty());
}

void TstConsole::closedPortReportsEachSend() {
    ConsoleFixture f(false);
    f.console.sendStationCommand(StationConsole::Command, QStringLiteral("B"),
                                 QStringLiteral("5839"), QStringLiteral("2,2,2,2"), {});
    QCOMPARE(f.dialogs.messages.size(), 4); // one report per send, and the exchange carries on
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("O dispositivo não esta aberto"));
}

void TstConsole::exchangeEndsWhenItsPortCloses_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("terminal switched off") << QStringLiteral("close");
    QTest::newRow("closed and opened again") << QStringLiteral("reopen");
    QTest::newRow("adapter pulled") << QStringLiteral("vanish");
}

void TstConsole::exchangeEndsWhenItsPortCloses() {
    QFETCH(QString, how);
    ConsoleFixture f;
    // The port goes while the exchange waits after its lead character.
    f.port.onWrite = [how, writes = 0](FakePort& port, const QByteArray&) mutable {
        if (++writes != 2)
            return;
        QTimer::singleShot(0, &port, [&port, how] {
            if (how == QLatin1String("vanish")) {
                port.vanish();
                return;
            }
            port.close();
            if (how == QLatin1String("reopen"))
                port.open();
        });
    };
    // Nothing more goes out, nothing is reported, and the report's "atq1" is not written.
    QCOMPARE(f.console.readReport(QStringLiteral("B"), QStringLiteral("5839")), 0);
    QCOMPARE(f.port.written(), QByteArray("atq0&"));
    QVERIFY(f.dialogs.messages.isEmpty());
}

QTEST_GUILESS_MAIN(TstConsole)
#include "tst_console.moc"
