#pragma once

#include "core/session.h"
#include "transfer/upload_view.h"

#include <QStringList>

namespace quillon {

// The Hayes command exchange on the main port: one command line and the
// modem's reply, the escape and hang-up, and giving up a dial.
class ModemLink : public ModemControl {
public:
    // What a dial that was given up answers.
    static inline const QString kDialGaveUp = QStringLiteral("NAO DEU");

    // Searched in this order, one entry per half-second step.
    static const QStringList& replyTable();

    ModemLink(Session& session, SerialPort& port) : session_(session), port_(port) {}

    QString modemCommand(const QString& command, double limitSeconds) override;
    QString hangUpModem() override;
    // A command under way (a dial) ends at its next step with AbortDial, as
    // the wait dialog's Esc makes it.
    void giveUp() { session_.modem.modemAbort = true; }
    // AbortDial: "ath" without a line end, then half a second.
    void abortDial();

    // The pace of the exchange; tests shorten it.
    int stepMs = 500;
    int escapeGapMs = 300;
    int escapeGuardMs = 1000;

private:
    void send(const QByteArray& bytes);

    Session& session_;
    SerialPort& port_;
};

// The Hayes dial line for the controller's telephone, pulse dialling.
QString dialCommand(const SettingsValues& settings);

} // namespace quillon
