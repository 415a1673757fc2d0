#include "app/main_window.h"

#include "about/frm_about.h"
#include "app/terminal_box.h"
#include "console/frm_options.h"
#include "console/frm_testa_com.h"
#include "console/guided_entry.h"
#include "console/station_console.h"
#include "core/file_dialog.h"
#include "core/port_probe.h"
#include "core/settings_file.h"
#include "modbus/frm_modbus.h"
#include "platform/help_viewer.h"
#include "platform/paths.h"
#include "platform/row_layout.h"
#include "platform/toolbar_icons.h"
#include "platform/twips.h"
#include "transfer/frm_wait.h"
#include "transfer/modem_link.h"
#include "transfer/upload.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>

namespace quillon {

namespace {

const QString kCaption = QStringLiteral("Quillon - Xmodem / Terminal para PXC");

// The client area of the XMODEM mode below the menu bar, in twips.
constexpr int kClientWidth = 4815;
constexpr int kClientHeight = 3975;
constexpr int kToolbarHeight = 360;

QString itemKey(const QString& name, int index) {
    return index < 0 ? name : QStringLiteral("%1(%2)").arg(name).arg(index);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, const QString& text,
                    const QString& accessible) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setAccessibleName(accessible);
    return edit;
}

} // namespace

FrmXmodem::FrmXmodem(Session& session, QWidget* parent)
    : QMainWindow(parent), session_(session), port_(session.portFactory()) {
    setObjectName(QStringLiteral("FrmXmodem"));
    setWindowTitle(kCaption);
    // The handshake and the upload listen on the port before the terminal has
    // ever opened it, so it reports every arrival from the start.
    port_->setReceiveThreshold(1);
    link_ = std::make_unique<SerialLink>(session_, *port_);
    modemLink_ = std::make_unique<ModemLink>(session_, *port_);
    if (session_.edition.hasModem && !session_.modemControl)
        session_.modemControl = modemLink_.get();
    upload_ = std::make_unique<Upload>(session_, *port_, *this);
    console_ = std::make_unique<StationConsole>(session_, *link_);
    if (session_.edition.hasModem) {
        modemWait_ = [this] {
            FrmWait wait(session_, *modemLink_, this);
            return wait.dial();
        };
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

FrmXmodem::~FrmXmodem() {
    if (session_.modemControl == modemLink_.get())
        session_.modemControl = nullptr;
}

QSize FrmXmodem::xmodemModeSize() const {
    return {twips(kClientWidth, this), menuBar()->sizeHint().height() + twips(kClientHeight, this)};
}

void FrmXmodem::buildControls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    const QWidget* ref = this;

    const CommandTables tables = commandTables(session_.edition);
    toolbarXmodem_ = buildToolbar(QStringLiteral("ToolbarXmodem"), tables.xmodemButtons, false);
    // Keys in terminal mode hand the keyboard back to the terminal.
    toolbarTerminal_ =
        buildToolbar(QStringLiteral("ToolbarTerminal"), tables.terminalButtons, true);

    label4_ = makeLabel(client_, QStringLiteral("Label4"), {});
    label4_->setGeometry(twipsRect(60, 420, 4695, 270, ref));
    label4_->setAlignment(Qt::AlignCenter);
    QFont bold = label4_->font();
    bold.setBold(true);
    label4_->setFont(bold);

    frame2_ = new QGroupBox(client_);
    frame2_->setObjectName(QStringLiteral("Frame2"));
    frame2_->setGeometry(twipsRect(60, 720, 4695, 675, ref));
    auto* label7 = makeLabel(frame2_, QStringLiteral("Label7"), QStringLiteral("Arquivo:"));
    label7->move(twips(120, ref), twips(300, ref));
    label7->adjustSize();
    text6_ = makeEdit(frame2_, QStringLiteral("Text6"), {}, QStringLiteral("Arquivo"));
    text6_->setGeometry(twipsRect(840, 240, 3735, 285, ref));
    label7->setBuddy(text6_);

    frame3_ = new QGroupBox(client_);
    frame3_->setObjectName(QStringLiteral("Frame3"));
    frame3_->setGeometry(twipsRect(60, 1440, 4695, 915, ref));
    combo1_ = new QComboBox(frame3_);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setAccessibleName(QStringLiteral("Porta serial"));
    combo1_->setGeometry(twipsRect(120, 180, 2115, 315, ref));
    const struct {
        const char* name;
        const char* text;
        int left;
        int top;
    } labels[] = {
        {"Label2", "Erros", 2400, 300}, {"Label1", "OK", 3000, 300}, {"Label3", "Total", 3420, 300},
        {"LabErros", "", 2400, 540},    {"LabOK", "", 2880, 540},    {"LabTotal", "", 3420, 540},
        {"LabPorcento", "", 4020, 540},
    };
    QLabel* made[7] = {};
    int i = 0;
    for (const auto& place : labels) {
        made[i] =
            makeLabel(frame3_, QString::fromLatin1(place.name), QString::fromUtf8(place.text));
        made[i]->setGeometry(twipsRect(place.left, place.top, 600, 225, ref));
        ++i;
    }
    labErros_ = made[3];
    labOk_ = made[4];
    labTotal_ = made[5];
    labPorcento_ = made[6];
    auto* label5 = makeLabel(frame3_, QStringLiteral("Label5"), QStringLiteral("Configuração"));
    label5->setGeometry(twipsRect(60, 600, 1000, 225, ref));
    // The longest caption in the least room: one pixel smaller lets it fit.
    QFont narrow = label5->font();
    narrow.setPixelSize(10);
    label5->setFont(narrow);
    text5_ = makeEdit(frame3_, QStringLiteral("Text5"), QStringLiteral("9600,n,8,1"),
                      QStringLiteral("Configuração"));
    text5_->setGeometry(twipsRect(1080, 540, 1095, 285, ref));
    label5->setBuddy(text5_);
    text4_ = makeEdit(frame3_, QStringLiteral("Text4"), QStringLiteral("1"), QStringLiteral("COM"));
    if (session_.edition.choosesPortFromList) {
        // Text4 holds the port number; the user picks the port in Combo1.
        text4_->hide();
    } else {
        // No probe and no list: the number is typed, under its caption.
        combo1_->hide();
        auto* label6 = makeLabel(frame3_, QStringLiteral("Label6"), QStringLiteral("COM"));
        label6->setGeometry(twipsRect(120, 90, 615, 195, ref));
        text4_->setGeometry(twipsRect(120, 285, 615, 285, ref));
        label6->setBuddy(text4_);
    }

    progressBar1_ = new QProgressBar(client_);
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setGeometry(twipsRect(60, 2400, 4695, 255, ref));
    progressBar1_->setRange(0, 100);
    progressBar1_->setValue(0);
    progressBar1_->setTextVisible(false);

    labInfo_ = makeLabel(client_, QStringLiteral("LabInfo"), {});
    labInfo_->setGeometry(twipsRect(60, 2700, 4695, 255, ref));

    frame1_ = new QGroupBox(client_);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    frame1_->setGeometry(twipsRect(60, 3000, 4695, 915, ref));
    auto* image1 = makeLabel(frame1_, QStringLiteral("Image1"), {});
    image1->setGeometry(twipsRect(180, 240, 1860, 540, ref));
    image1->setPixmap(makerLogo(image1->size()));
    label10_ = makeLabel(frame1_, QStringLiteral("Label10"), QStringLiteral("Versão:"));
    label10_->setGeometry(twipsRect(2280, 240, 2295, 255, ref));
    auto* label9 =
        makeLabel(frame1_, QStringLiteral("Label9"), QStringLiteral("Controladores PXC"));
    label9->setGeometry(twipsRect(2280, 600, 2295, 255, ref));

    command1_ = new QPushButton(QStringLiteral("Command1"), client_);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->hide();

    txtTerminal_ = new TerminalBox(client_);
}

QToolBar* FrmXmodem::buildToolbar(const QString& name, const QVector<ToolButtonSpec>& buttons,
                                  bool focusesTerminal) {
    auto* bar = new QToolBar(client_);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setGeometry(0, 0, twips(kClientWidth, this), twips(kToolbarHeight, this));
    for (const ToolButtonSpec& entry : buttons) {
        if (entry.key == QLatin1String("ENTRAR_YZTW")) {
            // The console row sits between the readings and the YZTW keys.
            consoleSpacer_ = new QWidget(bar);
            consoleSpacer_->setObjectName(QStringLiteral("ConsoleRowSpace"));
            bar->addWidget(consoleSpacer_);
        }
        QAction* action = bar->addAction(toolbarIcon(entry.key), entry.toolTip);
        action->setObjectName(entry.key);
        action->setData(entry.key);
        action->setToolTip(entry.toolTip);
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action)))
            button->setObjectName(entry.key);
        connect(action, &QAction::triggered, this,
                [this, focusesTerminal, command = entry.command] {
                    execute(command);
                    if (focusesTerminal)
                        txtTerminal_->setFocus();
                });
        toolbarButtons_[entry.key] = action;
    }
    return bar;
}

void FrmXmodem::buildMenus() {
    for (const MenuSpec& menuSpec : commandTables(session_.edition).menus) {
        QMenu* menu = menuBar()->addMenu(menuSpec.caption);
        menu->setObjectName(menuSpec.name);
        menu->menuAction()->setObjectName(menuSpec.name);
        for (const MenuItemSpec& item : menuSpec.items) {
            QAction* action =
                item.isSeparator() ? menu->addSeparator() : menu->addAction(item.caption);
            action->setObjectName(itemKey(item.name, item.index));
            if (!item.shortcut.isEmpty()) {
                action->setShortcut(QKeySequence(item.shortcut));
                action->setShortcutContext(Qt::WindowShortcut);
            }
            action->setVisible(item.visible);
            action->setEnabled(item.enabled);
            action->setCheckable(item.checkable);
            menuItems_[itemKey(item.name, item.index)] = action;
            if (item.enabling != Enabling::Fixed)
                modeItems_.emplace_back(action, item.enabling);
            if (item.command != Command::None)
                connect(action, &QAction::triggered, this,
                        [this, command = item.command] { execute(command); });
        }
    }
}

void FrmXmodem::buildConsoleRow() {
    // Caption boxes look like labels and pass the focus on to the box they name.
    auto caption = [this](const QString& name, const QString& text) {
        QLineEdit* box = makeEdit(toolbarTerminal_, name, text, text);
        box->setReadOnly(true);
        box->setFrame(false);
        box->setAlignment(Qt::AlignRight);
        box->setStyleSheet(QStringLiteral("background: palette(button);"));
        box->installEventFilter(this);
        return box;
    };
    text3_ = caption(QStringLiteral("Text3"), QStringLiteral("Comando Y,Z,T,W:"));
    txtYztw_ = makeEdit(toolbarTerminal_, QStringLiteral("TxtYZTW"), QStringLiteral("2,2,2,2"),
                        QStringLiteral("Comando Y,Z,T,W"));
    text1_ = caption(QStringLiteral("Text1"), QStringLiteral("Estação:"));
    txtEstacao_ = makeEdit(toolbarTerminal_, QStringLiteral("TxtEstacao"), QStringLiteral("B"),
                           QStringLiteral("Estação"));
    txtEstacao_->setToolTip(QStringLiteral("Estação"));
    text2_ = caption(QStringLiteral("Text2"), QStringLiteral("Identificador:"));
    txtIdent_ = makeEdit(toolbarTerminal_, QStringLiteral("TxtIdent"), QStringLiteral("5839"),
                         QStringLiteral("Identificador"));
    txtIdent_->setToolTip(QStringLiteral("Identificador"));
    placeConsoleRow();
}

void FrmXmodem::placeConsoleRow() {
    const QWidget* ref = this;
    const auto captionWidth = [](const QLineEdit* box) {
        return box->fontMetrics().horizontalAdvance(box->text()) + box->textMargins().left() +
               box->textMargins().right() + 6;
    };
    const int nextFree = placeRow({{text3_, 3480, 1395, captionWidth(text3_)},
                                   {txtYztw_, 5040, 915},
                                   {text1_, 6060, 675, captionWidth(text1_)},
                                   {txtEstacao_, 6780, 315},
                                   {text2_, 7200, 885, captionWidth(text2_)},
                                   {txtIdent_, 8160, 645}},
                                  60, 195, ref, 45);
    // Reserve the row's room so the toolbar's own buttons never cover it.
    if (consoleSpacer_) {
        const int rowEnd = nextFree + twips(15, ref);
        const int spacerStart = consoleSpacer_->x();
        consoleSpacer_->setFixedWidth(std::max(0, rowEnd - std::max(spacerStart, 0)));
    }
}

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
    link_->setTerminalSink(
        [this](const QByteArray& bytes) { txtTerminal_->insertReceived(bytes); });
    txtTerminal_->setKeySink([this](char code) {
        if (const int error = link_->sendKey(code))
            session_.reportError(error);
    });
    connect(link_.get(), &SerialLink::portLost, this, &FrmXmodem::onPortLost);
}

void FrmXmodem::onPortLost(int errorNumber) {
    session_.reportError(errorNumber);
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

    const int lines = session_.edition.settingsLines;
    const auto loaded = loadSettingsFile(session_.settingsPath(), lines, session_.appDir);
    SettingsValues values = loaded ? loaded->values : defaultSettings(session_.appDir);
    if (loaded && !session_.edition.choosesPortFromList)
        text4_->setText(loaded->portLine);
    values.portNumber = text4_->text();
    session_.settings = values;
    text5_->setText(values.transferSettings);
    text6_->setText(values.programFile);
    if (!loaded)
        return; // first start: no probe, an empty port list
    session_.lastErrorNumber = loaded->readError;

    if (!session_.edition.probesPorts)
        return;
    portStatus_ = PortProbe(session_.portFactory).run(5000);
    const PortListing listing = buildPortListing(portStatus_, loaded->savedPort);
    combo1_->clear();
    for (const PortListEntry& entry : listing.entries)
        combo1_->addItem(entry.text, entry.portNumber);
    combo1_->setCurrentIndex(-1);
    if (!listing.portNumberText.isEmpty())
        text4_->setText(listing.portNumberText);
    if (!listing.comboText.isEmpty()) {
        const int row = combo1_->findText(listing.comboText);
        if (row >= 0)
            combo1_->setCurrentIndex(row);
        else
            combo1_->setPlaceholderText(listing.comboText);
    }
}

void FrmXmodem::combo1Click(int row) {
    if (row < 0)
        return;
    text4_->setText(QString::number(combo1_->itemData(row).toInt()));
}

void FrmXmodem::closeEvent(QCloseEvent* event) {
    formUnload();
    event->accept();
    Q_EMIT ended();
}

void FrmXmodem::formUnload() {
    if (session_.unloaded)
        return;
    session_.unloaded = true;
    if (port_->isOpen())
        port_->close();
    // A failed save is remembered, not shown: the program is ending.
    session_.lastErrorNumber = saveSettingsFile(session_.settingsPath(), session_.settings,
                                                session_.edition.settingsLines);
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

void FrmXmodem::formResize() {
    if (resizing_)
        return;
    resizing_ = true;
    setWindowTitle(kCaption);
    const bool terminalMode = session_.link.terminalMode;
    if (!terminalMode) {
        if (windowState() & Qt::WindowMaximized)
            setWindowState(windowState() & ~Qt::WindowMaximized);
        setFixedSize(xmodemModeSize());
    } else {
        const QSize outer = frameGeometry().size();
        txtTerminal_->setGeometry(0, twips(400, this),
                                  std::max(0, outer.width() - twips(100, this)),
                                  std::max(0, outer.height() - twips(1000, this)));
    }
    const int barWidth = std::max(client_->width(), twips(kClientWidth, this));
    toolbarXmodem_->setGeometry(0, 0, barWidth, twips(kToolbarHeight, this));
    toolbarTerminal_->setGeometry(0, 0, barWidth, twips(kToolbarHeight, this));
    placeConsoleRow();
    resizing_ = false;
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
    if (uploadOnStack())
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
    console_->readVariables(txtEstacao_->text(), txtIdent_->text());
    return 0;
}

int FrmXmodem::readParameters() {
    console_->readParameters(txtEstacao_->text(), txtIdent_->text());
    return 0;
}

int FrmXmodem::readReport() {
    return console_->readReport(txtEstacao_->text(), txtIdent_->text());
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
    if (uploadOnStack())
        return 0;
    if (session_.edition.hasSettingsDialog) {
        FrmOptions options(session_, this);
        options.exec();
        text4_->setText(session_.settings.portNumber);
        // Reopened whichever button closed the dialog.
        return link_->openTerminalPort();
    }
    const QString answer = session_.dialogs.inputBox(
        QStringLiteral("Entre com uma nova configuração:"), QStringLiteral("Configurações"),
        session_.settings.terminalSettings);
    if (answer.isEmpty())
        return 0;
    // The port keeps the number it was opened with; only the settings change.
    port_->close();
    session_.settings.terminalSettings = answer;
    if (const int error = port_->setSettings(answer))
        return error;
    port_->setReceiveThreshold(1);
    port_->setSendThreshold(1);
    return port_->open();
}

int FrmXmodem::exitProgram() {
    if (session_.edition.savesOnSair) {
        close();
        return 0;
    }
    // The earlier edition leaves at once: the port is not closed and the settings
    // file is not written; only the close box saves.
    session_.unloaded = true;
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
    console_->sendStationCommand(StationConsole::Command, txtEstacao_->text(), txtIdent_->text(),
                                 txtYztw_->text(), {});
}

int FrmXmodem::terminalOn() {
    if (session_.edition.opensPortBeforeSwitch) {
        if (const int error = link_->openTerminalPort())
            return error;
        if (session_.settings.useModem == 1 && session_.edition.hasModem && modemWait_) {
            session_.modem.modemResult = modemWait_();
            if (session_.modem.modemResult == FrmWait::kGaveUp)
                return 0;
        }
    }
    toolbarXmodem_->hide();
    toolbarTerminal_->show();
    session_.link.terminalMode = true;
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
        return link_->openTerminalPort();
    return 0;
}

void FrmXmodem::terminalOff() {
    toolbarTerminal_->hide();
    toolbarXmodem_->show();
    if (port_->isOpen())
        port_->close();
    session_.link.terminalMode = false;
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
    FrmModBus modbus(session_, *port_, this);
    modbus.exec();
    return 0;
}

int FrmXmodem::testSerialLine() {
    // The tester opens the same line on a port of its own. Failures here are
    // skipped, as everywhere in this toolbar: a port another program took
    // meanwhile simply stays closed.
    port_->close();
    {
        FrmTestaCom tester(session_, this);
        tester.exec();
    }
    port_->open();
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
    session_.transfer.transferStop = true;
    label4_->clear();
    session_.transfer.transferBusy = false;
    progressBar1_->setValue(0);
    session_.waiter.wake(); // a block waiting for its reply sees the stop now
    return 0;
}

bool FrmXmodem::uploadOnStack() const {
    // The cancel key clears transferBusy at once; the stopped run still has to unwind.
    return session_.transfer.transferBusy || session_.transfer.uploadRunning;
}

int FrmXmodem::sendProgram() {
    if (session_.link.terminalMode)
        return 0;
    upload_->run();
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

QAction* FrmXmodem::menuItem(const QString& name, int index) const {
    const auto found = menuItems_.find(itemKey(name, index));
    return found == menuItems_.end() ? nullptr : found->second;
}

QAction* FrmXmodem::toolbarButton(const QString& key) const {
    const auto found = toolbarButtons_.find(key);
    return found == toolbarButtons_.end() ? nullptr : found->second;
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
