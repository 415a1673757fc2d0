#pragma once

#include "core/edition.h"

#include <QString>
#include <QVector>

namespace quillon {

enum class Command {
    None, // a separator, or an item that does nothing
    ChooseProgramFile,
    SendProgram,
    Exit,
    Terminal,
    TerminalSettings,
    WorkingDirectory,
    ReadVariables,
    ReadParameters,
    ReadReport,
    ClearText,
    EnterYztw,
    SendYztw,
    Contents,
    About,
    CancelTransfer,
    TestSerialLine,
    Modbus,
    RecordSession,
};

// What the commands do; the main window carries them out. Each answers 0, or
// the failure that ended it, still to be reported.
class CommandTarget {
public:
    virtual int chooseProgramFile() = 0;
    virtual int sendProgram() = 0;
    virtual int exitProgram() = 0;
    virtual int switchTerminal() = 0;
    virtual int changeTerminalSettings() = 0;
    virtual int changeWorkingDirectory() = 0;
    virtual int readVariables() = 0;
    virtual int readParameters() = 0;
    virtual int readReport() = 0;
    virtual int clearText() = 0;
    virtual int enterYztw() = 0;
    virtual int sendYztw() = 0;
    virtual int showContents() = 0;
    virtual int showAbout() = 0;
    virtual int cancelTransfer() = 0;
    virtual int testSerialLine() = 0;
    virtual int showModbus() = 0;
    virtual int recordSession() = 0;

protected:
    ~CommandTarget() = default;
};

using CommandHandler = int (CommandTarget::*)();

// Where a command may run: always, or only in one of the two modes.
enum class Enabling { Fixed, InTerminal, OutsideTerminal };

struct MenuItemSpec {
    QString name;    // control name; array items share it
    int index = -1;  // position in a menu array, -1 for a lone item
    QString caption; // "-" is a separator
    QString shortcut;
    Command command = Command::None;
    CommandHandler handler = nullptr;
    bool visible = true;
    bool enabled = true;
    Enabling enabling = Enabling::Fixed;
    bool checkable = false;
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
    Command command = Command::None;
    CommandHandler handler = nullptr;
};

struct CommandTables {
    QVector<MenuSpec> menus;
    QVector<ToolButtonSpec> xmodemButtons;
    QVector<ToolButtonSpec> terminalButtons;
};

// The menu bar and both toolbars of the main window, for the given edition.
CommandTables commandTables(const Edition& edition);

// What carries the command out, as its rows say; nullptr when no row has it.
CommandHandler handlerOf(const CommandTables& tables, Command command);

} // namespace quillon
