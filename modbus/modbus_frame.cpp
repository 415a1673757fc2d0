#include "modbus/modbus_frame.h"

#include <cstdlib>

namespace quillon::modbus {

namespace {

constexpr int MaxAddress = 255;
constexpr qint32 MaxRegister = 65535;
constexpr qint32 MaxQuantity = 125;

void appendWord(QByteArray& frame, qint32 word) {
    frame.append(static_cast<char>((word >> 8) & 0xFF));
    frame.append(static_cast<char>(word & 0xFF));
}

QByteArray finished(QByteArray frame) {
    frame.append(calcularCrc(frame));
    return frame;
}

QByteArray readRequest(int function, int address, qint32 start, qint32 quantity) {
    ajustarLimites(address, start, quantity);
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(function));
    appendWord(frame, start);
    appendWord(frame, quantity);
    return finished(frame);
}

} // namespace

qint32 requestedRegister(qint32 reg) {
    return qBound<qint32>(0, reg, MaxRegister);
}

void ajustarLimites(int& address, qint32& reg, qint32& quantity) {
    // Folding by 256 is what subtracting 256 while above 255 comes to, without a loop
    // over the whole 16-bit range.
    address = std::abs(address) % (MaxAddress + 1);
    reg = requestedRegister(reg);
    quantity = qBound<qint32>(1, quantity, MaxQuantity);
}

quint16 crc16(QByteArrayView bytes) {
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            const bool low = crc & 1;
            crc >>= 1;
            if (low)
                crc ^= 0xA001;
        }
    }
    return crc;
}

QByteArray calcularCrc(QByteArrayView bytes) {
    const quint16 crc = crc16(bytes);
    QByteArray bytesOnLine;
    bytesOnLine.append(static_cast<char>(crc & 0xFF));
    bytesOnLine.append(static_cast<char>(crc >> 8));
    return bytesOnLine;
}

QByteArray montarFrame03(int address, qint32 start, qint32 quantity) {
    return readRequest(3, address, start, quantity);
}

QByteArray montarFrame04(int address, qint32 start, qint32 quantity) {
    return readRequest(4, address, start, quantity);
}

std::optional<QByteArray> montarFrame06(int address, qint32 reg, qint32 value) {
    if (value < MinWriteValue || value > MaxWriteValue)
        return std::nullopt;
    qint32 unusedQuantity = 1;
    ajustarLimites(address, reg, unusedQuantity);
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(6));
    appendWord(frame, reg);
    appendWord(frame, value < 0 ? value + 65536 : value);
    return finished(frame);
}

} // namespace quillon::modbus
