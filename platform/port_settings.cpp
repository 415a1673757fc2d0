#include "platform/port_settings.h"

#include "platform/serial_port.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace quillon {

namespace {

// The rates a PC serial port offers; anything else is a typing mistake.
constexpr std::array<qint32, 18> kBaudRates = {110,   300,    600,    1200,   2400,   4800,
                                               9600,  14400,  19200,  28800,  38400,  56000,
                                               57600, 115200, 128000, 230400, 256000, 460800};

bool parseWhole(const QString& text, int& value) {
    bool ok = false;
    value = text.trimmed().toInt(&ok, 10);
    return ok;
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

ParsedPortSettings parsePortSettings(const QString& text) {
    ParsedPortSettings result;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) {
        result.error = PortError::BadSettings;
        return result;
    }
    int baud = 0;
    if (!parseWhole(parts[0], baud) ||
        std::find(kBaudRates.begin(), kBaudRates.end(), baud) == kBaudRates.end()) {
        result.error = PortError::BadBaudRate;
        return result;
    }
    result.settings.baudRate = baud;

    const QString parity = parts[1].trimmed().toLower();
    if (parity == QLatin1String("n"))
        result.settings.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        result.settings.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        result.settings.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        result.settings.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        result.settings.parity = QSerialPort::SpaceParity;
    else {
        result.error = PortError::BadSettings;
        return result;
    }

    int bits = 0;
    if (!parseWhole(parts[2], bits) || bits < 5 || bits > 8) {
        result.error = PortError::BadDataBits;
        return result;
    }
    result.settings.dataBits = static_cast<QSerialPort::DataBits>(bits);

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        result.settings.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        result.settings.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        result.settings.stopBits = QSerialPort::TwoStop;
    else {
        result.error = PortError::BadSettings;
        return result;
    }
    return result;
}

} // namespace quillon
