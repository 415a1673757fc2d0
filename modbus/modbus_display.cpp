#include "modbus/modbus_display.h"

#include "core/text_helpers.h"

namespace quillon::modbus {

namespace {

constexpr int ByteCountOffset = 2;
constexpr int FirstDataOffset = 3;
constexpr int CrcSize = 2;
constexpr quint8 ExceptionFlag = 0x80;

quint8 byteAt(QByteArrayView bytes, qsizetype offset) {
    return static_cast<quint8>(bytes[offset]);
}

QString hexByte(quint8 byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString mostrarMensagem(const QString& prefixo, QByteArrayView messg) {
    QString line = prefixo;
    line.reserve(prefixo.size() + messg.size() * 4 + 2);
    for (const char byte : messg)
        line += QLatin1Char('[') + hexByte(static_cast<quint8>(byte)) + QLatin1Char(']');
    return line + kCrLf;
}

QString registerLabel(qint64 number) {
    const QString digits = QString::number(std::abs(number)).rightJustified(4, QLatin1Char('0'));
    return number < 0 ? QLatin1Char('-') + digits : digits;
}

QString mostrarValores(QByteArrayView messg, int inicio) {
    if (messg.size() < FirstDataOffset)
        return {};
    const quint8 function = byteAt(messg, 1);
    if (function & ExceptionFlag) {
        // The third byte of an exception reply is its code, not a count of values.
        return QStringLiteral("Exceção %1 na função %2")
                   .arg(hexByte(byteAt(messg, ByteCountOffset)),
                        hexByte(function & ~ExceptionFlag)) +
               kCrLf;
    }
    const int registers = byteAt(messg, ByteCountOffset) / 2;
    // The last two bytes are the CRC, whatever the count says: a register that would
    // take them is one the reply does not hold.
    const qsizetype dataEnd = messg.size() - CrcSize;
    QString text;
    for (int i = 0; i < registers; ++i) {
        const qsizetype high = FirstDataOffset + 2 * i;
        // In 64 bits: a start near the top of int must not overflow.
        text += registerLabel(static_cast<qint64>(inicio) + i) + QStringLiteral(":   ");
        if (high + 1 < dataEnd)
            text += QLatin1Char(' ') +
                    QString::number(256 * byteAt(messg, high) + byteAt(messg, high + 1));
        else
            text += QStringLiteral(" (faltando)");
        text += kCrLf;
    }
    return text;
}

} // namespace quillon::modbus
