#include "console/cfg_string.h"

#include "core/text_helpers.h"

namespace quillon {

const QStringList& CfgSelection::baudTexts() {
    static const QStringList texts = {QStringLiteral("1200"), QStringLiteral("2400"),
                                      QStringLiteral("4800"), QStringLiteral("9600"),
                                      QStringLiteral("19200")};
    return texts;
}

const QStringList& CfgSelection::parityTexts() {
    static const QStringList texts = {QStringLiteral("n"), QStringLiteral("e"),
                                      QStringLiteral("o")};
    return texts;
}

const QStringList& CfgSelection::bitsTexts() {
    static const QStringList texts = {QStringLiteral("7"), QStringLiteral("8")};
    return texts;
}

const QStringList& CfgSelection::stopTexts() {
    static const QStringList texts = {QStringLiteral("1"), QStringLiteral("1.5"),
                                      QStringLiteral("2")};
    return texts;
}

void CfgSelection::load(const QString& cfg) {
    const QString portField = getField(cfg, 1);
    bool isNumber = false;
    const int number = portField.toInt(&isNumber);
    if (isNumber && number > 0 && !portTexts.contains(portField) &&
        portField == QString::number(number))
        portTexts.append(portField);
    auto pick = [&cfg](int field, const QStringList& texts, int& selected) {
        const qsizetype found = texts.indexOf(getField(cfg, field));
        if (found >= 0)
            selected = static_cast<int>(found);
    };
    pick(1, portTexts, port);
    pick(2, baudTexts(), baud);
    pick(3, parityTexts(), parity);
    pick(4, bitsTexts(), bits);
    pick(5, stopTexts(), stop);
}

QString CfgSelection::text() const {
    return QStringList{portTexts[port], baudTexts()[baud], parityTexts()[parity], bitsTexts()[bits],
                       stopTexts()[stop]}
        .join(QLatin1Char(','));
}

} // namespace quillon
