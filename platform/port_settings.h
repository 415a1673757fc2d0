#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

namespace quillon {

// A settings string such as "9600,n,8,1": baud, parity letter, data bits, stop bits.
struct PortSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

struct ParsedPortSettings {
    int error = 0; // 0, or the port error number that describes what is wrong
    PortSettings settings;
};

// Start bit, data bits, parity bit and stop bits: what one character takes on the wire.
double bitsPerCharacter(const PortSettings& settings);

// Nothing is guessed: a malformed string is an error, never silently replaced.
ParsedPortSettings parsePortSettings(const QString& text);

// One field of a settings string as the port reads it, blanks around it allowed;
// nothing when the port would refuse it. Whoever shows a setting reads it this way,
// so that what is shown is what the port uses.
std::optional<qint32> baudField(const QString& field);
std::optional<QSerialPort::Parity> parityField(const QString& field); // either case
std::optional<QSerialPort::DataBits> dataBitsField(const QString& field);
std::optional<QSerialPort::StopBits> stopBitsField(const QString& field);

} // namespace quillon
