#include "core/text_helpers.h"

#include <cmath>
#include <limits>

namespace quillon {

QString getLine(const QString& text, int n) {
    if (n < 1)
        n = 1;
    qsizetype start = 0;
    for (int line = 1; line < n; ++line) {
        const qsizetype end = text.indexOf(kCrLf, start);
        if (end < 0)
            return {};
        start = end + 2;
    }
    const qsizetype end = text.indexOf(kCrLf, start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

QString getField(const QString& text, int n) {
    if (n < 1)
        n = 1;
    qsizetype start = 0;
    for (int field = 1;; ++field) {
        const bool quoted = start < text.size() && text[start] == QLatin1Char('"');
        const qsizetype contentStart = quoted ? start + 1 : start;
        const qsizetype closing = quoted ? text.indexOf(QLatin1Char('"'), contentStart) : -1;
        if (quoted && closing < 0)
            return text.mid(contentStart);
        const qsizetype comma = text.indexOf(QLatin1Char(','), quoted ? closing + 1 : start);
        // The closing quote is not part of a quoted field.
        const qsizetype contentEnd = quoted ? closing : (comma < 0 ? text.size() : comma);
        if (field == n || comma < 0)
            return text.mid(contentStart, contentEnd - contentStart);
        start = comma + 1;
    }
}

QString replaceAll(const QString& text, const QString& find, const QString& replacement) {
    if (find.isEmpty())
        return text;
    QString result;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(find, from);
        if (at < 0)
            break;
        result += QStringView(text).mid(from, at - from);
        result += replacement;
        from = at + find.size();
    }
    result += QStringView(text).mid(from);
    return result;
}

double leadingNumber(const QString& text) {
    QString digits;
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
            ++i;
    };
    auto isDigit = [&](qsizetype at) {
        return at < text.size() && text[at].isDigit() && text[at].unicode() < 128;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        digits += text[i++];
    bool any = false;
    while (isDigit(i)) {
        digits += text[i++];
        any = true;
    }
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        digits += text[i++];
        while (isDigit(i)) {
            digits += text[i++];
            any = true;
        }
    }
    if (!any)
        return 0.0;
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        QString exponent = QStringLiteral("e");
        if (j < text.size() && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            exponent += text[j++];
        if (isDigit(j)) {
            while (isDigit(j))
                exponent += text[j++];
            digits += exponent;
        }
    }
    bool ok = false;
    const double value = digits.toDouble(&ok);
    // Too large for a double comes back as an infinity of its sign (and a number too
    // small for one as 0): a field then holds the bound it has on that side.
    if (std::isinf(value))
        return value;
    return ok ? value : 0.0;
}

double answerNumber(const QString& text) {
    QString packed = text;
    packed.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('\n'));
    const double value = leadingNumber(packed);
    // A command field has no bound to hold instead, and its text must stay a number.
    return std::isfinite(value) ? value : 0.0;
}

QString numberText(double value) {
    QString text = QString::number(value, 'g', 15);
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    return text;
}

std::optional<qint16> roundToInt16(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // default mode: half to even
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

qint64 roundWithin(double value, qint64 least, qint64 most) {
    if (std::isnan(value))
        return qBound<qint64>(least, 0, most);
    const double rounded = std::nearbyint(value);
    if (rounded <= static_cast<double>(least))
        return least;
    if (rounded >= static_cast<double>(most))
        return most;
    return static_cast<qint64>(rounded);
}

std::optional<qint16> toInt16(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return roundToInt16(value);
}

} // namespace quillon
