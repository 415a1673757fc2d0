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
// Text as it goes out on a serial line: a cp1252 byte for every character, and
// "?" for each one cp1252 cannot carry, as the platform's own conversion does.
QByteArray lineBytes(const QString& text);
// How many code units the character at `at` takes: 2 for a surrogate pair, else 1.
qsizetype characterLength(const QString& text, qsizetype at);

} // namespace quillon
