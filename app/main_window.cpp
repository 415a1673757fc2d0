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
    txtTerminal_->hide();
    setFixedSize(xmodemModeSize());
}

FrmXmodem::~FrmXmodem() = default;

void FrmXmodem::wireSignals() {
    connect(combo1_, &QComboBox::activated, this, &FrmXmodem::combo1Click);
    connect(txtYztw_, &QLineEdit::returnPressed, this, &FrmXmodem::txtYztwEnter);
    connect(command1_, &QPushButton::clicked, this, [this] { execute(Command::CancelTransfer); });
    connect(text4_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_.settings.portNumber = text; });
    connect(text5_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_.settings.transferSettings = text; });
    connect(text6_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_.settings.programFile = text; });
    controller_.setTerminalSink(
        [this](const QByteArray& bytes) { txtTerminal_->insertReceived(bytes); });
    txtTerminal_->setKeySink([this](char code) { controller_.sendKey(code); });
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
    label10_->setText(QStringLiteral("Versão: %1.%2")
                          .arg(session_.edition.versionMajor)
                          .arg(session_.edition.versionMinor));

    const ServiceController::LoadedSettings loaded = controller_.loadSettings(text4_->text());
    if (loaded.portLine)
        text4_->setText(*loaded.portLine);
    text5_->setText(session_.settings.transferSettings);
    text6_->setText(session_.settings.programFile);
    if (!loaded.listing)
        return;
    portStatus_ = loaded.portStatus;
    const PortListing& listing = *loaded.listing;
    combo1_->clear();
    for (const PortListEntry& entry : listing.entries)
        combo1_->addItem(entry.text, entry.portNumber);
    combo1_->setCurrentIndex(-1);
    if (!listing.portNumberText.isEmpty())
        text4_->setText(listing.portNumberText);
    if (!listing.comboText.isEmpty()) {
        int row = combo1_->findText(listing.comboText);
        if (row < 0) {
            // "Nenhuma COM encontr....": the list's own text, read like any entry, but
            // with no port behind it, so choosing it changes nothing.
            combo1_->addItem(listing.comboText);
            row = combo1_->count() - 1;
            if (auto* model = qobject_cast<QStandardItemModel*>(combo1_->model()))
                model->item(row)->setEnabled(false);
        }
        combo1_->setCurrentIndex(row);
    }
}

void FrmXmodem::combo1Click(int row) {
    if (row < 0 || !combo1_->itemData(row).isValid())
        return;
    text4_->setText(QString::number(combo1_->itemData(row).toInt()));
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
    const CommandHandler handler = commandHandler(command);
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
        session_.settings.workingDirectory = folder;
    return 0;
}

int FrmXmodem::readVariables() {
    controller_.console().readVariables(txtEstacao_->text(), txtIdent_->text());
    return 0;
}

int FrmXmodem::readParameters() {
    controller_.console().readParameters(txtEstacao_->text(), txtIdent_->text());
    return 0;
}

int FrmXmodem::readReport() {
    return controller_.console().readReport(txtEstacao_->text(), txtIdent_->text());
}

int FrmXmodem::clearText() {
    txtTerminal_->clearText();
    return 0;
}

int FrmXmodem::enterYztw() {
    if (const auto line = enterYztwCommand(session_.dialogs)) {
        txtYztw_->setText(*line);
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
        text4_->setText(session_.settings.portNumber);
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
    if (txtYztw_->text().isEmpty()) {
        session_.dialogs.message(QStringLiteral("Quillon"), QStringLiteral("Comando YZTW inválido"),
                                 MessageIcon::Exclamation, MessageButtons::Ok);
        return 0;
    }
    txtYztwEnter();
    return 0;
}

void FrmXmodem::txtYztwEnter() {
    controller_.console().sendStationCommand(StationConsole::Command, txtEstacao_->text(),
                                             txtIdent_->text(), txtYztw_->text(), {});
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
    txtTerminal_->show();
    txtTerminal_->setFocus();
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
    txtTerminal_->clearText();
    setWindowState(windowState() & ~Qt::WindowMaximized);
    move(xmodemPosition_);
    item0Checked_ = false;
    menuItem(QStringLiteral("MnuSubEditar"), 0)->setChecked(false);
    setTerminalItemsEnabled(false);
    txtTerminal_->hide();
    formResize();
}

int FrmXmodem::showModbus() {
    FrmModBus modbus(session_, controller_.port(), this);
    modbus.exec();
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
    text6_->setText(chosen);
    session_.settings.workingDirectory = folderOf(chosen);
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
    label4_->clear();
    progressBar1_->setValue(0);
    return 0;
}

int FrmXmodem::sendProgram() {
    controller_.sendProgram();
    return 0;
}

void FrmXmodem::setStatus(const QString& text) {
    label4_->setText(text);
}

QString FrmXmodem::status() const {
    return label4_->text();
}

void FrmXmodem::setInfo(const QString& text) {
    labInfo_->setText(text);
}

void FrmXmodem::setLabOk(const QString& text) {
    labOk_->setText(text);
}

void FrmXmodem::setLabTotal(const QString& text) {
    labTotal_->setText(text);
}

void FrmXmodem::setLabErros(const QString& text) {
    labErros_->setText(text);
}

void FrmXmodem::setLabPorcento(const QString& text) {
    labPorcento_->setText(text);
}

void FrmXmodem::setProgressMaximum(int maximum) {
    progressBar1_->setMaximum(std::max(1, maximum));
}

void FrmXmodem::setProgressValue(int value) {
    progressBar1_->setValue(value);
}

bool FrmXmodem::isMinimized() const {
    return QMainWindow::isMinimized();
}

void FrmXmodem::setCaption(const QString& text) {
    setWindowTitle(text);
}

bool FrmXmodem::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == text1_)
            txtEstacao_->setFocus();
        else if (watched == text2_)
            txtIdent_->setFocus();
        else if (watched == text3_)
            txtYztw_->setFocus();
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace quillon
