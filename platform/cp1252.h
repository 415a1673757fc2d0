#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quillon {

QString decodeCp1252(const QByteArray& bytes);
// Nothing when a character has no cp1252 byte.
std::optional<QByteArray> encodeCp1252(const QString& text);

} // namespace quillon
