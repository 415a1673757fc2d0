#include "console/frm_testa_com.h"

#include "console/line_test_script.h"
#include "core/serial_link.h"
#include "core/terminal_text.h"
#include "platform/control_names.h"
#include "platform/field_colours.h"
#include "platform/fixed_font.h"
#include "platform/insert_after_selection.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace quillon {

namespace {

const QColor kLineOff(192, 192, 192);
const QColor kLineOn(Qt::white);

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // Enter in a transmit line must not press whichever button Qt would pick.
    button->setAutoDefault(false);
    return button;
}

// A click must not take the focus from the transmit line: the line would drop
// the selection the marker is meant to follow. Tab still reaches the button.
void keepLineSelection(QPushButton* button) {
    button->setFocusPolicy(Qt::TabFocus);
}

QString arrayName(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

} // namespace

FrmTestaCom::FrmTestaCom(Session& session, QWidget* parent)
    : QDialog(parent), session_(session), mscSerial_(session.portFactory()) {
    setObjectName(QStringLiteral("frmTestaCOM"));
    setWindowTitle(QStringLiteral("Teste de Comunicação"));

    auto* lines = new QGridLayout;
    for (int i = 0; i < kLines; ++i) {
        cmdSel_[i] = makeButton(this, arrayName("cmdSel", i), {});
        cmdSel_[i]->setAccessibleName(QStringLiteral("Selecionar linha %1").arg(i + 1));
        cmdSel_[i]->setFixedWidth(22);
        txtTX_[i] = new QLineEdit(this);
        txtTX_[i]->setObjectName(arrayName("txtTX", i));
        txtTX_[i]->setAccessibleName(QStringLiteral("Linha %1").arg(i + 1));
        cmdTX_[i] = makeButton(this, arrayName("cmdTX", i), QStringLiteral("TX"));
        lines->addWidget(cmdSel_[i], i, 0);
        lines->addWidget(txtTX_[i], i, 1);
        lines->addWidget(cmdTX_[i], i, 2);
        connect(cmdSel_[i], &QPushButton::clicked, this, [this, i] { cmdSelClick(i); });
        connect(cmdTX_[i], &QPushButton::clicked, this, [this, i] { cmdTXClick(i); });
    }

    auto* markers = new QHBoxLayout;
    const struct {
        const char* name;
        const char* caption;
        char code;
    } markerButtons[] = {
        {"cmdCR", "CR", '\r'}, {"cmdLF", "LF", '\n'}, {"cmdCtrlA", "^A", 1}, {"cmdCtrlE", "^E", 5}};
    for (const auto& entry : markerButtons) {
        QPushButton* button =
            makeButton(this, QLatin1String(entry.name), QLatin1String(entry.caption));
        keepLineSelection(button);
        connect(button, &QPushButton::clicked, this,
                [this, code = entry.code] { insertMarker(controlName(code)); });
        markers->addWidget(button);
    }
    QPushButton* cmdDelay = makeButton(this, QStringLiteral("cmdDelay"), QStringLiteral("Delay"));
    keepLineSelection(cmdDelay);
    connect(cmdDelay, &QPushButton::clicked, this, &FrmTestaCom::cmdDelayClick);
    markers->addWidget(cmdDelay);
    markers->addStretch();

    auto* commands = new QHBoxLayout;
    const struct {
        const char* name;
        const char* caption;
        void (FrmTestaCom::*handler)();
    } commandButtons[] = {{"cmd1200", "1200", &FrmTestaCom::cmd1200Click},
                          {"cmd9600", "9600", &FrmTestaCom::cmd9600Click},
                          {"CmdLimpar", "Limpar", &FrmTestaCom::cmdLimparClick},
                          {"cmdFechar", "Fechar", nullptr}};
    for (const auto& entry : commandButtons) {
        QPushButton* button =
            makeButton(this, QLatin1String(entry.name), QLatin1String(entry.caption));
        if (entry.handler)
            connect(button, &QPushButton::clicked, this, entry.handler);
        else
            connect(button, &QPushButton::clicked, this, &QDialog::close);
        commands->addWidget(button);
    }
    commands->addStretch();

    txtTerm_ = new QPlainTextEdit(this);
    txtTerm_->setObjectName(QStringLiteral("txtTerm"));
    txtTerm_->setAccessibleName(QStringLiteral("Recebido"));
    txtTerm_->setFont(courierNew(9));
    txtTerm_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTerm_->setUndoRedoEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lines);
    layout->addLayout(markers);
    layout->addLayout(commands);
    layout->addWidget(txtTerm_, 1);
    resize(520, 440);

    connect(mscSerial_.get(), &SerialPort::commEvent, this, &FrmTestaCom::mscSerialOnComm);
    connect(mscSerial_.get(), &SerialPort::deviceLost, this, [this](int number) {
        lineLost_ = true;
        session_.reportError(number);
    });
    formLoad();
}

FrmTestaCom::~FrmTestaCom() {
    formQueryUnload();
}

void FrmTestaCom::formLoad() {
    cmdSelClick(0);
    if (const int error = openPortOn(*mscSerial_, session_.settings.portNumber,
                                     session_.settings.terminalSettings))
        session_.reportError(error);
}

void FrmTestaCom::cmdSelClick(int index) {
    if (index < 0 || index >= kLines)
        return;
    for (int i = 0; i < kLines; ++i) {
        txtTX_[i]->setEnabled(false);
        setFieldBackground(*txtTX_[i], kLineOff);
        cmdTX_[i]->setEnabled(false);
    }
    txtTX_[index]->setEnabled(true);
    setFieldBackground(*txtTX_[index], kLineOn);
    cmdTX_[index]->setEnabled(true);
    selected_ = static_cast<qint16>(index);
}

void FrmTestaCom::insertMarker(const QString& marker) {
    QLineEdit* line = txtTX_[selected_];
    // The selection stays in the line and the marker follows it.
    line->insert(line->selectedText() + marker);
    line->setFocus();
}

void FrmTestaCom::cmdDelayClick() {
    const QString answer =
        session_.dialogs.inputBox(QStringLiteral("Digite o tempo de delay (em ms):"),
                                  QStringLiteral("Delay"), QStringLiteral("200"));
    insertMarker(pauseMarker(answer));
}

void FrmTestaCom::cmdTXClick(int index) {
    Q_UNUSED(index);
    // The line as it is now: editing it or selecting another during a pause
    // does not change what this press sends.
    const QVector<LineStep> steps = lineSteps(txtTX_[selected_]->text());
    ++sending_;
    for (const LineStep& step : steps) {
        if (!life_.alive())
            break;
        if (step.kind == LineStep::Pause) {
            // A pause on the line starts when the bytes before it have left the wire.
            if (!life_.waitMs(step.pauseMs + mscSerial_->msUntilWireIdle()))
                break;
            continue;
        }
        if (const int error = mscSerial_->write(QByteArray(1, step.byte))) {
            // One report for the line, not one per character; a device that
            // vanished has said so already.
            if (!lineLost_)
                session_.reportError(error);
            break;
        }
    }
    --sending_;
}

void FrmTestaCom::reopenAt(const QString& settings) {
    mscSerial_->close();
    // The main terminal uses it from its next opening, and the settings file keeps it.
    session_.applySettings({.terminalSettings = settings});
    if (const int error = openPortOn(*mscSerial_, session_.settings.portNumber, settings)) {
        session_.reportError(error);
        return;
    }
    lineLost_ = false;
}

void FrmTestaCom::cmdLimparClick() {
    txtTerm_->clear();
}

void FrmTestaCom::mscSerialOnComm() {
    if (mscSerial_->eventCode() != static_cast<int>(CommEventCode::Receive))
        return;
    const QByteArray bytes = mscSerial_->readAll();
    if (bytes.isEmpty())
        return;
    insertAfterSelection(*txtTerm_, receivedText(bytes));
    // The same bound as the terminal: a chattering line must not fill memory.
    keepNewest(*txtTerm_, kTerminalCapacity, kTerminalKeep);
}

void FrmTestaCom::done(int result) {
    formQueryUnload();
    QDialog::done(result);
}

void FrmTestaCom::formQueryUnload() {
    if (!life_.end())
        return;
    mscSerial_->close();
    // A send waiting in a pause ends now rather than writing to a closed port.
    if (sending_ > 0)
        session_.waiter.cancel();
}

void FrmTestaCom::keyPressEvent(QKeyEvent* event) {
    // The window has no cancel button: Esc must not throw the typed lines away.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace quillon
