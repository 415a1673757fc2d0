#include "sim/line_setting.h"

#include <QStringList>

#include <algorithm>

namespace quillon::sim {

namespace {

constexpr qint64 NsPerSecond = 1'000'000'000;
constexpr int MaxBaud = 4'000'000;

} // namespace

qint64 LineSetting::frameNs() const {
    // Rounded up: a character never takes less than its line time.
    const qint64 halfBitsNs = NsPerSecond * frameHalfBits();
    const qint64 perSecond = 2LL * baud;
    return (halfBitsNs + perSecond - 1) / perSecond;
}

QString LineSetting::stopBitsText() const {
    switch (stopHalfBits) {
    case 3:
        return QStringLiteral("1.5");
    case 4:
        return QStringLiteral("2");
    default:
        return QStringLiteral("1");
    }
}

QString LineSetting::text() const {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baud)
        .arg(QLatin1Char(parity))
        .arg(dataBits)
        .arg(stopBitsText());
}

std::optional<LineSetting> LineSetting::parse(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    LineSetting setting;
    const QString& speed = parts.at(0);
    // Digits only: toInt() would take blanks and a sign too.
    if (speed.isEmpty() || speed.size() > 7 ||
        !std::all_of(speed.cbegin(), speed.cend(),
                     [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return std::nullopt;
    setting.baud = speed.toInt();
    if (setting.baud < 1 || setting.baud > MaxBaud)
        return std::nullopt;
    const QString parity = parts.at(1).toLower();
    if (parity != QLatin1String("n") && parity != QLatin1String("e") &&
        parity != QLatin1String("o"))
        return std::nullopt;
    setting.parity = parity.at(0).toLatin1();
    if (parts.at(2) == QLatin1String("7"))
        setting.dataBits = 7;
    else if (parts.at(2) != QLatin1String("8"))
        return std::nullopt;
    if (parts.at(3) == QLatin1String("1.5"))
        setting.stopHalfBits = 3;
    else if (parts.at(3) == QLatin1String("2"))
        setting.stopHalfBits = 4;
    else if (parts.at(3) != QLatin1String("1"))
        return std::nullopt;
    return setting;
}

} // namespace quillon::sim
