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
};

const Edition& fullEdition();

// major.minor.revision, each without leading zeros (2.3.59).
QString versionText(const Edition& edition);

} // namespace quillon
