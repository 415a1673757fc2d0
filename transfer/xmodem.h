#pragma once

#include <QByteArray>

#include <optional>
#include <utility>

namespace quillon::xmodem {

inline constexpr char kSoh = 0x01;
inline constexpr char kEot = 0x04;
inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;
inline constexpr char kCan = 0x18;
inline constexpr char kPad = 0x1A;
inline constexpr int kDataSize = 128;
inline constexpr int kBlockSize = 133;
inline constexpr quint16 kPolynomial = 0x1021;

// AtualizarCrcXmodem: folds one byte into the running CRC (kept in 0..65535).
void atualizarCrcXmodem(quint8 byte, quint16 polynomial, qint32& crc);

// CalcularCrcXmodem: the check bytes of a data field, high byte first.
std::pair<quint8, quint8> calcularCrcXmodem(const QByteArray& data);

// floor(length / 128) + 1; nothing when the count would not fit 16 bits.
std::optional<qint16> blockCount(qint64 length);

// Block k (counted from 1) around up to 128 data bytes, padded with 0x1A.
QByteArray buildBlock(int k, const QByteArray& data);

} // namespace quillon::xmodem
