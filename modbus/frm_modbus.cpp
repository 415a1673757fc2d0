#include "modbus/frm_modbus.h"

#include "core/text_helpers.h"
#include "modbus/modbus_display.h"
#include "modbus/modbus_frame.h"
#include "platform/field_colours.h"
#include "platform/insert_after_selection.h"
#include "platform/row_layout.h"
#include "platform/screen_place.h"
#include "platform/twips.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include <algorithm>
#include <limits>

namespace quillon {

namespace {

const QString TxPrefix = QStringLiteral("TX:   ");
const QString RxPrefix = QStringLiteral("RX:   ");
const QColor Grey(0xC0, 0xC0, 0xC0);
const QColor White(0xFF, 0xFF, 0xFF);
constexpr int StripHeight = 1020;   // twips: the input strip above the log box
constexpr int LogWidthMargin = 100; // twips
constexpr int LogHeightMargin = 1800;
// The log of a poll left running for days must not grow without bound.
constexpr int LogLines = 5000;
// Between the pieces of a long reply at a slow rate; a byte takes 8 ms at 1200 baud.
constexpr int ReplyGapMs = 50;

qint64 fieldNumber(const QLineEdit* field, qint64 least, qint64 most) {
    return roundWithin(leadingNumber(field->text()), least, most);
}

int field16(const QLineEdit* field) {
    return static_cast<int>(
        fieldNumber(field, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

qint32 field32(const QLineEdit* field) {
    return static_cast<qint32>(
        fieldNumber(field, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

} // namespace

FrmModBus::FrmModBus(Session& session, SerialPort& port, QWidget* parent)
    : QDialog(parent), session_(session), port_(port) {
    setObjectName(QStringLiteral("FrmModBus"));
    setWindowTitle(QStringLiteral("Terminal ModBus"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    const int stripWidth = buildControls();
    // A platform font wider than the rows were drawn for widens the window rather than
    // cutting off the last button.
    resize(std::max(twips(8115, this), stripWidth), twips(6300, this));
    formLoad();
}

FrmModBus::~FrmModBus() {
    formUnload();
    // Destroying the children moves the focus, and the list's line edit then
    // reports an end of typing to a window that is already gone.
    cbFuncao_->lineEdit()->disconnect(this);
    cbFuncao_->disconnect(this);
}

int FrmModBus::buildControls() {
    toolbar_ = new QWidget(this);
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    const auto label = [this](const char* name, const char* caption) {
        auto* made = new QLabel(QString::fromUtf8(caption), toolbar_);
        made->setObjectName(QString::fromLatin1(name));
        return made;
    };
    const auto field = [this](const char* name, const char* text, const char* accessible,
                              QLabel* caption) {
        auto* made = new QLineEdit(QString::fromLatin1(text), toolbar_);
        made->setObjectName(QString::fromLatin1(name));
        made->setAccessibleName(QString::fromUtf8(accessible));
        caption->setBuddy(made);
        return made;
    };
    QLabel* text1 = label("Text1", "Endereço:");
    txtEndereco_ = field("TxtEndereco", "1", "Endereço", text1);
    QLabel* text2 = label("Text2", "Reg. Inicial:");
    txtRegIni_ = field("TxtRegIni", "0", "Reg. Inicial", text2);
    QLabel* text4 = label("Text4", "Número:");
    txtNumero_ = field("TxtNumero", "1", "Número", text4);
    QLabel* text3 = label("Text3", "Função:");
    cbFuncao_ = new QComboBox(toolbar_);
    cbFuncao_->setObjectName(QStringLiteral("CbFuncao"));
    cbFuncao_->setAccessibleName(QStringLiteral("Função"));
    cbFuncao_->setInsertPolicy(QComboBox::NoInsert);
    // Text typed into the list is taken as typed: the list's own line edit would
    // turn a matching text into a pick on Enter or focus-out, and complete "0" to "03".
    auto* typed = new QLineEdit(cbFuncao_);
    connect(typed, &QLineEdit::editingFinished, this, [this] { typingEnds_ = true; });
    cbFuncao_->setLineEdit(typed);
    connect(typed, &QLineEdit::editingFinished, this, [this] { typingEnds_ = false; });
    cbFuncao_->setCompleter(nullptr);
    text3->setBuddy(cbFuncao_);
    QLabel* text5 = label("Text5", "Valor:");
    txtValor_ = field("TxtValor", "0", "Valor", text5);

    opExibirGroup_ = new QButtonGroup(this);
    const char* options[] = {"Exibir Valores", "Exibir Transmissão"};
    for (int i = 0; i < 2; ++i) {
        opExibir_[i] = new QRadioButton(QString::fromUtf8(options[i]), toolbar_);
        opExibir_[i]->setObjectName(QStringLiteral("OpExibir(%1)").arg(i));
        opExibirGroup_->addButton(opExibir_[i], i);
    }
    QLabel* text7 = label("Text7", "Timeout:");
    txtTimeout_ = field("TxtTimeout", "5", "Timeout", text7);
    QLabel* text8 = label("Text8", "s");
    const auto button = [this](const char* name, const char* caption) {
        auto* made = new QPushButton(QString::fromLatin1(caption), toolbar_);
        made->setObjectName(QString::fromLatin1(name));
        made->setAutoDefault(false);
        return made;
    };
    cmdIniciar_ = button("CmdIniciar", "Iniciar");
    cmdParar_ = button("CmdParar", "Parar");
    cmdLimpar_ = button("CmdLimpar", "Limpar");

    const auto needs = [](const QWidget* widget) { return widget->sizeHint().width(); };
    const int row1End = placeRow({{text1, 60, 780, needs(text1)},
                                  {txtEndereco_, 840, 495},
                                  {text2, 1440, 1020, needs(text2)},
                                  {txtRegIni_, 2460, 735},
                                  {text4, 3300, 720, needs(text4)},
                                  {txtNumero_, 4020, 615},
                                  {text3, 4740, 675, needs(text3)},
                                  {cbFuncao_, 5415, 735},
                                  {text5, 6255, 555, needs(text5)},
                                  {txtValor_, 6810, 855}},
                                 120, 315, this, 45);
    const int row2End = placeRow({{opExibir_[0], 60, 1575, needs(opExibir_[0])},
                                  {opExibir_[1], 1680, 1935, needs(opExibir_[1])},
                                  {text7, 3720, 735, needs(text7)},
                                  {txtTimeout_, 4455, 495},
                                  {text8, 4995, 200, needs(text8)},
                                  {cmdIniciar_, 5280, 900},
                                  {cmdParar_, 6240, 900},
                                  {cmdLimpar_, 7200, 855}},
                                 555, 345, this, 45);

    txtModBus_ = new QPlainTextEdit(this);
    txtModBus_->setObjectName(QStringLiteral("TxtModBus"));
    txtModBus_->setAccessibleName(QStringLiteral("Mensagens ModBus"));
    txtModBus_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtModBus_->setMaximumBlockCount(LogLines);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar_->setSizeGripEnabled(true);
    statusPanel_ = new QLabel(statusBar_);
    statusPanel_->setObjectName(QStringLiteral("Panel1"));
    statusBar_->addWidget(statusPanel_, 1);

    connect(cbFuncao_, &QComboBox::activated, this, [this](int index) {
        if (!typingEnds_)
            cbFuncaoClick(index);
    });
    connect(cmdIniciar_, &QPushButton::clicked, this, &FrmModBus::cmdIniciarClick);
    connect(cmdParar_, &QPushButton::clicked, this, &FrmModBus::cmdPararClick);
    connect(cmdLimpar_, &QPushButton::clicked, this, &FrmModBus::cmdLimparClick);
    connect(opExibirGroup_, &QButtonGroup::idClicked, this, &FrmModBus::opExibirClick);
    return std::max(row1End, row2End);
}

void FrmModBus::formLoad() {
    cbFuncao_->addItems({QStringLiteral("03"), QStringLiteral("04"), QStringLiteral("06")});
    cbFuncao_->setCurrentIndex(0);
    opExibir_[1]->setChecked(true);
    setFieldEnabled(txtValor_, false);
    setFieldEnabled(txtNumero_, true);
    cmdParar_->setEnabled(false);
    // Replies stay in the port for this window's reads instead of reaching the terminal.
    port_.setReceiveThreshold(0);
}

void FrmModBus::formUnload() {
    if (!life_.end())
        return;
    // A run must not resume once the window is gone: the loop ends at its next check.
    polling_ = false;
    contTimeout_ = 0;
    port_.setReceiveThreshold(1);
}

void FrmModBus::keyPressEvent(QKeyEvent* event) {
    // There is no cancel button: Esc must not end a poll and throw its log away.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmModBus::done(int result) {
    formUnload();
    QDialog::done(result);
}

void FrmModBus::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
    // The frame is known only once the window is on the screen.
    formResize();
}

void FrmModBus::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    formResize();
}

void FrmModBus::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    // A window manager that frames the window after it is shown moves it to do so.
    formResize();
}

void FrmModBus::formResize() {
    toolbar_->setGeometry(0, 0, width(), twips(StripHeight, this));
    const int barHeight = statusBar_->sizeHint().height();
    const int barTop = height() - barHeight;
    statusBar_->setGeometry(0, barTop, width(), barHeight);
    // The margins count from the whole window, frame included, as they were drawn: so
    // the box reaches the status bar. A frame wider than they allow for would push the
    // scroll bar past the window's edge or under the status bar, so the box stops there.
    const QSize outer = frameGeometry().size();
    const int top = twips(StripHeight, this);
    txtModBus_->setGeometry(
        0, top, std::clamp(outer.width() - twips(LogWidthMargin, this), 0, width()),
        std::clamp(outer.height() - twips(LogHeightMargin, this), 0, std::max(0, barTop - top)));
}

void FrmModBus::setFieldEnabled(QLineEdit* field, bool enabled) {
    field->setEnabled(enabled);
    setFieldBackground(*field, enabled ? White : Grey);
}

void FrmModBus::cbFuncaoClick(int index) {
    if (cbFuncao_->itemText(index) == QLatin1String("06")) {
        setFieldEnabled(txtValor_, true);
        txtNumero_->setText(QStringLiteral("1"));
        setFieldEnabled(txtNumero_, false);
    } else {
        setFieldEnabled(txtValor_, false);
        setFieldEnabled(txtNumero_, true);
    }
}

bool FrmModBus::showsFrames() const {
    return opExibir_[1]->isChecked();
}

void FrmModBus::setIdle() {
    cmdIniciar_->setEnabled(true);
    cmdParar_->setEnabled(false);
}

void FrmModBus::cmdIniciarClick() {
    cmdIniciar_->setEnabled(false);
    cmdParar_->setEnabled(true);
    polling_ = true;
    const QString funcao = cbFuncao_->currentText();
    if (funcao == QLatin1String("03"))
        pollLoop(3);
    else if (funcao == QLatin1String("04"))
        pollLoop(4);
    else if (funcao == QLatin1String("06"))
        writeOnce();
}

void FrmModBus::pollLoop(int function) {
    while (polling_ && life_.alive()) {
        const int address = field16(txtEndereco_);
        const qint32 start = field32(txtRegIni_);
        const qint32 quantity = field32(txtNumero_);
        const QByteArray request = function == 4 ? modbus::montarFrame04(address, start, quantity)
                                                 : modbus::montarFrame03(address, start, quantity);
        if (showsFrames())
            mostrarMensagem(TxPrefix, request);
        // A late reply to the previous request would otherwise be shown as this one's.
        port_.readAll();
        port_.write(request); // a closed port: the request times out like a silent slave
        const QByteArray reply = awaitReply();
        if (reply.isEmpty() || !life_.alive())
            continue;
        if (showsFrames())
            mostrarMensagem(RxPrefix, reply);
        else
            mostrarValores(reply, modbus::requestedRegister(field32(txtRegIni_)));
    }
}

void FrmModBus::writeOnce() {
    const int address = field16(txtEndereco_);
    const qint32 reg = field32(txtRegIni_);
    const qint32 value = field32(txtValor_);
    const std::optional<QByteArray> request = modbus::montarFrame06(address, reg, value);
    if (!request) {
        insertAtCaret(QStringLiteral("Valor fora da faixa da função 06 (%1 a %2): %3")
                          .arg(modbus::MinWriteValue)
                          .arg(modbus::MaxWriteValue)
                          .arg(txtValor_->text().trimmed()) +
                      kCrLf);
        setIdle();
        return;
    }
    if (showsFrames())
        mostrarMensagem(TxPrefix, *request);
    port_.readAll();
    port_.write(*request);
    const QByteArray reply = awaitReply();
    if (!life_.alive())
        return;
    if (!reply.isEmpty() && showsFrames())
        mostrarMensagem(RxPrefix, reply);
    setIdle();
}

QByteArray FrmModBus::awaitReply() {
    contTimeout_ = static_cast<qint16>(field16(txtTimeout_));
    QByteArray reply;
    do {
        reply = port_.readAll();
        if (!life_.waitMs(1000))
            break;
        // Counted down no further than 0: -32768 - 1 would wrap to 32767 and keep a
        // silent slave's request waiting nine hours.
        contTimeout_ = static_cast<qint16>(std::max(contTimeout_ - 1, 0));
    } while (reply.isEmpty() && contTimeout_ >= 1);
    // A long reply at a slow rate is still coming in after the second that followed its
    // first bytes; taking only those would cut it, and leave the rest for the next request.
    while (!reply.isEmpty() && reply.size() < MaxReply && life_.alive()) {
        const QByteArray more = port_.readAll();
        if (more.isEmpty())
            break;
        reply += more;
        if (!life_.waitMs(ReplyGapMs))
            break;
    }
    return reply;
}

void FrmModBus::cmdPararClick() {
    polling_ = false;
    contTimeout_ = 0;
    setIdle();
    statusPanel_->setText(QStringLiteral("Cancelado"));
    if (life_.waitMs(3000))
        statusPanel_->clear();
}

void FrmModBus::cmdLimparClick() {
    txtModBus_->clear();
}

void FrmModBus::opExibirClick(int /*index*/) {
    cmdLimparClick();
}

void FrmModBus::insertAtCaret(const QString& text) {
    QString shown = text;
    shown.replace(kCrLf, QStringLiteral("\n"));
    insertAfterSelection(*txtModBus_, shown);
}

void FrmModBus::mostrarMensagem(const QString& prefixo, const QByteArray& messg) {
    insertAtCaret(modbus::mostrarMensagem(prefixo, messg));
}

void FrmModBus::mostrarValores(const QByteArray& messg, int inicio) {
    cmdLimparClick();
    insertAtCaret(modbus::mostrarValores(messg, inicio));
}

} // namespace quillon
