#include "platform/port_settings.h"

#include "platform/serial_port.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <utility>

namespace quillon {

namespace {

// The rates a PC serial port offers; anything else is a typing mistake.
constexpr std::array<qint32, 18> kBaudRates = {110,   300,    600,    1200,   2400,   4800,
                                               9600,  14400,  19200,  28800,  38400,  56000,
                                               57600, 115200, 128000, 230400, 256000, 460800};

// Decimal digits and nothing else: a sign, a hex prefix or a NUL with more behind it
// would make one text mean two things.
std::optional<qint64> wholeNumber(const QString& field) {
    const QString text = field.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    // Held just above every valid value, so a long row of digits cannot overflow.
    constexpr qint64 kBeyondAny = 1'000'000'000;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = std::min(value * 10 + (c.unicode() - '0'), kBeyondAny);
    }
    return value;
}

// The value a field's text stands for in a table of the texts a port knows.
template <typename Value, std::size_t N>
std::optional<Value> lookUp(const std::pair<const char*, Value> (&table)[N], const QString& text) {
    for (const auto& [known, value] : table) {
        if (text == QLatin1String(known))
            return value;
    }
    return std::nullopt;
}

} // namespace

double bitsPerCharacter(const PortSettings& settings) {
    const double parity = settings.parity == QSerialPort::NoParity ? 0.0 : 1.0;
    double stop = 1.0;
    if (settings.stopBits == QSerialPort::OneAndHalfStop)
        stop = 1.5;
    else if (settings.stopBits == QSerialPort::TwoStop)
        stop = 2.0;
    return 1.0 + static_cast<int>(settings.dataBits) + parity + stop;
}

std::optional<qint32> baudField(const QString& field) {
    const auto baud = wholeNumber(field);
    if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end())
        return std::nullopt;
    return static_cast<qint32>(*baud);
}

std::optional<QSerialPort::Parity> parityField(const QString& field) {
    static constexpr std::pair<const char*, QSerialPort::Parity> kParities[] = {
        {"n", QSerialPort::NoParity},
        {"e", QSerialPort::EvenParity},
        {"o", QSerialPort::OddParity},
        {"m", QSerialPort::MarkParity},
        {"s", QSerialPort::SpaceParity}};
    return lookUp(kParities, field.trimmed().toLower());
}

std::optional<QSerialPort::DataBits> dataBitsField(const QString& field) {
    const auto bits = wholeNumber(field);
    if (!bits || *bits < 5 || *bits > 8)
        return std::nullopt;
    return static_cast<QSerialPort::DataBits>(*bits);
}

std::optional<QSerialPort::StopBits> stopBitsField(const QString& field) {
    static constexpr std::pair<const char*, QSerialPort::StopBits> kStops[] = {
        {"1", QSerialPort::OneStop},
        {"1.5", QSerialPort::OneAndHalfStop},
        {"2", QSerialPort::TwoStop}};
    return lookUp(kStops, field.trimmed());
}

ParsedPortSettings parsePortSettings(const QString& text) {
    ParsedPortSettings result;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) {
        result.error = PortError::BadSettings;
        return result;
    }
    const auto baud = baudField(parts[0]);
    if (!baud) {
        result.error = PortError::BadBaudRate;
        return result;
    }
    const auto parity = parityField(parts[1]);
    if (!parity) {
        result.error = PortError::BadSettings;
        return result;
    }
    const auto bits = dataBitsField(parts[2]);
    if (!bits) {
        result.error = PortError::BadDataBits;
        return result;
    }
    const auto stop = stopBitsField(parts[3]);
    if (!stop) {
        result.error = PortError::BadSettings;
        return result;
    }
    result.settings = {*baud, *parity, *bits, *stop};
    return result;
}

} // namespace quillon
