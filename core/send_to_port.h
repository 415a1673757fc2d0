#pragma once

#include "core/session.h"

namespace quillon {

// SendToPort: a failed write is reported and the caller goes on.
void sendToPort(Session& session, SerialPort& port, const QByteArray& text);

} // namespace quillon
