#pragma once

#include "core/session.h"

#include <QDialog>

#include <array>
#include <memory>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillon {

// frmTestaCOM: four hand-written transmit lines and a receive display that
// spells control characters out, on a port of its own.
class FrmTestaCom : public QDialog {
    Q_OBJECT
public:
    static constexpr int kLines = 4;

    // Loads at once: the port is opened on the main window's port number and
    // the terminal settings; a failure is reported and the window stays usable.
    explicit FrmTestaCom(Session& session, QWidget* parent = nullptr);
    ~FrmTestaCom() override;

    void cmdSelClick(int index);
    // CR, LF, ^A, ^E buttons and the Delay answer: the text goes after the
    // selection of the selected line.
    void insertMarker(const QString& marker);
    void cmdDelayClick();
    // Sends the selected line; the pressed button's index does not matter.
    void cmdTXClick(int index);
    void cmd1200Click() { reopenAt(QStringLiteral("1200,n,8,1")); }
    void cmd9600Click() { reopenAt(QStringLiteral("9600,n,8,1")); }
    void cmdLimparClick();

    SerialPort& port() { return *mscSerial_; }
    int selectedLine() const { return selected_; }

public Q_SLOTS:
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void formLoad();
    void formQueryUnload();
    void reopenAt(const QString& settings);
    void mscSerialOnComm();

    Session& session_;
    std::unique_ptr<SerialPort> mscSerial_;
    qint16 selected_ = 0;
    // Sends still running, nested when TX is pressed again during a pause.
    int sending_ = 0;
    WindowLife life_{session_.waiter};
    // The device vanished and said so; a write failing on it needs no second report.
    bool lineLost_ = false;
    std::array<QLineEdit*, kLines> txtTX_{};
    std::array<QPushButton*, kLines> cmdSel_{};
    std::array<QPushButton*, kLines> cmdTX_{};
    QPlainTextEdit* txtTerm_ = nullptr;
};

} // namespace quillon
