#pragma once

#include "core/edition.h"

#include <QString>
#include <QVector>

namespace quillon {

struct MenuItemSpec {
    QString name;    // control name; array items share it
    int index = -1;  // position in a menu array, -1 for a lone item
    QString caption; // "-" is a separator
    QString shortcut;
    bool visible = true;
    bool enabled = true;
    bool isSeparator() const { return caption == QLatin1String("-"); }
};

struct MenuSpec {
    QString name;
    QString caption;
    QVector<MenuItemSpec> items;
};

struct ToolButtonSpec {
    QString key;
    QString toolTip;
};

struct CommandTables {
    QVector<MenuSpec> menus;
    QVector<ToolButtonSpec> xmodemButtons;
    QVector<ToolButtonSpec> terminalButtons;
};

// The menu bar and both toolbars of the main window, for the given edition.
CommandTables commandTables(const Edition& edition);

// Items of the Editar menu the terminal mode switch enables and disables.
inline constexpr int kConsoleItems[] = {4, 5, 6, 8, 10, 11};

} // namespace quillon
