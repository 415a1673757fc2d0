#include "transfer/start_controller.h"

#include "core/serial_link.h"
#include "core/text_helpers.h"
#include "transfer/modem_link.h"
#include "transfer/upload_record.h"

namespace quillon {

StartHandshake::StartHandshake(Session& session, SerialLink& link, UploadView& view)
    : session_(session), port_(link.port()), view_(view) {
    listening_ = QObject::connect(&link, &SerialLink::received, [this](const QByteArray& chunk) {
        if (!session_.transfer.transferStop && chunk.at(0) == 'C') {
            startRequested_ = true;
            // The loader calls only once it has had its start commands.
            port_.deliveryConfirmed();
        }
    });
}

StartHandshake::~StartHandshake() {
    QObject::disconnect(listening_);
}

int StartHandshake::openAt(const QString& settings) {
    return openPortOn(port_, session_.settings.portNumber, settings);
}

int StartHandshake::announceInitWait() {
    if (port_.isOpen())
        port_.close();
    view_.setStatus(QStringLiteral("AGUARDANDO COMANDO DE INICIALIZAÇÃO"));
    int error = openAt(kInitSettings);
    if (error == 0) {
        error = port_.write(QByteArrayLiteral("4"));
        port_.close();
    }
    if (error != 0)
        session_.reportError(error);
    return error;
}

int StartHandshake::reinitialise() {
    port_.close();
    if (const int error = openAt(kInitSettings))
        return error;
    const int error = port_.write(QByteArrayLiteral("4"));
    port_.close();
    if (error != 0)
        return error;
    return openAt(session_.settings.transferSettings);
}

bool StartHandshake::stopped(int error, bool alreadyReported) {
    view_.setInfo({});
    view_.setStatus({});
    stopError_ = error;
    session_.transfer.transferStop = true;
    // Only the opening for "4" reports its failure; any other port failure
    // would otherwise end the upload without a word.
    if (error != 0 && !alreadyReported && !session_.transfer.portLost)
        session_.reportError(error);
    return false;
}

bool StartHandshake::startController() {
    stopError_ = 0;
    const bool announceFailed = announceInitWait() != 0;
    if (!port_.isOpen()) {
        if (const int error = openAt(session_.settings.transferSettings))
            return stopped(error, announceFailed);
    }
    const int useModem = session_.settings.useModem;
    if (session_.dialsByModem()) {
        const QString reply = session_.modemControl
                                  ? session_.modemControl->modemCommand(
                                        dialCommand(session_.settings), kDialLimitSeconds)
                                  : QString();
        if (!reply.contains(QLatin1String("CONNECT"))) {
            session_.dialogs.message(QStringLiteral("Erro de Conexão com o Modem"),
                                     QStringLiteral("Não foi possível conectar ao telefone ") +
                                         session_.settings.phoneNumber + QStringLiteral("!") +
                                         kCrLf +
                                         QStringLiteral("Verifique as configurações do Modem."),
                                     MessageIcon::None, MessageButtons::Ok);
            // Stopped like any handshake: nothing waits for a start command any more,
            // also while the modem is hung up.
            // A dial given up on request is the user's stop, not a failed dial.
            const bool givenUp = session_.transfer.transferStop || session_.modem.modemAbort;
            return stopped(givenUp ? 0 : UploadFailure::DialFailed, true);
        }
    }
    startRequested_ = false;
    if (const int error = port_.write(QByteArrayLiteral("1")))
        return stopped(error, false);
    for (;;) {
        if (startRequested_) {
            view_.setInfo({});
            view_.setStatus(QStringLiteral("TRANSFERINDO"));
            return true;
        }
        if (useModem == 0 || !session_.edition.hasModem) {
            if (const int error = reinitialise())
                return stopped(error, false);
        }
        if (const int error = port_.write(QByteArrayLiteral("1")))
            return stopped(error, false);
        if (session_.transfer.transferStop)
            return stopped(0, true);
        view_.setInfo(QStringLiteral("PRESSIONE B1 e B2"));
        session_.waiter.waitMs(passMs);
    }
}

} // namespace quillon
