#include "console/cfg_string.h"

#include "core/serial_link.h"
#include "core/text_helpers.h"
#include "platform/port_settings.h"

#include <algorithm>
#include <optional>

namespace quillon {

namespace {

// What the port makes of one field of a group; nothing when it refuses it.
std::optional<int> portReading(CfgSelection::Group group, const QString& field) {
    const auto value = [](const auto& read) -> std::optional<int> {
        if (!read)
            return std::nullopt;
        return static_cast<int>(*read);
    };
    switch (group) {
    case CfgSelection::Port:
        return comNumber(field);
    case CfgSelection::Baud:
        return value(baudField(field));
    case CfgSelection::Parity:
        return value(parityField(field));
    case CfgSelection::Bits:
        return value(dataBitsField(field));
    case CfgSelection::Stop:
        return value(stopBitsField(field));
    }
    return std::nullopt;
}

// The option text for a value the dialog had no option for.
QString optionText(CfgSelection::Group group, const QString& field) {
    if (group == CfgSelection::Parity || group == CfgSelection::Stop)
        return field.trimmed().toLower();
    return QString::number(*portReading(group, field));
}

} // namespace

void CfgSelection::load(const QString& cfg) {
    for (int g = 0; g < kGroups; ++g) {
        const auto group = static_cast<Group>(g);
        const QString field = getField(cfg, g + 1);
        const auto reading = portReading(group, field);
        if (!reading)
            continue;
        QStringList& options = texts[g];
        auto found = std::find_if(options.cbegin(), options.cend(), [&](const QString& option) {
            return portReading(group, option) == reading;
        });
        if (found == options.cend()) {
            options.append(optionText(group, field));
            found = options.cend() - 1;
        }
        selected[g] = static_cast<int>(found - options.cbegin());
    }
}

QString CfgSelection::text() const {
    QStringList fields;
    for (int g = 0; g < kGroups; ++g)
        fields << texts[g][selected[g]];
    return fields.join(QLatin1Char(','));
}

CfgTexts storedCfg(const CfgSelection& loaded, const CfgSelection& chosen,
                   const QString& portNumber, const QString& terminalSettings) {
    const auto untouched = [&](int group) {
        return chosen.selected[group] == loaded.selected[group];
    };
    const auto option = [&](int group) { return chosen.texts[group][chosen.selected[group]]; };
    CfgTexts stored;
    stored.portNumber = untouched(CfgSelection::Port) && comNumber(portNumber)
                            ? portNumber
                            : option(CfgSelection::Port);
    const bool portTakesIt = parsePortSettings(terminalSettings).error == 0;
    QStringList fields = portTakesIt ? terminalSettings.split(QLatin1Char(',')) : QStringList();
    for (int g = CfgSelection::Baud; g < CfgSelection::kGroups; ++g) {
        if (!portTakesIt)
            fields << option(g);
        else if (!untouched(g))
            fields[g - 1] = option(g);
    }
    stored.terminalSettings = fields.join(QLatin1Char(','));
    return stored;
}

} // namespace quillon
