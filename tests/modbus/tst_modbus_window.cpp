#include "core/session.h"
#include "modbus/frm_modbus.h"
#include "modbus/modbus_frame.h"
#include "tests/modbus/modbus_window_driver.h"
#include "tests/support/drawn_colours.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace quillon;
using namespace quillon::test;

namespace {

// The MODBUS window on an open fake main port, as the main window lends it.
struct ModbusFixture {
    ModbusFixture() {
        port.setReceiveThreshold(1);
        port.open();
        window = std::make_unique<FrmModBus>(session, port);
        window->show();
        ui.emplace(*window);
    }
    template <typename T = QWidget> T* control(const QString& name) {
        return window->findChild<T*>(name);
    }
    // A slave that answers every request after a little while.
    void answerWith(const QByteArray& reply, int afterMs = 50) {
        port.onWrite = [reply, afterMs](FakePort& p, const QByteArray&) {
            p.injectAfter(afterMs, reply);
        };
    }

    FakeDialogs dialogs;
    FakePort port;
    Session session{fullEdition(), QStringLiteral("/tmp"), dialogs,
                    [] { return std::make_unique<FakePort>(); }};
    std::unique_ptr<FrmModBus> window;
    std::optional<ModbusWindowDriver> ui;
};

QColor baseOf(QWidget* widget) {
    return widget->palette().color(QPalette::Active, QPalette::Base);
}

const QByteArray Request = QByteArray::fromHex("010300000001840A");
const QString RequestLine = QStringLiteral("TX:   [01][03][00][00][00][01][84][0A]");

} // namespace

class TstModbusWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensAsDesigned();
    void functionChoiceEnablesFields();
    void disabledFieldsCanBeRead_data();
    void disabledFieldsCanBeRead();
    void logBoxFollowsTheWholeWindow_data();
    void logBoxFollowsTheWholeWindow();
    void displayOptionEmptiesTheLog();
    void pollLogsRequestAndReply();
    void valuesReplaceTheLog();
    void lateReplyIsNotTakenForTheNextOne();
    void longReplyIsGatheredWhole();
    void timeoutBelowOneStillWaitsOneSecond_data();
    void timeoutBelowOneStillWaitsOneSecond();
    void writeOnceAndBackToIdle();
    void writeShowsNothingWithValues();
    void writeValueOutOfRangeIsRefused();
    void stopShowsCanceladoForThreeSeconds();
    void closingEndsTheRun();
    void otherFunctionTextSendsNothing();
    void escapeKeepsTheWindowAndItsRun();
    void typingIntoTheListIsNotAPick_data();
    void typingIntoTheListIsNotAPick();
    void valueLabelsFollowTheRequest_data();
    void valueLabelsFollowTheRequest();
    void overflowingNumbersHoldTheirBounds_data();
    void overflowingNumbersHoldTheirBounds();
};

void TstModbusWindow::opensAsDesigned() {
    ModbusFixture f;
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Terminal ModBus"));
    QVERIFY(f.window->windowFlags() & Qt::Tool);
    QVERIFY(!(f.window->windowFlags() & Qt::WindowMinimizeButtonHint));
    const double dpi = f.window->logicalDpiX();
    QVERIFY(f.window->width() >= qRound(8115 * dpi / 1440));
    // Nothing of the input strip is cut off, whatever the platform font.
    for (const QWidget* child : f.control(QStringLiteral("Toolbar1"))->findChildren<QWidget*>())
        if (child->isVisibleTo(f.window.get()))
            QVERIFY2(child->geometry().right() < f.window->width(),
                     qPrintable(child->objectName()));
    QCOMPARE(f.window->height(), qRound(6300 * dpi / 1440));
    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"Text1", "Endereço:"}, {"Text2", "Reg. Inicial:"}, {"Text4", "Número:"},
                  {"Text3", "Função:"},   {"Text5", "Valor:"},        {"Text7", "Timeout:"},
                  {"Text8", "s"}};
    for (const auto& label : labels)
        QCOMPARE(f.control<QLabel>(QString::fromLatin1(label.name))->text(),
                 QString::fromUtf8(label.text));
    QCOMPARE(f.ui->field("TxtEndereco")->text(), QStringLiteral("1"));
    QCOMPARE(f.ui->field("TxtRegIni")->text(), QStringLiteral("0"));
    QCOMPARE(f.ui->field("TxtNumero")->text(), QStringLiteral("1"));
    QCOMPARE(f.ui->field("TxtTimeout")->text(), QStringLiteral("5"));
    QCOMPARE(f.ui->field("TxtValor")->text(), QStringLiteral("0"));
    QVERIFY(!f.ui->field("TxtValor")->isEnabled());
    QCOMPARE(baseOf(f.ui->field("TxtValor")), QColor(0xC0, 0xC0, 0xC0));
    auto* funcao = f.control<QComboBox>(QStringLiteral("CbFuncao"));
    QVERIFY(funcao->isEditable());
    QCOMPARE(funcao->currentText(), QStringLiteral("03"));
    QCOMPARE(funcao->count(), 3);
    QCOMPARE(funcao->itemText(2), QStringLiteral("06"));
    QCOMPARE(f.control<QRadioButton>(QStringLiteral("OpExibir(0)"))->text(),
             QStringLiteral("Exibir Valores"));
    QVERIFY(f.control<QRadioButton>(QStringLiteral("OpExibir(1)"))->isChecked());
    QCOMPARE(f.control<QPushButton>(QStringLiteral("CmdIniciar"))->text(),
             QStringLiteral("Iniciar"));
    QVERIFY(!f.control<QPushButton>(QStringLiteral("CmdParar"))->isEnabled());
    QCOMPARE(f.control<QPushButton>(QStringLiteral("CmdLimpar"))->text(), QStringLiteral("Limpar"));
    // Replies stay in the port while the window is open, and reach the terminal after.
    QCOMPARE(f.port.receiveThreshold(), 0);
    f.window->close();
    QCOMPARE(f.port.receiveThreshold(), 1);
    QVERIFY(f.port.isOpen());
}

void TstModbusWindow::functionChoiceEnablesFields() {
    ModbusFixture f;
    f.ui->field("TxtNumero")->setText(QStringLiteral("10"));
    f.ui->pick(2);
    QCOMPARE(f.ui->field("TxtNumero")->text(), QStringLiteral("1"));
    QVERIFY(!f.ui->field("TxtNumero")->isEnabled());
    QCOMPARE(baseOf(f.ui->field("TxtNumero")), QColor(0xC0, 0xC0, 0xC0));
    QVERIFY(f.ui->field("TxtValor")->isEnabled());
    QCOMPARE(baseOf(f.ui->field("TxtValor")), QColor(Qt::white));
    f.ui->pick(0);
    QCOMPARE(f.ui->field("TxtNumero")->text(), QStringLiteral("1"));
    QVERIFY(f.ui->field("TxtNumero")->isEnabled());
    QCOMPARE(baseOf(f.ui->field("TxtNumero")), QColor(Qt::white));
    QVERIFY(!f.ui->field("TxtValor")->isEnabled());
}

void TstModbusWindow::disabledFieldsCanBeRead_data() {
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("picked"); // -1: none, as the window opens
    QTest::addColumn<QByteArray>("field");
    // Fusion on Linux, windowsvista on Windows, and the plain Windows style.
    for (const QString& style : QStyleFactory::keys()) {
        QTest::addRow("Valor at load, %s", qPrintable(style))
            << style << -1 << QByteArray("TxtValor");
        QTest::addRow("Número after 06, %s", qPrintable(style))
            << style << 2 << QByteArray("TxtNumero");
    }
}

// What a field not in use holds (the quantity 06 sends) must stay readable on its grey.
void TstModbusWindow::disabledFieldsCanBeRead() {
    QFETCH(QString, style);
    QFETCH(int, picked);
    QFETCH(QByteArray, field);
    const StyleForTest styled(style);
    ModbusFixture f;
    if (picked >= 0)
        f.ui->pick(picked);
    QLineEdit* shown = f.ui->field(field.constData());
    QVERIFY(!shown->isEnabled());
    shown->setText(QStringLiteral("1250"));
    const DrawnColours drawn = drawnColours(*shown);
    QCOMPARE(drawn.background, QColor(0xC0, 0xC0, 0xC0));
    QVERIFY2(contrastRatio(drawn.text, drawn.background) >= 4.5, qPrintable(drawn.text.name()));
}

void TstModbusWindow::logBoxFollowsTheWholeWindow_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("as it opens") << QSize();
    QTest::newRow("enlarged") << QSize(900, 700);
    QTest::newRow("narrower and lower") << QSize(400, 300);
    QTest::newRow("below the margins") << QSize(60, 90);
}

// Window width - 100 and window height - 1800 twips, the window's frame included, as
// the margins were drawn; the box never passes the window's edge or the status bar.
void TstModbusWindow::logBoxFollowsTheWholeWindow() {
    QFETCH(QSize, size);
    ModbusFixture f;
    if (size.isValid()) {
        f.window->resize(size);
        QTRY_COMPARE(f.window->size(), size);
    }
    const QRect frame = f.window->frameGeometry();
    // Offscreen windows have a frame of their own, so the client's size would not do.
    QVERIFY(frame.height() > f.window->height());
    const double dpi = f.window->logicalDpiX();
    const int top = qRound(1020 * dpi / 1440);
    const QWidget* bar = f.control(QStringLiteral("StatusBar1"));
    QCOMPARE(bar->geometry().bottom(), f.window->height() - 1);
    const QWidget* log = f.control(QStringLiteral("TxtModBus"));
    QCOMPARE(log->pos(), QPoint(0, top));
    QCOMPARE(log->width(), qBound(0, frame.width() - qRound(100 * dpi / 1440), f.window->width()));
    QCOMPARE(log->height(),
             qBound(0, frame.height() - qRound(1800 * dpi / 1440), qMax(0, bar->y() - top)));
}

void TstModbusWindow::displayOptionEmptiesTheLog() {
    ModbusFixture f;
    for (const int index : {0, 1, 1}) {
        f.control<QPlainTextEdit>(QStringLiteral("TxtModBus"))->setPlainText(QStringLiteral("x"));
        f.control<QRadioButton>(QStringLiteral("OpExibir(%1)").arg(index))->click();
        QCOMPARE(f.ui->log(), QString());
    }
}

void TstModbusWindow::pollLogsRequestAndReply() {
    ModbusFixture f;
    f.answerWith(QByteArray::fromHex("01030203E8B8FA"));
    f.ui->runFor(3500);
    // Each request takes two seconds: one read right after the write, one after a second.
    QCOMPARE(f.port.writes().size(), 2);
    QVERIFY(f.port.writes()[1].atMs - f.port.writes()[0].atMs >= 2000 - 5);
    QCOMPARE(f.ui->log(), RequestLine + QStringLiteral("\nRX:   [01][03][02][03][E8][B8][FA]\n") +
                              RequestLine +
                              QStringLiteral("\nRX:   [01][03][02][03][E8][B8][FA]\n"));
    QCOMPARE(f.port.written(), Request + Request);
}

void TstModbusWindow::valuesReplaceTheLog() {
    ModbusFixture f;
    f.control<QRadioButton>(QStringLiteral("OpExibir(0)"))->click();
    f.ui->field("TxtRegIni")->setText(QStringLiteral("100"));
    f.ui->field("TxtNumero")->setText(QStringLiteral("2.5")); // half to even: 2
    f.answerWith(QByteArray::fromHex("010304000AFFFF0000"));
    f.ui->runFor(3500);
    QCOMPARE(f.port.writes()[0].bytes, modbus::montarFrame03(1, 100, 2));
    QCOMPARE(f.ui->log(), QStringLiteral("0100:    10\n0101:    65535\n"));
}

void TstModbusWindow::lateReplyIsNotTakenForTheNextOne() {
    ModbusFixture f;
    // A reply to some earlier request is still waiting in the port.
    f.port.inject(QByteArray::fromHex("0103020007F986"));
    f.answerWith(QByteArray::fromHex("01030203E8B8FA"));
    f.ui->runFor(1500);
    QCOMPARE(f.ui->log(), RequestLine + QStringLiteral("\nRX:   [01][03][02][03][E8][B8][FA]\n"));
}

void TstModbusWindow::longReplyIsGatheredWhole() {
    ModbusFixture f;
    f.ui->field("TxtNumero")->setText(QStringLiteral("125"));
    QByteArray reply = QByteArray::fromHex("0103FA") + QByteArray(250, '\x11');
    reply += modbus::calcularCrc(reply);
    // At 1200 baud this reply takes two seconds: it comes in pieces over the wait.
    f.port.onWrite = [reply](FakePort& p, const QByteArray&) {
        p.injectAfter(900, reply.left(100));
        p.injectAfter(1500, reply.mid(100, 100));
        p.injectAfter(2020, reply.mid(200, 30));
        p.injectAfter(2060, reply.mid(230));
    };
    f.control<QRadioButton>(QStringLiteral("OpExibir(0)"))->click();
    f.ui->runFor(2500);
    QCOMPARE(f.ui->log().count(QLatin1Char('\n')), 125);
    QVERIFY(f.ui->log().endsWith(QStringLiteral("0124:    4369\n")));
}

void TstModbusWindow::timeoutBelowOneStillWaitsOneSecond_data() {
    QTest::addColumn<QString>("timeout");
    QTest::newRow("0") << QStringLiteral("0");
    QTest::newRow("negative") << QStringLiteral("-3");
    QTest::newRow("not a number") << QStringLiteral("abc");
    // The lowest 16-bit count must not wrap to the highest when counted down.
    QTest::newRow("-32768") << QStringLiteral("-32768");
    QTest::newRow("below 16 bits") << QStringLiteral("-99999");
}

void TstModbusWindow::timeoutBelowOneStillWaitsOneSecond() {
    QFETCH(QString, timeout);
    ModbusFixture f;
    f.ui->field("TxtTimeout")->setText(timeout);
    f.ui->runFor(2500);
    QCOMPARE(f.port.writes().size(), 3);
    const qint64 gap = f.port.writes()[1].atMs - f.port.writes()[0].atMs;
    QVERIFY2(gap >= 995 && gap < 1300, qPrintable(QString::number(gap)));
    QCOMPARE(f.ui->log().count(QStringLiteral("TX:")), 3);
    QVERIFY(!f.ui->log().contains(QStringLiteral("RX:")));
}

void TstModbusWindow::writeOnceAndBackToIdle() {
    ModbusFixture f;
    f.ui->pick(2);
    f.ui->field("TxtRegIni")->setText(QStringLiteral("1"));
    f.ui->field("TxtValor")->setText(QStringLiteral("-1"));
    f.answerWith(QByteArray::fromHex("01060001FFFFD9BA"));
    QElapsedTimer clock;
    clock.start();
    f.window->cmdIniciarClick();
    QVERIFY(clock.elapsed() >= 1990 && clock.elapsed() < 3000);
    QCOMPARE(f.port.written(), QByteArray::fromHex("01060001FFFFD9BA"));
    QCOMPARE(f.ui->log(), QStringLiteral("TX:   [01][06][00][01][FF][FF][D9][BA]\n"
                                         "RX:   [01][06][00][01][FF][FF][D9][BA]\n"));
    QVERIFY(f.control<QPushButton>(QStringLiteral("CmdIniciar"))->isEnabled());
    QVERIFY(!f.control<QPushButton>(QStringLiteral("CmdParar"))->isEnabled());
}

void TstModbusWindow::writeShowsNothingWithValues() {
    ModbusFixture f;
    f.ui->pick(2);
    f.control<QRadioButton>(QStringLiteral("OpExibir(0)"))->click();
    f.answerWith(QByteArray::fromHex("010600000000C80A"));
    f.window->cmdIniciarClick();
    QCOMPARE(f.port.writes().size(), 1);
    QCOMPARE(f.ui->log(), QString());
}

void TstModbusWindow::writeValueOutOfRangeIsRefused() {
    ModbusFixture f;
    f.ui->pick(2);
    f.ui->field("TxtValor")->setText(QStringLiteral("70000"));
    f.window->cmdIniciarClick();
    QVERIFY(f.port.writes().isEmpty());
    QCOMPARE(f.ui->log(),
             QStringLiteral("Valor fora da faixa da função 06 (-65536 a 65535): 70000\n"));
    QVERIFY(f.control<QPushButton>(QStringLiteral("CmdIniciar"))->isEnabled());
}

void TstModbusWindow::stopShowsCanceladoForThreeSeconds() {
    ModbusFixture f; // a silent slave: Stop comes during a reply wait
    auto* panel = f.control<QLabel>(QStringLiteral("Panel1"));
    QString shownAfterStop;
    QTimer::singleShot(2500, f.window.get(), [&] { shownAfterStop = panel->text(); });
    QElapsedTimer clock;
    clock.start();
    f.ui->runFor(1500);
    // The run ended with its current second, and Stop's notice held the handler 3 s.
    QCOMPARE(shownAfterStop, QStringLiteral("Cancelado"));
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(), QString(), 4000);
    QVERIFY(clock.elapsed() >= 4400);
    QCOMPARE(f.port.writes().size(), 1);
    QVERIFY(f.control<QPushButton>(QStringLiteral("CmdIniciar"))->isEnabled());
}

void TstModbusWindow::closingEndsTheRun() {
    ModbusFixture f;
    f.answerWith(QByteArray::fromHex("01030203E8B8FA"));
    QElapsedTimer clock;
    clock.start();
    f.ui->runFor(2500, true);
    QVERIFY(clock.elapsed() < 3600);
    const qsizetype sent = f.port.writes().size();
    QTest::qWait(2500);
    QCOMPARE(f.port.writes().size(), sent);
    QCOMPARE(f.port.receiveThreshold(), 1);
}

void TstModbusWindow::otherFunctionTextSendsNothing() {
    ModbusFixture f;
    f.control<QComboBox>(QStringLiteral("CbFuncao"))->setEditText(QStringLiteral("16"));
    f.window->cmdIniciarClick();
    QVERIFY(f.port.writes().isEmpty());
    QVERIFY(!f.control<QPushButton>(QStringLiteral("CmdIniciar"))->isEnabled());
    QVERIFY(f.control<QPushButton>(QStringLiteral("CmdParar"))->isEnabled());
}

void TstModbusWindow::escapeKeepsTheWindowAndItsRun() {
    ModbusFixture f;
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    f.answerWith(QByteArray::fromHex("01030203E8B8FA"));
    QTimer::singleShot(500, f.window.get(), [&f] {
        QTest::keyClick(f.control(QStringLiteral("TxtModBus")), Qt::Key_Escape);
        QTest::keyClick(f.window.get(), Qt::Key_Escape);
    });
    f.ui->runFor(2500);
    QVERIFY(f.window->isVisible());
    QCOMPARE(f.port.writes().size(), 2);
    QVERIFY(f.ui->log().contains(QStringLiteral("RX:")));
    QCOMPARE(f.port.receiveThreshold(), 0);
}

void TstModbusWindow::typingIntoTheListIsNotAPick_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");
    QTest::newRow("06 and Enter") << QStringLiteral("06") << true;
    QTest::newRow("06 and focus elsewhere") << QStringLiteral("06") << false;
    QTest::newRow("0 and Enter") << QStringLiteral("0") << true;
    QTest::newRow("0 and focus elsewhere") << QStringLiteral("0") << false;
}

void TstModbusWindow::typingIntoTheListIsNotAPick() {
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    ModbusFixture f;
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    auto* funcao = f.control<QComboBox>(QStringLiteral("CbFuncao"));
    f.ui->field("TxtNumero")->setText(QStringLiteral("7"));
    funcao->setFocus();
    QVERIFY(funcao->lineEdit()->hasFocus());
    funcao->lineEdit()->selectAll();
    QTest::keyClicks(funcao->lineEdit(), typed);
    if (enter)
        QTest::keyClick(funcao->lineEdit(), Qt::Key_Return);
    else
        f.ui->field("TxtTimeout")->setFocus();
    QCOMPARE(funcao->currentText(), typed);
    // The rule for a pick of "06" did not run: quantity kept and enabled, value still off.
    QCOMPARE(f.ui->field("TxtNumero")->text(), QStringLiteral("7"));
    QVERIFY(f.ui->field("TxtNumero")->isEnabled());
    QVERIFY(!f.ui->field("TxtValor")->isEnabled());
    // A pick from the list with the keyboard still runs it.
    funcao->setFocus();
    funcao->setCurrentIndex(1);
    QTest::keyClick(funcao, Qt::Key_Down);
    QCOMPARE(funcao->currentText(), QStringLiteral("06"));
    QVERIFY(!f.ui->field("TxtNumero")->isEnabled());
    QCOMPARE(f.ui->field("TxtNumero")->text(), QStringLiteral("1"));
}

void TstModbusWindow::valueLabelsFollowTheRequest_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("label");
    QTest::newRow("in range") << QStringLiteral("40001") << 40001 << QStringLiteral("40001");
    QTest::newRow("above 65535") << QStringLiteral("70000") << 65535 << QStringLiteral("65535");
    QTest::newRow("top of 32 bits")
        << QStringLiteral("2147483647") << 65535 << QStringLiteral("65535");
    QTest::newRow("negative") << QStringLiteral("-5") << 0 << QStringLiteral("0000");
}

void TstModbusWindow::valueLabelsFollowTheRequest() {
    QFETCH(QString, typed);
    QFETCH(int, sent);
    QFETCH(QString, label);
    ModbusFixture f;
    f.ui->showValues();
    f.ui->field("TxtRegIni")->setText(typed);
    f.answerWith(QByteArray::fromHex("01030203E8B8FA"));
    f.ui->runFor(1500);
    QCOMPARE(f.port.writes()[0].bytes, modbus::montarFrame03(1, sent, 1));
    QCOMPARE(f.ui->log(), label + QStringLiteral(":    1000\n"));
}

void TstModbusWindow::overflowingNumbersHoldTheirBounds_data() {
    const QString nines(400, QLatin1Char('9'));
    const QString minus = QLatin1Char('-') + nines;
    QTest::addColumn<QStringList>("fields"); // address, register, quantity
    QTest::addColumn<QByteArray>("request");
    // The largest a field allows, or the smallest, then the request's own limits.
    QTest::newRow("up, down, up") << QStringList{nines, minus, nines}
                                  << modbus::montarFrame03(255, 0, 125);
    QTest::newRow("down, up, down")
        << QStringList{minus, nines, minus} << modbus::montarFrame03(0, 65535, 1);
}

void TstModbusWindow::overflowingNumbersHoldTheirBounds() {
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, request);
    ModbusFixture f;
    f.ui->field("TxtEndereco")->setText(fields[0]);
    f.ui->field("TxtRegIni")->setText(fields[1]);
    f.ui->field("TxtNumero")->setText(fields[2]);
    f.ui->runFor(100);
    QCOMPARE(f.port.writes()[0].bytes, request);
}

QTEST_MAIN(TstModbusWindow)
#include "tst_modbus_window.moc"
