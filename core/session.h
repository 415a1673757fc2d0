#pragma once

#include "core/edition.h"
#include "core/wait.h"
#include "platform/dialogs.h"
#include "platform/port_taps.h"
#include "platform/serial_port.h"
#include "platform/settings_location.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

namespace quillon {

class ModemControl;
class SoundPlayer;

// The values kept in Quillon.ini.
struct SettingsValues {
    QString portNumber = QStringLiteral("1");                // Text4
    QString transferSettings = QStringLiteral("9600,n,8,1"); // Text5
    QString terminalSettings = QStringLiteral("1200,n,8,1");
    QString programFile; // Text6
    QString workingDirectory;
    int useModem = 0;
    QString extraAtCommands;
    QString phoneNumber;
};

// Some of the settings, changed by the user; what is left empty stays as it was.
struct SettingsChange {
    std::optional<QString> portNumber = std::nullopt;
    std::optional<QString> transferSettings = std::nullopt;
    std::optional<QString> terminalSettings = std::nullopt;
    std::optional<QString> programFile = std::nullopt;
    std::optional<QString> workingDirectory = std::nullopt;
    std::optional<int> useModem = std::nullopt;
    std::optional<QString> extraAtCommands = std::nullopt;
    std::optional<QString> phoneNumber = std::nullopt;
};

struct LinkState {
    bool terminalMode = false;
    bool lineActive = false;
    QByteArray lastReceived;
    QByteArray rxBuffer;
};

struct TransferState {
    bool transferStop = false;
    bool transferBusy = false;
    bool transferFailed = false;
    // An upload command is on the stack. Unlike transferBusy, the cancel key leaves it
    // set: a stopped run still has to unwind (EOT, hang-up, the port) before anything
    // else may use the line.
    bool uploadRunning = false;
    // The port went away during this run; it has been reported once, and the rest of
    // the run stays quiet about it.
    bool portLost = false;
};

struct ModemState {
    bool modemAbort = false;
    QString modemResult;
};

// Everything the program shares between its windows and routines, owned by main().
struct Session {
    Session(const Edition& ed, QString appDirectory, Dialogs& dialogBoxes, PortFactory factory)
        : edition(ed), appDir(std::move(appDirectory)),
          settingsFile(settingsFilePath(appDir, ed.programName)), dialogs(dialogBoxes),
          portFactory(portTaps.tapping(std::move(factory))), waiter(ed.hasWaitCancel) {}

    const Edition& edition;
    QString appDir; // the program's folder, without a trailing separator
    // Chosen once, so that the file read at start is the one written at the end.
    QString settingsFile;
    Dialogs& dialogs;
    // A record of the line, while one runs, sees every port made here.
    PortTaps portTaps;
    PortFactory portFactory;
    Waiter waiter;
    // Platform services a session may go without (tests, a machine without sound).
    SoundPlayer* soundPlayer = nullptr;
    ModemControl* modemControl = nullptr;

    SettingsValues settings;
    LinkState link;
    TransferState transfer;
    ModemState modem;
    int lastErrorNumber = 0;
    // Routines still waiting inside the main window stop once it has unloaded.
    WindowLife mainWindow{waiter};

    // The one way the settings change once they are read; the settings file
    // is written from what this leaves.
    void applySettings(const SettingsChange& change);
    // Report a caught failure the usual way: remember it, then show it.
    void reportError(int number);
    QString settingsPath() const { return settingsFile; }
    // Where a fresh settings file starts the file dialogs: the program's folder, or,
    // when that is not the user's to write (installed), the user's home.
    QString defaultFolder() const;
    // The line to the controller goes through a modem this edition can drive.
    bool dialsByModem() const { return settings.useModem == 1 && edition.hasModem; }
};

} // namespace quillon
