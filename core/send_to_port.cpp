#include "core/send_to_port.h"

namespace quillon {

void sendToPort(Session& session, SerialPort& port, const QByteArray& text) {
    const int error = port.write(text);
    // A pulled adapter has been reported once; the rest of that upload's sends
    // (the modem's hang-up) would only stack up boxes about the same thing.
    if (error != 0 && !session.transfer.portLost)
        session.reportError(error);
}

} // namespace quillon
