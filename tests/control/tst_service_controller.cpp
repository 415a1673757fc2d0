#include "control/service_controller.h"
#include "core/session.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"
#include "tests/support/upload_fakes.h"
#include "transfer/modem_link.h"
#include "transfer/upload.h"
#include "transfer/upload_journal.h"
#include "transfer/xmodem.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace quillon;
using namespace quillon::test;

namespace {

// A session and its controller with no window at all: what any front end drives.
struct Headless {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeSounds sounds;
    FakeModem modem;
    FakeUploadView view;
    Session session;
    ServiceController controller;

    explicit Headless(const Edition& edition = fullEdition(), const QString& settingsFile = {})
        : session(edition, dir.path(), dialogs, portFactory()),
          controller(withSettingsFile(session, settingsFile), view) {
        session.soundPlayer = &sounds;
        session.modemControl = &modem;
        session.applySettings({.portNumber = QStringLiteral("2")});
    }
    // The main port works; every other COM number leads nowhere, so a probe is quick.
    static PortFactory portFactory() {
        return [made = 0]() mutable {
            auto port = std::make_unique<FakePort>();
            if (made++ > 0)
                port->openResult = [](int) { return PortError::InvalidPortNumber; };
            return port;
        };
    }
    static Session& withSettingsFile(Session& session, const QString& file) {
        if (!file.isEmpty())
            session.settingsFile = file;
        return session;
    }
    FakePort& port() { return static_cast<FakePort&>(controller.port()); }
    // A receiver that takes every block, or gives up at the second.
    void answerBlocks(bool giveUp = false) {
        port().onWrite = [giveUp, blocks = 0](FakePort& self, const QByteArray& bytes) mutable {
            if (bytes == "1")
                self.inject("C");
            else if (bytes.size() == xmodem::kBlockSize && giveUp && ++blocks == 2)
                self.injectAfter(2, "\x18\x18");
            else if (bytes.size() == xmodem::kBlockSize || bytes == QByteArray(1, xmodem::kEot))
                self.injectAfter(2, QByteArray(1, xmodem::kAck));
        };
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }
    QByteArray readFile(const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

} // namespace

class TstServiceController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void uploadsWithoutAWindow_data();
    void uploadsWithoutAWindow();
    void journalThatCannotBeWritten();
    void noUploadInTerminalMode();
    void settingsReadOnceWrittenOnce();
    void terminalStart_data();
    void terminalStart();
    void lostPortReportedOnce();
    void lineDrainsBeforeItChanges_data();
    void lineDrainsBeforeItChanges();
    void guardsCountFromTheWire();
    void outputHeldOffForGoodIsGivenUp();
};

void TstServiceController::uploadsWithoutAWindow_data() {
    QTest::addColumn<bool>("earlier");
    QTest::newRow("full edition") << false;
    QTest::newRow("earlier edition") << true;
}

void TstServiceController::uploadsWithoutAWindow() {
    QFETCH(bool, earlier);
    Headless h(earlier ? earlierEdition() : fullEdition());
    const QByteArray program = seededBytes(1000, 7u);
    h.session.applySettings({.programFile = h.writeFile(QStringLiteral("prog.Epr"), program)});
    h.answerBlocks();
    h.controller.sendProgram();
    QCOMPARE(h.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QByteArray received;
    for (const FakePort::Write& write : h.port().writes()) {
        if (write.bytes.size() == xmodem::kBlockSize)
            received += write.bytes.mid(3, xmodem::kDataSize);
    }
    QCOMPARE(received.left(program.size()), program);
    QVERIFY(h.dialogs.messages.isEmpty());
    QVERIFY(!h.controller.uploadOnStack());
    // Only the full edition keeps a journal, beside its settings file.
    const QByteArray journal = h.readFile(UploadJournal::kFileName);
    if (earlier) {
        QVERIFY(!h.controller.journal());
        QCOMPARE(journal, QByteArray("<missing>"));
        return;
    }
    const QStringList lines = QString::fromUtf8(journal).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 3); // header, the upload, nothing after the last line end
    QStringList fields = lines[1].split(QLatin1Char(';'));
    QCOMPARE(fields.size(), 13);
    fields[0] = fields[0].left(2); // the time and the seconds vary
    fields[11] = fields[11].section(QLatin1Char(','), 1).size() == 1 ? "s" : fields[11];
    const QString sha = QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex();
    QCOMPARE(fields, (QStringList{"20", "QuillonV2 2.3.59", h.session.settings.programFile, "1000",
                                  sha, "COM2", "9600,n,8,1", "", "8", "8", "0", "s", "ENVIADO"}));
}

void TstServiceController::journalThatCannotBeWritten() {
    // Its folder cannot be made, even by root: a file stands where it would go.
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("arquivo"));
    QFile(blocker).open(QIODevice::WriteOnly);
    Headless h(fullEdition(), blocker + QStringLiteral("/Quillon.ini"));
    h.session.applySettings(
        {.programFile = h.writeFile(QStringLiteral("prog.Epr"), QByteArray(1000, 'p'))});
    h.answerBlocks(true);
    h.controller.sendProgram();
    h.answerBlocks();
    h.controller.sendProgram();
    // Both uploads ended as they would have; the journal is told of once, after the
    // first upload's own failure box.
    QCOMPARE(h.view.statusHistory.count(QStringLiteral("CANCELADO")), 1);
    QCOMPARE(h.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QCOMPARE(h.sounds.played.count(QStringLiteral("OKTrans.wav")), 1);
    QCOMPARE(h.dialogs.messages.size(), 2);
    QVERIFY(h.dialogs.messages[0].text.startsWith(QStringLiteral("OPERARAÇÃO CANCELADA!")));
    QCOMPARE(h.dialogs.messages[1].title, QStringLiteral("Quillon"));
    QCOMPARE(h.dialogs.messages[1].text,
             QStringLiteral("Não foi possível gravar o registro de envios em %1/envios.csv: "
                            "caminho não encontrado.")
                 .arg(blocker));
}

void TstServiceController::noUploadInTerminalMode() {
    Headless h;
    h.session.applySettings({.programFile = h.writeFile(QStringLiteral("prog.Epr"), "x")});
    h.controller.enterTerminalMode(true);
    h.controller.sendProgram();
    QVERIFY(h.port().written().isEmpty());
    QVERIFY(h.view.statusHistory.isEmpty());
}

void TstServiceController::settingsReadOnceWrittenOnce() {
    Headless h;
    h.writeFile(QStringLiteral("Quillon.ini"),
                "2\r\n19200,n,8,1\r\n1200,n,8,1\r\n/prog.Epr\r\n/tmp/\r\n0\r\n\r\n\r\n");
    const ServiceController::LoadedSettings loaded = h.controller.loadSettings(QStringLiteral("1"));
    QCOMPARE(h.session.settings.transferSettings, QStringLiteral("19200,n,8,1"));
    QVERIFY(loaded.listing.has_value()); // this edition probes the ports
    QCOMPARE(h.controller.reopenWithTerminalSettings(QStringLiteral("4800,e,7,1")), 0);
    QCOMPARE(h.port().settings(), QStringLiteral("4800,e,7,1"));
    h.controller.unload();
    const QByteArray saved = h.readFile(QStringLiteral("Quillon.ini"));
    QVERIFY2(saved.contains("\r\n4800,e,7,1\r\n"), saved.constData());
    QVERIFY(!h.port().isOpen());
    // A second unload (the window closing after "Sair") writes nothing over it.
    h.writeFile(QStringLiteral("Quillon.ini"), "edited meanwhile");
    h.controller.unload();
    QCOMPARE(h.readFile(QStringLiteral("Quillon.ini")), QByteArray("edited meanwhile"));
}

void TstServiceController::terminalStart_data() {
    QTest::addColumn<int>("openError");
    QTest::addColumn<int>("useModem");
    QTest::addColumn<QString>("dialResult");
    QTest::addColumn<int>("expected");
    using Start = ServiceController::TerminalStart;
    QTest::newRow("direct line") << 0 << 0 << QString() << int(Start::Opened);
    QTest::newRow("port in use") << int(PortError::PortInUse) << 0 << QString()
                                 << int(Start::Failed);
    QTest::newRow("modem connects") << 0 << 1 << QString() << int(Start::Opened);
    QTest::newRow("dial given up") << 0 << 1 << ModemLink::kDialGaveUp << int(Start::DialGaveUp);
}

void TstServiceController::terminalStart() {
    QFETCH(int, openError);
    QFETCH(int, useModem);
    QFETCH(QString, dialResult);
    QFETCH(int, expected);
    Headless h;
    h.session.applySettings({.useModem = useModem});
    if (openError)
        h.port().openResult = [openError](int) { return openError; };
    int dials = 0;
    h.controller.setDialer([&dials, dialResult] {
        ++dials;
        return dialResult;
    });
    int error = -1;
    QCOMPARE(int(h.controller.startTerminal(error)), expected);
    QCOMPARE(error, openError);
    QCOMPARE(dials, openError == 0 && useModem == 1 ? 1 : 0);
}

void TstServiceController::lostPortReportedOnce() {
    Headless h;
    QCOMPARE(h.controller.openTerminalPort(), 0);
    h.port().vanish();
    QTRY_COMPARE(h.dialogs.messages.size(), 1);
    QTest::qWait(50);
    QCOMPARE(h.dialogs.messages.size(), 1);
}

using Scenario = std::function<void(Headless&)>;
Q_DECLARE_METATYPE(Scenario)

void TstServiceController::lineDrainsBeforeItChanges_data() {
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<bool>("careless");
    const auto typeAt = [](Headless& h, const QString& settings) {
        h.session.applySettings({.terminalSettings = settings});
        int error = -1;
        h.controller.startTerminal(error);
        for (const char c : QByteArrayLiteral("hello\r"))
            h.controller.sendKey(c);
    };
    QTest::newRow("upload: every pass of the handshake, blocks, EOT") << Scenario([](Headless& h) {
        h.session.applySettings(
            {.transferSettings = QStringLiteral("115200,n,8,1"),
             .programFile = h.writeFile(QStringLiteral("p.Epr"), seededBytes(300, 3u))});
        h.controller.upload().handshake().passMs = 5;
        int ones = 0;
        h.port().onWrite = [&ones](FakePort& self, const QByteArray& bytes) {
            if (bytes == "1" && ++ones == 3)
                self.injectAfter(1, "C");
            else if (bytes.size() == xmodem::kBlockSize || bytes.at(0) == xmodem::kEot)
                self.injectAfter(1, QByteArray(1, xmodem::kAck));
        };
        h.controller.sendProgram();
        QCOMPARE(h.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    }) << false;
    QTest::newRow("terminal switched off after typing") << Scenario([typeAt](Headless& h) {
        typeAt(h, QStringLiteral("300,n,8,1"));
        h.controller.enterTerminalMode(false);
    }) << false;
    QTest::newRow("settings dialog reopens the port") << Scenario([typeAt](Headless& h) {
        typeAt(h, QStringLiteral("300,n,8,2"));
        QCOMPARE(h.controller.reopenWithTerminalSettings(QStringLiteral("9600,n,8,1")), 0);
    }) << false;
    QTest::newRow("tester takes the line and hands it back") << Scenario([typeAt](Headless& h) {
        typeAt(h, QStringLiteral("600,e,7,1"));
        h.controller.releasePort();
        h.controller.reclaimPort();
    }) << false;
    QTest::newRow("program end") << Scenario([typeAt](Headless& h) {
        typeAt(h, QStringLiteral("1200,n,8,1"));
        h.controller.unload();
    }) << false;
    QTest::newRow("the model sees a careless close") << Scenario([typeAt](Headless& h) {
        typeAt(h, QStringLiteral("1200,n,8,1"));
        h.port().closeAtOnce();
    }) << true;
}

void TstServiceController::lineDrainsBeforeItChanges() {
    QFETCH(Scenario, scenario);
    QFETCH(bool, careless);
    Headless h;
    QElapsedTimer clock;
    clock.start();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(5);
    scenario(h);
    if (careless)
        QVERIFY(!h.port().lineFaults().isEmpty());
    else
        QVERIFY2(h.port().lineFaults().isEmpty(), qPrintable(h.port().lineFaults().join('\n')));
    // Waiting for the wire kept the event loop going.
    QVERIFY(ticks > 0 || clock.elapsed() < 10);
}

void TstServiceController::guardsCountFromTheWire() {
    Headless h;
    ModemLink& modem = h.controller.modemLink();
    modem.stepMs = 5;
    modem.escapeGapMs = 20;
    modem.escapeGuardMs = 60;
    h.session.applySettings({.terminalSettings = QStringLiteral("300,n,8,1")});
    int error = -1;
    h.controller.startTerminal(error);
    // Twelve characters at 300 baud: 400 ms on the wire after the write returns.
    h.controller.port().write(QByteArrayLiteral("ATDP5551234\r"));
    h.port().onWrite = [](FakePort& self, const QByteArray& bytes) {
        if (bytes == "+")
            self.injectAfter(1, "OK\r\n");
    };
    modem.hangUpModem();
    const QVector<FakePort::Write>& writes = h.port().writes();
    QVERIFY(writes.size() >= 2);
    const qint64 lineEndMs = writes.at(0).atMs + 400;
    QVERIFY2(writes.at(1).bytes == "+" && writes.at(1).atMs >= lineEndMs + 60,
             qPrintable(QStringLiteral("first + at %1 ms, line quiet from %2 ms")
                            .arg(writes.at(1).atMs)
                            .arg(lineEndMs)));
}

void TstServiceController::outputHeldOffForGoodIsGivenUp() {
    // A far end that never lets the driver send (or a port with no line behind it):
    // the driver's own drain would never return, and the window with it.
    Headless h;
    int error = -1;
    h.controller.startTerminal(error);
    h.controller.sendKey('x');
    h.port().stuckBytes = 100;
    h.controller.enterTerminalMode(false);
    QVERIFY(!h.controller.port().isOpen());
    QCOMPARE(h.port().discards, 1);
    QCOMPARE(h.port().drains, 0);
    // A line that empties is drained the usual way.
    h.controller.startTerminal(error);
    h.controller.sendKey('y');
    h.controller.enterTerminalMode(false);
    QCOMPARE(h.port().drains, 1);
}

QTEST_GUILESS_MAIN(TstServiceController)
#include "tst_service_controller.moc"
