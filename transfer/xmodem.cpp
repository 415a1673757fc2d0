#include "transfer/xmodem.h"

#include <limits>

namespace quillon::xmodem {

void atualizarCrcXmodem(quint8 byte, quint16 polynomial, qint32& crc) {
    crc ^= static_cast<qint32>(byte) << 8;
    for (int bit = 0; bit < 8; ++bit) {
        if (crc & 0x8000)
            crc = ((crc << 1) ^ polynomial) & 0xFFFF;
        else
            crc = (crc << 1) & 0xFFFF;
    }
}

std::pair<quint8, quint8> calcularCrcXmodem(const QByteArray& data) {
    qint32 crc = 0;
    for (const char byte : data)
        atualizarCrcXmodem(static_cast<quint8>(byte), kPolynomial, crc);
    return {static_cast<quint8>(crc / 256), static_cast<quint8>(crc % 256)};
}

std::optional<qint16> blockCount(qint64 length) {
    if (length < 0)
        return std::nullopt;
    const qint64 count = length / kDataSize + 1;
    if (count > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(count);
}

QByteArray buildBlock(int k, const QByteArray& data) {
    QByteArray field = data.left(kDataSize);
    field.append(QByteArray(kDataSize - field.size(), kPad));
    const auto number = static_cast<quint8>(k % 256);
    const auto [high, low] = calcularCrcXmodem(field);
    QByteArray block;
    block.reserve(kBlockSize);
    block.append(kSoh);
    block.append(static_cast<char>(number));
    block.append(static_cast<char>(255 - number));
    block.append(field);
    block.append(static_cast<char>(high));
    block.append(static_cast<char>(low));
    return block;
}

} // namespace quillon::xmodem
