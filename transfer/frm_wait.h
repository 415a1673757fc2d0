#pragma once

#include "core/session.h"
#include "transfer/modem_link.h"

#include <QDialog>
#include <QTimer>

namespace quillon {

// frmWait: dials the controller's telephone while the technician waits; Esc
// gives up at any time.
class FrmWait : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialLimitSeconds = 40;
    FrmWait(Session& session, ModemLink& modem, QWidget* parent = nullptr);

    // Shows the dialog modally; answers ModemResult: empty when connected,
    // ModemLink::kDialGaveUp when not.
    QString dial();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void timer1Tick();
    void giveUp();

    Session& session_;
    ModemLink& modem_;
    // Starts the dial once the dialog is on screen.
    QTimer dialStart_;
};

} // namespace quillon
