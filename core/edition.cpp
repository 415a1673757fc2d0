#include "core/edition.h"

namespace quillon {

const Edition& fullEdition() {
    static const Edition edition{
        .programName = QStringLiteral("QuillonV2"),
        .versionMajor = 2,
        .versionMinor = 3,
        .versionRevision = 59,
    };
    return edition;
}

const Edition& earlierEdition() {
    static const Edition edition{
        .programName = QStringLiteral("Quillon"),
        .versionMajor = 2,
        .versionMinor = 1,
        .versionRevision = 18,
        .settingsLines = 5,
        .probesPorts = false,
        .centresWindow = false,
        .hasModem = false,
        .hasSerialTester = false,
        .hasModbus = false,
        .hasWaitCancel = false,
        .showsFileSize = false,
        .leavesTransferStopped = false,
        .hasSettingsDialog = false,
        .choosesPortFromList = false,
        .opensPortBeforeSwitch = false,
        .togglesBackOnFailedItem = true,
        .savesOnSair = false,
        .collectsOutsideTerminal = false,
        .recordsSessions = false,
        .keepsUploadJournal = false,
    };
    return edition;
}

QString versionText(const Edition& edition) {
    return QStringLiteral("%1.%2.%3")
        .arg(edition.versionMajor)
        .arg(edition.versionMinor)
        .arg(edition.versionRevision);
}

} // namespace quillon
