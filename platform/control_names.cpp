#include "platform/control_names.h"

#include <array>

namespace quillon {

namespace {

const std::array<QString, 32> kControlNames = {
    QStringLiteral("[NUL]"), QStringLiteral("[SOH]"), QStringLiteral("[STX]"),
    QStringLiteral("[ETX]"), QStringLiteral("[EOT]"), QStringLiteral("[ENQ]"),
    QStringLiteral("[ACK]"), QStringLiteral("[BEL]"), QStringLiteral("[BS]"),
    QStringLiteral("[HT]"),  QStringLiteral("[LF]"),  QStringLiteral("[VT]"),
    QStringLiteral("[FF]"),  QStringLiteral("[CR]"),  QStringLiteral("[SO]"),
    QStringLiteral("[SI]"),  QStringLiteral("[DLE]"), QStringLiteral("[DC1]"),
    QStringLiteral("[DC2]"), QStringLiteral("[DC3]"), QStringLiteral("[DC4]"),
    QStringLiteral("[NAK]"), QStringLiteral("[SYN]"), QStringLiteral("[ETB]"),
    QStringLiteral("[CAN]"), QStringLiteral("[EM]"),  QStringLiteral("[SUB]"),
    QStringLiteral("[ESC]"), QStringLiteral("[FS]"),  QStringLiteral("[GS]"),
    QStringLiteral("[RS]"),  QStringLiteral("[US]")};

constexpr int kDelete = 0x7F;

} // namespace

QString controlName(int code) {
    if (code == kDelete)
        return QStringLiteral("[DEL]");
    if (code < 0 || code >= static_cast<int>(kControlNames.size()))
        return {};
    return kControlNames[static_cast<std::size_t>(code)];
}

} // namespace quillon
