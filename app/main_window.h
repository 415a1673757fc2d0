#pragma once

#include "app/command_tables.h"
#include "control/service_controller.h"
#include "core/session.h"
#include "transfer/upload_view.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolBar;

namespace quillon {

class HelpViewer;
class TerminalBox;

// FrmXmodem: the main window, its two modes and its commands.
class FrmXmodem : public QMainWindow, public UploadView, private CommandTarget {
    Q_OBJECT
public:
    explicit FrmXmodem(Session& session, QWidget* parent = nullptr);
    ~FrmXmodem() override;

    // Form_Load: place the window, read the settings, probe the ports.
    void formLoad();

    ServiceController& controller() { return controller_; }
    SerialPort& mainPort() { return controller_.port(); }
    SerialLink& link() { return controller_.link(); }
    TerminalBox& terminal() { return *terminal_; }
    QAction* menuItem(const QString& name, int index = -1) const;
    QAction* toolbarButton(const QString& key) const;
    // Carries the command out whatever state its menu item is in, and reports
    // its failure.
    void execute(Command command);
    QToolBar* toolbarXmodem() const { return toolbarXmodem_; }
    QToolBar* toolbarTerminal() const { return toolbarTerminal_; }
    const QVector<int>& portStatus() const { return portStatus_; }

    void combo1Click(int row);
    void txtYztwEnter();
    Upload& upload() { return controller_.upload(); }
    ModemLink& modemLink() { return controller_.modemLink(); }

    // UploadView: the indicators the upload and the handshake write.
    void setStatus(const QString& text) override;
    QString status() const override;
    void setInfo(const QString& text) override;
    void setLabOk(const QString& text) override;
    void setLabTotal(const QString& text) override;
    void setLabErros(const QString& text) override;
    void setLabPorcento(const QString& text) override;
    void setProgressMaximum(int maximum) override;
    void setProgressValue(int value) override;
    bool isMinimized() const override;
    void setCaption(const QString& text) override;

    // The modem wait dialog shown when the terminal is switched on with the
    // modem in use; answers the dial result ("NAO DEU" when it failed).
    void setModemWaitDialog(std::function<QString()> dialog) {
        controller_.setDialer(std::move(dialog));
    }

Q_SIGNALS:
    // The window has unloaded: the program must end now.
    void ended();
    // "&Sair" in an edition that leaves without unloading: end now, save nothing.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The client area of the XMODEM mode below the menu bar, in twips.
    static constexpr int kClientWidth = 4815;
    static constexpr int kClientHeight = 3975;
    static constexpr int kToolbarHeight = 360;
    static inline const QString kCaption = QStringLiteral("Quillon - Xmodem / Terminal para PXC");

    void buildControls();
    void buildMenus();
    QToolBar* buildToolbar(const QString& name, const QVector<ToolButtonSpec>& buttons,
                           bool focusesTerminal);
    void buildConsoleRow();
    void placeConsoleRow();
    void wireSignals();
    void formResize();
    void formUnload();
    // 0, or the port failure that stopped it (not yet reported).
    int terminalOn();
    void terminalOff();
    void switchTerminalMode();
    void setTerminalItemsEnabled(bool terminalMode);

    // CommandTarget
    int chooseProgramFile() override;
    int sendProgram() override;
    int exitProgram() override;
    int switchTerminal() override;
    int changeTerminalSettings() override;
    int changeWorkingDirectory() override;
    int readVariables() override;
    int readParameters() override;
    int readReport() override;
    int clearText() override;
    int enterYztw() override;
    int sendYztw() override;
    int showContents() override;
    int showAbout() override;
    int cancelTransfer() override;
    int testSerialLine() override;
    int showModbus() override;
    int recordSession() override;

    QSize xmodemModeSize() const;

    Session& session_;
    ServiceController controller_;
    QVector<int> portStatus_;
    bool item0Checked_ = false;
    QPoint xmodemPosition_;
    bool resizing_ = false;

    CommandTables commands_;
    std::map<QString, QAction*> menuItems_;
    std::map<QString, QAction*> toolbarButtons_;
    // Items whose enabling follows the mode.
    std::vector<std::pair<QAction*, Enabling>> modeItems_;

    QWidget* client_ = nullptr;
    QToolBar* toolbarXmodem_ = nullptr;
    QToolBar* toolbarTerminal_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QGroupBox* makerFrame_ = nullptr;
    QGroupBox* fileFrame_ = nullptr;
    QGroupBox* portFrame_ = nullptr;
    QLineEdit* portNumberEdit_ = nullptr;
    QLineEdit* transferSettingsEdit_ = nullptr;
    QLineEdit* programFileEdit_ = nullptr;
    QComboBox* portList_ = nullptr;
    QLabel* okCountLabel_ = nullptr;
    QLabel* totalCountLabel_ = nullptr;
    QLabel* errorCountLabel_ = nullptr;
    QLabel* percentLabel_ = nullptr;
    QLabel* infoLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    TerminalBox* terminal_ = nullptr;
    QLineEdit* stationCaption_ = nullptr;
    QLineEdit* identifierCaption_ = nullptr;
    QLineEdit* commandCaption_ = nullptr;
    QLineEdit* yztwEdit_ = nullptr;
    QLineEdit* stationEdit_ = nullptr;
    QLineEdit* identifierEdit_ = nullptr;
    QWidget* consoleSpacer_ = nullptr;
    HelpViewer* helpViewer_ = nullptr;
};

} // namespace quillon
