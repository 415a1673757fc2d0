#include "platform/cp1252.h"

#include <algorithm>
#include <array>

namespace quillon {

namespace {

// 0x80..0x9F; 0 marks the five bytes cp1252 leaves undefined (kept as the C1 code).
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t decodeByte(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && kHigh[byte - 0x80] != 0)
        return kHigh[byte - 0x80];
    return byte;
}

std::optional<char> encodeByte(char16_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF) ||
        (code >= 0x80 && code <= 0x9F && kHigh[code - 0x80] == 0))
        return static_cast<char>(code);
    const auto* found = std::find(kHigh.begin(), kHigh.end(), code);
    if (found == kHigh.end())
        return std::nullopt;
    return static_cast<char>(0x80 + (found - kHigh.begin()));
}

} // namespace

QChar cp1252Char(char byte) {
    return QChar(decodeByte(static_cast<unsigned char>(byte)));
}

QString decodeCp1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes)
        text.append(QChar(decodeByte(static_cast<unsigned char>(c))));
    return text;
}

std::optional<QByteArray> encodeCp1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text) {
        const auto byte = encodeByte(ch.unicode());
        if (!byte)
            return std::nullopt;
        bytes.append(*byte);
    }
    return bytes;
}

qsizetype characterLength(const QString& text, qsizetype at) {
    const bool pair =
        text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
    return pair ? 2 : 1;
}

QByteArray lineBytes(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        // A character beyond the first 65536 takes two code units and is one "?".
        const qsizetype length = characterLength(text, i);
        const auto byte = length == 1 ? encodeByte(text[i].unicode()) : std::nullopt;
        bytes.append(byte.value_or('?'));
        i += length;
    }
    return bytes;
}

} // namespace quillon
