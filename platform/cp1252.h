#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quillon {

QString decodeCp1252(const QByteArray& bytes);
// One line byte as the screen shows it; the five bytes cp1252 leaves out stay
// their C1 codes.
QChar cp1252Char(char byte);
// Nothing when a character has no cp1252 byte.
std::optional<QByteArray> encodeCp1252(const QString& text);
// Text as it goes out on a serial line: cp1252, or Latin-1 with "?" for what
// neither can carry.
QByteArray lineBytes(const QString& text);

} // namespace quillon
