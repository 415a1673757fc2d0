#pragma once

#include "modbus/frm_modbus.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>

namespace quillon::test {

// Reaches the MODBUS window's controls the way a technician does.
class ModbusWindowDriver {
public:
    explicit ModbusWindowDriver(FrmModBus& window) : window_(window) {}

    QLineEdit* field(const char* name) const {
        return window_.findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    QString log() const {
        return window_.findChild<QPlainTextEdit*>(QStringLiteral("TxtModBus"))->toPlainText();
    }
    void showValues() const {
        window_.findChild<QRadioButton*>(QStringLiteral("OpExibir(0)"))->click();
    }
    // Picks a function from the list, as a click on the list does.
    void pick(int index) const {
        window_.findChild<QComboBox*>(QStringLiteral("CbFuncao"))->setCurrentIndex(index);
        window_.cbFuncaoClick(index);
    }
    // Runs Start and presses Stop (or closes the window) after the given time.
    void runFor(int ms, bool closeInstead = false) const {
        FrmModBus* window = &window_;
        QTimer::singleShot(ms, window, [window, closeInstead] {
            if (closeInstead)
                window->close();
            else
                window->cmdPararClick();
        });
        window_.cmdIniciarClick();
    }

private:
    FrmModBus& window_;
};

} // namespace quillon::test
