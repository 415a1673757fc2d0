#pragma once

#include <QString>

#include <optional>

namespace quillon {

inline const QString kCrLf = QStringLiteral("\r\n");

// The n-th CR LF separated line; n <= 1 gives the first, a missing line is empty.
QString getLine(const QString& text, int n);

// The n-th comma separated field; a field opening with a double quote runs to
// the next quote and may hold commas. Past the last field gives the last one.
QString getField(const QString& text, int n);

// Replacements are not searched again, so a replacement containing find is safe.
QString replaceAll(const QString& text, const QString& find, const QString& replacement);

// The number a text begins with: blanks skipped, sign, digits, point, exponent.
// Text that does not begin with a number is 0; a number beyond a double's range is
// an infinity of its sign, which roundWithin turns into the field's bound.
double leadingNumber(const QString& text);

// An answer typed by the user read as a number: like leadingNumber, but
// blanks, tabs and line feeds are skipped wherever they stand ("1 2" is 12), and
// a number beyond a double's range is 0.
double answerNumber(const QString& text);

// A number as decimal text without spaces and without a leading zero before
// the point (12.5, .5, -3, -.25).
QString numberText(double value);

// A whole text as a 16-bit integer, rounded half to even; nothing when it is
// not a number or does not fit.
std::optional<qint16> toInt16(const QString& text);

// A number rounded half to even into 16 bits; nothing when it does not fit.
std::optional<qint16> roundToInt16(double value);

// A number rounded half to even and held within [least, most]; not a number is 0.
// For fields whose width the user cannot see: an overlong entry becomes the
// nearest value that fits instead of failing.
qint64 roundWithin(double value, qint64 least, qint64 most);

} // namespace quillon
