#include "sim/crc16.h"

namespace quillon::sim {

quint16 crc16Xmodem(QByteArrayView data) {
    quint16 crc = 0;
    for (const char c : data) {
        crc ^= static_cast<quint16>(static_cast<quint8>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? static_cast<quint16>((crc << 1) ^ 0x1021)
                                      : static_cast<quint16>(crc << 1);
    }
    return crc;
}

} // namespace quillon::sim
