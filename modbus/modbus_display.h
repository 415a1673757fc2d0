#pragma once

#include <QByteArrayView>
#include <QString>

namespace quillon::modbus {

// How frames and register values read in the MODBUS terminal's log box. Both texts
// end their lines with CR LF, as the log box of the original program held them.

// Mostrar_Mensagem: the prefix, every byte as "[XX]" in upper-case hex, CR LF.
QString mostrarMensagem(const QString& prefixo, QByteArrayView messg);

// Mostrar_Valores: one line per register of a 03/04 reply, "0100:    10", labelled
// from inicio. Registers the reply announces but does not hold before its closing
// CRC are marked "(faltando)"; an exception reply is named as such instead of being read as values;
// a reply under three bytes gives no line.
QString mostrarValores(QByteArrayView messg, int inicio);

// The label of a register: at least four digits, zero-filled (0005, 20000, -0005).
QString registerLabel(qint64 number);

} // namespace quillon::modbus
