#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>

#include <array>
#include <optional>

namespace quillon::sim {

// The controller's MODBUS RTU slave: holding registers (03 read, 06 write) that keep
// what is written, and input registers (04) that move like a live process.
class ModbusSlave {
public:
    static constexpr int RequestSize = 8;
    static constexpr int Registers = 100;
    static constexpr quint8 IllegalFunction = 1;
    static constexpr quint8 IllegalDataAddress = 2;
    static constexpr quint8 IllegalDataValue = 3;

    explicit ModbusSlave(int address = 1);

    int address() const { return address_; }
    // Whether a request to this slave may start with these bytes (address, function).
    bool mayStart(QByteArrayView head) const;
    // The reply to a whole request; nothing for a damaged request, one for another
    // slave, or a broadcast (which is carried out all the same).
    std::optional<QByteArray> answer(QByteArrayView request);

    quint16 inputRegister(int index) const;

private:
    QByteArray exception(quint8 function, quint8 code) const;

    int address_;
    std::array<quint16, Registers> holding_{};
    QElapsedTimer clock_;
};

} // namespace quillon::sim
