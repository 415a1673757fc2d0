#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace quillon::modbus {

// The requests the MODBUS terminal sends as an RTU master, and their CRC.

// A function-06 value must fit two bytes once negatives are carried as 65536 + value.
constexpr qint32 MinWriteValue = -65536;
constexpr qint32 MaxWriteValue = 65535;

// Ajustar_Limites: what the typed numbers become before a request is built.
// The address is folded into 0..255 (256 is 0, -5 is 5), the register clamped to
// 0..65535 and the quantity to 1..125, the most one request may ask for.
void ajustarLimites(int& address, qint32& reg, qint32& quantity);
// The register a request carries for a typed start register.
qint32 requestedRegister(qint32 reg);

// The standard MODBUS CRC-16 (reflected 0xA001, start 0xFFFF).
quint16 crc16(QByteArrayView bytes);
// Calcular_CRC: the two CRC bytes as they go on the line, low byte first.
QByteArray calcularCrc(QByteArrayView bytes);

// Montar_Frame03/04: read holding/input registers; the eight bytes of the request.
QByteArray montarFrame03(int address, qint32 start, qint32 quantity);
QByteArray montarFrame04(int address, qint32 start, qint32 quantity);
// Montar_Frame06: write one register. Nothing when the value cannot be carried in
// two bytes (outside MinWriteValue..MaxWriteValue): no frame is better than a wrong one.
std::optional<QByteArray> montarFrame06(int address, qint32 reg, qint32 value);

} // namespace quillon::modbus
