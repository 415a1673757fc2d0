#pragma once

#include "core/edition.h"
#include "platform/dialogs.h"
#include "platform/system_info.h"

#include <QDialog>

namespace quillon {

// frmAbout: the program's name and version, and the way to the system's
// information tool.
class FrmAbout : public QDialog {
    Q_OBJECT
public:
    FrmAbout(const Edition& edition, Dialogs& dialogs, QWidget* parent = nullptr,
             SystemInfoLauncher launcher = systemInfoLauncher());

    void cmdSysInfoClick() { startSysInfo(); }
    // Starts the tool, or says it is not there; the window stays open either way.
    void startSysInfo();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Dialogs& dialogs_;
    SystemInfoLauncher launcher_;
};

} // namespace quillon
