#include "core/send_to_port.h"

namespace quillon {

void sendToPort(Session& session, SerialPort& port, const QByteArray& text) {
    if (const int error = port.write(text))
        session.reportError(error);
}

} // namespace quillon
