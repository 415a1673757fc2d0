#include "sim/modbus_slave.h"

#include "modbus/modbus_frame.h"

#include <cmath>
#include <numbers>

namespace quillon::sim {

namespace {

constexpr quint8 ReadHolding = 3;
constexpr quint8 ReadInput = 4;
constexpr quint8 WriteSingle = 6;
constexpr int MaxQuantity = 125;

quint16 wordAt(QByteArrayView bytes, int offset) {
    return static_cast<quint16>((static_cast<quint8>(bytes[offset]) << 8) |
                                static_cast<quint8>(bytes[offset + 1]));
}

void appendWord(QByteArray& bytes, quint16 word) {
    bytes.append(static_cast<char>(word >> 8));
    bytes.append(static_cast<char>(word & 0xFF));
}

QByteArray withCrc(QByteArray bytes) {
    bytes.append(modbus::calcularCrc(bytes));
    return bytes;
}

} // namespace

ModbusSlave::ModbusSlave(int address) : address_(address) {
    // Set points and limits of a small cold room, in tenths where they have decimals.
    for (int i = 0; i < Registers; ++i)
        holding_[i] = static_cast<quint16>(100 * (i + 1));
    holding_[0] = 220; // 22.0 degrees wanted
    holding_[1] = 15;  // 1.5 degrees differential
    clock_.start();
}

bool ModbusSlave::mayStart(QByteArrayView head) const {
    if (head.isEmpty())
        return false;
    const int address = static_cast<quint8>(head[0]);
    if (address != address_ && address != 0)
        return false;
    if (head.size() < 2)
        return true;
    const quint8 function = static_cast<quint8>(head[1]);
    return function == ReadHolding || function == ReadInput || function == WriteSingle;
}

quint16 ModbusSlave::inputRegister(int index) const {
    // Each input drifts around its own level with its own period, like sensors would.
    const double seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
    const double period = 20.0 + 3.0 * index;
    const double level = 200.0 + 10.0 * index;
    const double swing = 15.0 * std::sin(2 * std::numbers::pi * seconds / period + index);
    return static_cast<quint16>(std::lround(level + swing));
}

QByteArray ModbusSlave::exception(quint8 function, quint8 code) const {
    QByteArray reply;
    reply.append(static_cast<char>(address_));
    reply.append(static_cast<char>(function | 0x80));
    reply.append(static_cast<char>(code));
    return withCrc(reply);
}

std::optional<QByteArray> ModbusSlave::answer(QByteArrayView request) {
    if (request.size() != RequestSize || !mayStart(request.first(2)) || modbus::crc16(request) != 0)
        return std::nullopt;
    const bool broadcast = static_cast<quint8>(request[0]) == 0;
    const quint8 function = static_cast<quint8>(request[1]);
    const int first = wordAt(request, 2);
    const int word = wordAt(request, 4);
    QByteArray reply;
    if (function == WriteSingle) {
        if (first >= Registers)
            reply = exception(function, IllegalDataAddress);
        else {
            holding_[first] = static_cast<quint16>(word);
            reply = request.first(6).toByteArray();
            reply = withCrc(reply);
        }
    } else if (word < 1 || word > MaxQuantity) {
        reply = exception(function, IllegalDataValue);
    } else if (first + word > Registers) {
        reply = exception(function, IllegalDataAddress);
    } else {
        reply.append(static_cast<char>(address_));
        reply.append(static_cast<char>(function));
        reply.append(static_cast<char>(2 * word));
        for (int i = first; i < first + word; ++i)
            appendWord(reply, function == ReadHolding ? holding_[i] : inputRegister(i));
        reply = withCrc(reply);
    }
    if (broadcast)
        return QByteArray();
    return reply;
}

} // namespace quillon::sim
