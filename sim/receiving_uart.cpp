#include "sim/receiving_uart.h"

namespace quillon::sim {

Reception receiveAt(const EndedByte& byte, int listenerBaud) {
    if (!byte.cutShort && byte.sentAt.baud == listenerBaud)
        return {{HeardByte{byte.value, false}}, false};
    return {hearCharacter(static_cast<quint8>(byte.value), byte.speeds, listenerBaud), true};
}

QByteArray readByProgram(const EndedByte& byte, const ProgramLine& program) {
    using Bad = ProgramLine::BadCharacter;
    QByteArray read;
    for (const HeardByte& heard : receiveAt(byte, program.setting.baud).bytes) {
        if (!heard.framingError || program.badCharacter == Bad::AsRead) {
            read += heard.value;
            continue;
        }
        if (program.badCharacter == Bad::Zero)
            read += '\0';
    }
    return read;
}

} // namespace quillon::sim
