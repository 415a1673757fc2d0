#pragma once

#include <QString>

namespace quillon {

// What sets the two programs built from this tree apart.
struct Edition {
    QString programName;
    int versionMajor = 0;
    int versionMinor = 0;
    int versionRevision = 0;
    int settingsLines = 8;   // lines of Quillon.ini
    bool probesPorts = true; // port list filled at start
    bool centresWindow = true;
    bool hasModem = true;
    bool hasSerialTester = true;
    bool hasModbus = true;
    bool hasWaitCancel = true;
    bool showsFileSize = true;         // LabInfo's "Tamanho do Arquivo" line during an upload
    bool leavesTransferStopped = true; // TransferStop after an upload ends
    bool hasSettingsDialog = true;     // Editar item 1: frmOptions, else an input box
    bool choosesPortFromList = true;   // Combo1 with the probe, else Text4 typed by hand
    // Terminal on: the port opens before the window switches (and a failed dial stops
    // it), else the window switches first and the port opens after.
    bool opensPortBeforeSwitch = true;
    // A failed Editar item is reported and then switches terminal mode over once more.
    bool togglesBackOnFailedItem = false;
    bool savesOnSair = true;             // "&Sair" unloads like the close box
    bool collectsOutsideTerminal = true; // RxBuffer filled while not in terminal mode
    bool recordsSessions = true;         // Arquivo's "&Gravar sessão..."
    bool keepsUploadJournal = true;      // envios.csv beside the settings file
};

const Edition& fullEdition();
const Edition& earlierEdition();

// major.minor.revision, each without leading zeros (2.3.59).
QString versionText(const Edition& edition);

} // namespace quillon
