#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace quillon::sim {

// The check value a loader block carries: polynomial 0x1021, starting at zero, bits taken
// most significant first, nothing added at the end. Kept apart from the main program's own
// copy so that a mistake in one shows up against the other.
quint16 crc16Xmodem(QByteArrayView data);

} // namespace quillon::sim
