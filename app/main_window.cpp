#include "app/main_window.h"

#include "about/frm_about.h"
#include "app/terminal_box.h"
#include "console/frm_options.h"
#include "console/frm_testa_com.h"
#include "console/guided_entry.h"
#include "console/station_console.h"
#include "core/file_dialog.h"
#include "modbus/frm_modbus.h"
#include "platform/help_viewer.h"
#include "platform/paths.h"
#include "platform/twips.h"
#include "transfer/frm_wait.h"
#include "transfer/modem_link.h"
#include "transfer/upload.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QToolBar>

namespace quillon {

FrmXmodem::FrmXmodem(Session& session, QWidget* parent)
    : QMainWindow(parent), session_(session), controller_(session, *this) {
    setObjectName(QStringLiteral("FrmXmodem"));
    setWindowTitle(kCaption);
    if (session_.edition.hasModem) {
        controller_.setDialer([this] {
            FrmWait wait(session_, controller_.modemLink(), this);
            return wait.dial();
        });
    }
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    buildControls();
    buildMenus();
    buildConsoleRow();
    wireSignals();
    setTerminalItemsEnabled(false);
    toolbarTerminal_->hide();
    terminal_->hide();
    setFixedSize(xmodemModeSize());
}

FrmXmodem::~FrmXmodem() = default;

void FrmXmodem::wireSignals() {
    connect(portList_, &QComboBox::activated, this, &FrmXmodem::combo1Click);
    connect(yztwEdit_, &QLineEdit::returnPressed, this, &FrmXmodem::txtYztwEnter);
    connect(cancelButton_, &QPushButton::clicked, this,
            [this] { execute(Command::CancelTransfer); });
    connect(portNumberEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_.applySettings({.portNumber = text}); });
    connect(transferSettingsEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_.applySettings({.transferSettings = text}); });
    connect(programFileEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_.applySettings({.programFile = text}); });
    controller_.setTerminalSink(
        [this](const QByteArray& bytes) { terminal_->insertReceived(bytes); });
    terminal_->setKeySink([this](char code) { controller_.sendKey(code); });
    connect(&controller_, &ServiceController::captureFailed, this, [this] {
        if (QAction* item = menuItem(QStringLiteral("mnuGravar")))
            item->setChecked(false);
    });
}

void FrmXmodem::formLoad() {
    if (session_.edition.centresWindow) {
        if (const QScreen* screen = this->screen()) {
            const QRect area = screen->geometry();
            const QSize size = frameGeometry().size();
            move(area.x() +
                     static_cast<int>(static_cast<float>(area.width() - size.width()) / 2.0f),
                 area.y() +
                     static_cast<int>(static_cast<float>(area.height() - size.height()) / 2.0f));
        }
    }
    versionLabel_->setText(QStringLiteral("Versão: %1.%2")
                               .arg(session_.edition.versionMajor)
                               .arg(session_.edition.versionMinor));

    const ServiceController::LoadedSettings loaded =
        controller_.loadSettings(portNumberEdit_->text());
    // Unloaded by an end request during the probe: nothing is left to show.
    if (!session_.mainWindow.alive())
        return;
    if (loaded.portLine)
        portNumberEdit_->setText(*loaded.portLine);
    transferSettingsEdit_->setText(session_.settings.transferSettings);
    programFileEdit_->setText(session_.settings.programFile);
    if (!loaded.listing)
        return;
    portStatus_ = loaded.portStatus;
    const PortListing& listing = *loaded.listing;
    portList_->clear();
    for (const PortListEntry& entry : listing.entries)
        portList_->addItem(entry.text, entry.portNumber);
    portList_->setCurrentIndex(-1);
    if (!listing.portNumberText.isEmpty())
        portNumberEdit_->setText(listing.portNumberText);
    if (!listing.comboText.isEmpty()) {
        int row = portList_->findText(listing.comboText);
        if (row < 0) {
            // "Nenhuma COM encontr....": the list's own text, read like any entry, but
            // with no port behind it, so choosing it changes nothing.
            portList_->addItem(listing.comboText);
            row = portList_->count() - 1;
            if (auto* model = qobject_cast<QStandardItemModel*>(portList_->model()))
                model->item(row)->setEnabled(false);
        }
        portList_->setCurrentIndex(row);
    }
}

void FrmXmodem::combo1Click(int row) {
    if (row < 0 || !portList_->itemData(row).isValid())
        return;
    portNumberEdit_->setText(QString::number(portList_->itemData(row).toInt()));
}

void FrmXmodem::closeEvent(QCloseEvent* event) {
    formUnload();
    event->accept();
    Q_EMIT ended();
}

void FrmXmodem::formUnload() {
    if (!session_.mainWindow.alive())
        return;
    controller_.unload();
    if (helpViewer_)
        helpViewer_->close();
}

void FrmXmodem::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    formResize();
}

void FrmXmodem::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        formResize();
}

void FrmXmodem::setTerminalItemsEnabled(bool terminalMode) {
    for (const auto& [action, enabling] : modeItems_)
        action->setEnabled(terminalMode == (enabling == Enabling::InTerminal));
}

void FrmXmodem::execute(Command command) {
    const CommandHandler handler = handlerOf(commands_, command);
    if (!handler)
        return;
    const int error = (static_cast<CommandTarget&>(*this).*handler)();
    if (error == 0)
        return;
    session_.reportError(error);
    // The earlier edition's handler ends every failure by switching terminal mode
    // over: a port that would not open leaves terminal mode off again.
    if (session_.edition.togglesBackOnFailedItem)
        switchTerminalMode();
}

void FrmXmodem::switchTerminalMode() {
    if (item0Checked_)
        terminalOff();
    else if (const int error = terminalOn())
        session_.reportError(error);
}

int FrmXmodem::switchTerminal() {
    QAction* item0 = menuItem(QStringLiteral("MnuSubEditar"), 0);
    item0->setChecked(item0Checked_); // the mark is ours to set, not the click's
    if (controller_.uploadOnStack())
        return 0;
    if (item0Checked_) {
        terminalOff();
        return 0;
    }
    return terminalOn();
}

int FrmXmodem::changeWorkingDirectory() {
    const QString folder = session_.dialogs.inputBox(
        QStringLiteral("Entre com o novo diretório de trabalho:"), QStringLiteral("Configurações"),
        session_.settings.workingDirectory);
    if (!folder.isEmpty())
        session_.applySettings({.workingDirectory = folder});
    return 0;
}

int FrmXmodem::readVariables() {
    controller_.console().readVariables(stationEdit_->text(), identifierEdit_->text());
    return 0;
}

int FrmXmodem::readParameters() {
    controller_.console().readParameters(stationEdit_->text(), identifierEdit_->text());
    return 0;
}

int FrmXmodem::readReport() {
    return controller_.console().readReport(stationEdit_->text(), identifierEdit_->text());
}

int FrmXmodem::clearText() {
    terminal_->clearText();
    return 0;
}

int FrmXmodem::enterYztw() {
    if (const auto line = enterYztwCommand(session_.dialogs)) {
        yztwEdit_->setText(*line);
        sendYztw();
    }
    return 0;
}

int FrmXmodem::changeTerminalSettings() {
    // Reopening the port at the terminal settings would pull it from under the upload.
    if (controller_.uploadOnStack())
        return 0;
    if (session_.edition.hasSettingsDialog) {
        FrmOptions options(session_, this);
        options.exec();
        portNumberEdit_->setText(session_.settings.portNumber);
        // Reopened whichever button closed the dialog.
        return controller_.openTerminalPort();
    }
    const QString answer = session_.dialogs.inputBox(
        QStringLiteral("Entre com uma nova configuração:"), QStringLiteral("Configurações"),
        session_.settings.terminalSettings);
    if (answer.isEmpty())
        return 0;
    return controller_.reopenWithTerminalSettings(answer);
}

int FrmXmodem::exitProgram() {
    if (session_.edition.savesOnSair) {
        close();
        return 0;
    }
    // The earlier edition leaves at once: the port is not closed and the settings
    // file is not written; only the close box saves.
    session_.mainWindow.end();
    Q_EMIT exitRequested();
    return 0;
}

int FrmXmodem::sendYztw() {
    if (yztwEdit_->text().isEmpty()) {
        session_.dialogs.message(QStringLiteral("Quillon"), QStringLiteral("Comando YZTW inválido"),
                                 MessageIcon::Exclamation, MessageButtons::Ok);
        return 0;
    }
    txtYztwEnter();
    return 0;
}

void FrmXmodem::txtYztwEnter() {
    controller_.console().sendStationCommand(StationConsole::Command, stationEdit_->text(),
                                             identifierEdit_->text(), yztwEdit_->text(), {});
}

int FrmXmodem::terminalOn() {
    if (session_.edition.opensPortBeforeSwitch) {
        int error = 0;
        switch (controller_.startTerminal(error)) {
        case ServiceController::TerminalStart::Failed:
            return error;
        case ServiceController::TerminalStart::DialGaveUp:
            return 0;
        case ServiceController::TerminalStart::Opened:
            break;
        }
    }
    toolbarXmodem_->hide();
    toolbarTerminal_->show();
    controller_.enterTerminalMode(true);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    xmodemPosition_ = pos();
    // Window managers without a maximised state still get a full-screen window.
    if (const QScreen* screen = this->screen())
        setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    item0Checked_ = true;
    menuItem(QStringLiteral("MnuSubEditar"), 0)->setChecked(true);
    terminal_->show();
    terminal_->setFocus();
    setTerminalItemsEnabled(true);
    formResize();
    if (!session_.edition.opensPortBeforeSwitch)
        return controller_.openTerminalPort();
    return 0;
}

void FrmXmodem::terminalOff() {
    toolbarTerminal_->hide();
    toolbarXmodem_->show();
    controller_.enterTerminalMode(false);
    terminal_->clearText();
    setWindowState(windowState() & ~Qt::WindowMaximized);
    move(xmodemPosition_);
    item0Checked_ = false;
    menuItem(QStringLiteral("MnuSubEditar"), 0)->setChecked(false);
    setTerminalItemsEnabled(false);
    terminal_->hide();
    formResize();
}

int FrmXmodem::showModbus() {
    FrmModBus modbus(session_, controller_.port(), this);
    modbus.exec();
    return 0;
}

int FrmXmodem::recordSession() {
    controller_.switchCapture();
    // The mark follows the recording, not the click: a cancelled question leaves it off.
    menuItem(QStringLiteral("mnuGravar"))->setChecked(controller_.capturing());
    return 0;
}

int FrmXmodem::testSerialLine() {
    // The tester opens the same line on a port of its own.
    controller_.releasePort();
    {
        FrmTestaCom tester(session_, this);
        tester.exec();
    }
    controller_.reclaimPort();
    return 0;
}

int FrmXmodem::chooseProgramFile() {
    const QString directory = localPath(session_.settings.workingDirectory);
    QDir::setCurrent(directory);
    FileDialogRequest request;
    request.filter = QStringLiteral("*.Epr|*.Epr|*.*|*.*");
    request.defaultExt = QStringLiteral("Epr");
    request.directory = directory;
    const QString chosen = showFileDialog(session_.dialogs, request);
    if (chosen.isEmpty() || !QFileInfo(localPath(chosen)).isFile())
        return 0;
    programFileEdit_->setText(chosen);
    session_.applySettings({.workingDirectory = folderOf(chosen)});
    return 0;
}

int FrmXmodem::showContents() {
    if (!helpViewer_)
        helpViewer_ = new HelpViewer(this);
    helpViewer_->showContents(session_.appDir + QStringLiteral("/Quillon.hlp"));
    return 0;
}

int FrmXmodem::showAbout() {
    FrmAbout about(session_.edition, session_.dialogs, this);
    about.exec();
    return 0;
}

int FrmXmodem::cancelTransfer() {
    controller_.cancelTransfer();
    statusLabel_->clear();
    progressBar_->setValue(0);
    return 0;
}

int FrmXmodem::sendProgram() {
    controller_.sendProgram();
    return 0;
}

void FrmXmodem::setStatus(const QString& text) {
    statusLabel_->setText(text);
}

QString FrmXmodem::status() const {
    return statusLabel_->text();
}

void FrmXmodem::setInfo(const QString& text) {
    infoLabel_->setText(text);
}

void FrmXmodem::setLabOk(const QString& text) {
    okCountLabel_->setText(text);
}

void FrmXmodem::setLabTotal(const QString& text) {
    totalCountLabel_->setText(text);
}

void FrmXmodem::setLabErros(const QString& text) {
    errorCountLabel_->setText(text);
}

void FrmXmodem::setLabPorcento(const QString& text) {
    percentLabel_->setText(text);
}

void FrmXmodem::setProgressMaximum(int maximum) {
    progressBar_->setMaximum(std::max(1, maximum));
}

void FrmXmodem::setProgressValue(int value) {
    progressBar_->setValue(value);
}

bool FrmXmodem::isMinimized() const {
    return QMainWindow::isMinimized();
}

void FrmXmodem::setCaption(const QString& text) {
    setWindowTitle(text);
}

bool FrmXmodem::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == stationCaption_)
            stationEdit_->setFocus();
        else if (watched == identifierCaption_)
            identifierEdit_->setFocus();
        else if (watched == commandCaption_)
            yztwEdit_->setFocus();
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace quillon
