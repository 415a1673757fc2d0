#pragma once

#include "core/session.h"
#include "platform/serial_port.h"

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace quillon {

// FrmModBus, "Terminal ModBus": a MODBUS RTU master on the main window's port,
// which it borrows as it finds it and never opens, closes or reconfigures.
class FrmModBus : public QDialog {
    Q_OBJECT
public:
    FrmModBus(Session& session, SerialPort& port, QWidget* parent = nullptr);
    ~FrmModBus() override;

    void cbFuncaoClick(int index);
    void cmdIniciarClick();
    void cmdPararClick();
    void cmdLimparClick();
    void opExibirClick(int index);

    // A MODBUS RTU message is at most 256 bytes; a reply is gathered up to that.
    static constexpr int MaxReply = 256;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    // Answers the width in pixels the input strip's rows need.
    int buildControls();
    void formLoad();
    void formUnload();
    // Form_Resize: the input strip, the log box and the status bar.
    void formResize();
    void pollLoop(int function);
    void writeOnce();
    QByteArray awaitReply();
    bool showsFrames() const;
    void mostrarMensagem(const QString& prefixo, const QByteArray& messg);
    void mostrarValores(const QByteArray& messg, int inicio);
    void insertAtCaret(const QString& text);
    void setFieldEnabled(QLineEdit* field, bool enabled);
    void setIdle();

    Session& session_;
    SerialPort& port_;
    bool polling_ = false;
    qint16 contTimeout_ = 0;
    WindowLife life_{session_.waiter};
    // The list's line edit is finishing typed text: what it activates is not a pick.
    bool typingEnds_ = false;

    QWidget* toolbar_ = nullptr;
    QLineEdit* txtEndereco_ = nullptr;
    QLineEdit* txtRegIni_ = nullptr;
    QLineEdit* txtNumero_ = nullptr;
    QComboBox* cbFuncao_ = nullptr;
    QLineEdit* txtValor_ = nullptr;
    QRadioButton* opExibir_[2] = {};
    QButtonGroup* opExibirGroup_ = nullptr;
    QLineEdit* txtTimeout_ = nullptr;
    QPushButton* cmdIniciar_ = nullptr;
    QPushButton* cmdParar_ = nullptr;
    QPushButton* cmdLimpar_ = nullptr;
    QPlainTextEdit* txtModBus_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* statusPanel_ = nullptr;
};

} // namespace quillon
