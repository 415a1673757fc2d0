#include "control/service_controller.h"
#include "core/session.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"
#include "tests/support/upload_fakes.h"
#include "transfer/modem_link.h"
#include "transfer/xmodem.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

    explicit Headless(const Edition& edition = fullEdition())
        : session(edition, dir.path(), dialogs, portFactory()), controller(session, view) {
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
    FakePort& port() { return static_cast<FakePort&>(controller.port()); }
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
    void uploadsWithoutAWindow();
    void noUploadInTerminalMode();
    void settingsReadOnceWrittenOnce();
    void terminalStart_data();
    void terminalStart();
    void lostPortReportedOnce();
};

void TstServiceController::uploadsWithoutAWindow() {
    Headless h;
    const QByteArray program = seededBytes(1000, 7u);
    h.session.applySettings({.programFile = h.writeFile(QStringLiteral("prog.Epr"), program)});
    QByteArray received;
    h.port().onWrite = [&received](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1")
            self.inject("C");
        else if (bytes.size() == xmodem::kBlockSize)
            received += bytes.mid(3, xmodem::kDataSize);
        if (bytes.size() == xmodem::kBlockSize || bytes == QByteArray(1, xmodem::kEot))
            self.injectAfter(2, QByteArray(1, xmodem::kAck));
    };
    h.controller.sendProgram();
    QCOMPARE(h.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QCOMPARE(received.left(program.size()), program);
    QVERIFY(h.dialogs.messages.isEmpty());
    QVERIFY(!h.controller.uploadOnStack());
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

QTEST_GUILESS_MAIN(TstServiceController)
#include "tst_service_controller.moc"
